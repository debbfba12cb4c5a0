// The timer overlay (SHOWTIMER): a black box in the upper left with the demo time in tenths of
// a second and the tracker position as the four numbers MOUNT would need to start a bar there.
#pragma once
#include <cstdint>
#include <string>

struct TTimerOverlayText {
  std::string Seconds;    // "SECONDSx10: " and time x 10 rounded, halves to even
  std::string Timestamp;  // "TIMESTAMP: a :: b :: c :: d", divisions truncating toward zero
};

// The two lines for a demo time and a tracker row.
TTimerOverlayText FormatTimerOverlay(float time, int32_t row);
// Draws the box and the two lines (needs the font and a current OpenGL context).
void DrawTimerOverlay(float time, int32_t row);
