// The timer overlay's two lines.
#include "demo/TimerOverlay.h"

#include <gtest/gtest.h>

TEST(TimerOverlay, SecondsAreTenthsRoundedHalfToEven) {
  EXPECT_EQ(FormatTimerOverlay(12.34f, 0).Seconds, "SECONDSx10: 123");
  EXPECT_EQ(FormatTimerOverlay(0.0f, 0).Seconds, "SECONDSx10: 0");
  EXPECT_EQ(FormatTimerOverlay(12.36f, 0).Seconds, "SECONDSx10: 124");
  // Exact halves go to the even neighbour.
  EXPECT_EQ(FormatTimerOverlay(0.25f, 0).Seconds, "SECONDSx10: 2");
  EXPECT_EQ(FormatTimerOverlay(0.75f, 0).Seconds, "SECONDSx10: 8");
  EXPECT_EQ(FormatTimerOverlay(-0.25f, 0).Seconds, "SECONDSx10: -2");
  EXPECT_EQ(FormatTimerOverlay(-1.26f, 0).Seconds, "SECONDSx10: -13");
  // Past 32 bits: the count is 64-bit.
  EXPECT_EQ(FormatTimerOverlay(1e9f, 0).Seconds, "SECONDSx10: 10000000000");
}

TEST(TimerOverlay, TimestampIsTheMountPositionWithTruncatingDivision) {
  EXPECT_EQ(FormatTimerOverlay(0, 150).Timestamp, "TIMESTAMP: 2 :: 1 :: 1 :: 2");
  EXPECT_EQ(FormatTimerOverlay(0, 0).Timestamp, "TIMESTAMP: 0 :: 0 :: 0 :: 0");
  EXPECT_EQ(FormatTimerOverlay(0, 63).Timestamp, "TIMESTAMP: 0 :: 3 :: 3 :: 3");
  EXPECT_EQ(FormatTimerOverlay(0, 64).Timestamp, "TIMESTAMP: 1 :: 0 :: 0 :: 0");
  // Negative rows (a negative start time): quotients toward zero, remainders take the sign.
  EXPECT_EQ(FormatTimerOverlay(0, -1).Timestamp, "TIMESTAMP: 0 :: 0 :: 0 :: -1");
  EXPECT_EQ(FormatTimerOverlay(0, -150).Timestamp, "TIMESTAMP: -2 :: -1 :: -1 :: -2");
}
