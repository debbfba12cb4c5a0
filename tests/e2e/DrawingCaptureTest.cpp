// Captured frames of the drawing: the road of one event (a "flash" mounted on a bar whose input
// 0 follows note 5 of demotrack channel 1, at 120 BPM = 8 rows per second) and the timer overlay.
#include "common/Demotrack.h"
#include "support/CapturedFrames.h"
#include "support/RunVorpane.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(FlashEvent, FlashPeaksOnTheNoteAndFadesWithinATenthOfASecond) {
  const std::string folder = MakeTempFolder();
  // Notes 5 on channel 1 at rows 68 (8.5 s) and 76 (9.5 s); another value at row 72 is ignored.
  TDemotrackGrid grid(2, std::vector<uint8_t>(100, 0));
  grid[1][68] = 5;
  grid[1][72] = 7;
  grid[1][76] = 5;
  ASSERT_TRUE(WriteDemotrack(folder + "/track.bin", grid));
  WriteTextFile(folder, "moltrax.vrp",
                "RESOLUTIONX 800\nRESOLUTIONY 600\nCOLORDEPTH 32\nINIT\n"
                "CLEARCOLOR 0 0 64 255\n"
                "TRACKER track.bin\nBPM 120\n"
                "LOAD flash 3\nX 100\nY 100\nW 600\nH 400\n"
                "BAR one event\nMOUNT 1\nLENGTH 0 1\nEFFECT 3\nINPUT 0 1 5 100 0\n");
  // Frames every 10 ms from 8.45 s: frame 5 is at the note, frame 15 a tenth later.
  const TRunResult run = RunVorpaneIn(
      folder, {"--capture", "cap", "--fps", "100", "--from", "8.45", "--to", "8.65"}, 120);
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;

  std::vector<int> insideRed;
  for (int i = 0; i <= 19; ++i) {
    TFrame frame;
    ASSERT_TRUE(ReadPng(folder + "/cap" + FrameName("", i), frame)) << i;
    ASSERT_EQ(frame.Width, 800);
    // Outside the rectangle the clear colour stays throughout.
    EXPECT_EQ(frame.At(50, 50)[0], 0);
    EXPECT_EQ(frame.At(50, 50)[2], 64);
    EXPECT_EQ(frame.At(700, 300)[0], 0);
    insideRed.push_back(frame.At(400, 300)[0]);
    if (i == 5) {
      EXPECT_EQ(frame.At(100, 100)[0], 255);
      EXPECT_EQ(frame.At(400, 300)[1], 255);
      EXPECT_EQ(frame.At(699, 499)[2], 255);
    }
  }
  // The triangle is as wide before the note as after it: half up 50 ms before.
  EXPECT_NEAR(insideRed[0], 128, 4);
  for (int i = 1; i <= 5; ++i)
    EXPECT_GT(insideRed[static_cast<size_t>(i)], insideRed[static_cast<size_t>(i - 1)]) << i;
  // From the note the flash falls frame by frame back to the clear colour.
  for (int i = 6; i <= 15; ++i)
    EXPECT_LT(insideRed[static_cast<size_t>(i)], insideRed[static_cast<size_t>(i - 1)]) << i;
  EXPECT_LE(insideRed[15], 1);
  for (int i = 15; i <= 19; ++i) EXPECT_LE(insideRed[static_cast<size_t>(i)], 1) << i;
  // Halfway, about half white over the blue.
  EXPECT_NEAR(insideRed[10], 128, 4);
}

TEST(TimerOverlayCapture, FontIsBuiltAtStartAndTheOverlayIsInTheFrame) {
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "moltrax.vrp",
                "RESOLUTIONX 800\nRESOLUTIONY 600\nCOLORDEPTH 32\nINIT\n"
                "CLEARCOLOR 0 0 255 255\nSHOWTIMER true\nENDTIME 1300\n");
  const TRunResult run =
      RunVorpaneIn(folder, {"--capture", "cap", "--from", "12.34", "--to", "12.35"}, 60);
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  TFrame frame;
  ASSERT_TRUE(ReadPng(folder + "/cap" + FrameName("", 0), frame));
  int white = 0, black = 0;
  for (int y = 475; y < 515; ++y)
    for (int x = 100; x < 300; ++x) {
      const uint8_t* p = frame.At(x, y);
      if (p[0] > 200 && p[1] > 200 && p[2] > 200) ++white;
      if (p[0] == 0 && p[1] == 0 && p[2] == 0) ++black;
    }
  // Text needs the font: without it the box would be all black.
  EXPECT_GT(white, 200);
  EXPECT_GT(black, 4000);
  EXPECT_EQ(frame.At(99, 490)[2], 255);
  EXPECT_EQ(frame.At(400, 300)[2], 255);
}
