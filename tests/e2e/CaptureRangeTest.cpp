// Captures of the sample production give the same frames every time and wherever they start:
// the particles, the metaballs' camera and the random pictures carry state from frame to frame.
#include "support/CapturedFrames.h"
#include "support/RunVorpane.h"
#include "support/SampleProduction.h"

#include <gtest/gtest.h>

namespace {

TFrame ReadFrame(const std::string& folder, int index) {
  TFrame frame;
  EXPECT_TRUE(ReadPng(FrameName(folder, index), frame)) << FrameName(folder, index);
  return frame;
}

}  // namespace

TEST(CaptureRange, FramesAreTheSameTwiceAndWhenTheCaptureStartsInTheMetaballs) {
  const std::string production = MirrorSampleProduction();
  ASSERT_FALSE(production.empty());
  // The break (metaballs and dust) runs from 32 s; sparks fly from 8 s to 32 s before it.
  const std::vector<std::string> middle = {"--fps", "2", "--from", "33", "--to", "34", "--quiet"};
  std::vector<std::string> arguments = {"--capture", "whole", "--fps", "2", "--to", "34", "--quiet"};
  TRunResult run = RunVorpaneIn(production, arguments, 280);
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  for (const char* folder : {"middle", "again"}) {
    arguments = {"--capture", folder};
    arguments.insert(arguments.end(), middle.begin(), middle.end());
    run = RunVorpaneIn(production, arguments, 120);
    ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  }
  // 33 s and 33.5 s are frames 66 and 67 of the whole capture.
  for (int i = 0; i < 2; ++i) {
    const TFrame whole = ReadFrame(production + "/whole", 66 + i);
    const TFrame fromMiddle = ReadFrame(production + "/middle", i);
    ASSERT_EQ(whole.Rgb.size(), 800u * 600u * 3u);
    EXPECT_TRUE(fromMiddle.Rgb == whole.Rgb) << "frame " << i << " from 33 s";
    EXPECT_TRUE(ReadFrame(production + "/again", i).Rgb == fromMiddle.Rgb) << "frame " << i;
  }
  EXPECT_FALSE(ReadFrame(production + "/middle", 0).Rgb == ReadFrame(production + "/middle", 1).Rgb)
      << "the metaballs stand still";
}
