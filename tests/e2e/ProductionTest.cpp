// The sample production end to end, run as scripts/play.sh runs it (from production/, with the
// data generated into the build folder), on the fixed-step clock at low frame rates.
//
// Golden frames: tests/e2e/golden/moltrax_<centiseconds>.png. When a change to the pictures is
// intended, regenerate them with
//   VORPANE_UPDATE_GOLDEN=1 build/tests/vorpane_e2e_tests --gtest_filter='Production.GoldenFrames*'
// and look at the new files before committing them.
#include "common/Song.h"
#include "support/CapturedFrames.h"
#include "support/RunVorpane.h"
#include "support/SampleProduction.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace {

// Captures the one frame at `seconds` and reads it.
TFrame CaptureFrameAt(const std::string& production, double seconds) {
  TFrame frame;
  char from[32], to[32];
  std::snprintf(from, sizeof from, "%.3f", seconds);
  std::snprintf(to, sizeof to, "%.3f", seconds + 0.25);
  const TRunResult run =
      RunVorpaneIn(production,
                   {"--capture", "golden", "--overwrite", "--fps", "4", "--from", from, "--to", to}, 120);
  EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_TRUE(ReadPng(FrameName(production + "/golden", 0), frame)) << seconds;
  return frame;
}

// The mean of all channels over a rectangle (y from the bottom).
double MeanLevel(const TFrame& frame, int x0, int y0, int x1, int y1) {
  double sum = 0;
  int count = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const uint8_t* p = frame.At(x, y);
      sum += p[0] + p[1] + p[2];
      count += 3;
    }
  return count ? sum / count : 0.0;
}

bool UpdatingGoldenFrames() {
  const char* update = std::getenv("VORPANE_UPDATE_GOLDEN");
  return update && std::string(update) == "1";
}

}  // namespace

TEST(Production, RunsToItsEndWithoutAnyError) {
  const std::string production = MirrorSampleProduction();
  ASSERT_FALSE(production.empty());
  const TRunResult run = RunVorpaneIn(production, {"--benchmark", "--fps", "5"}, 280);
  EXPECT_EQ(run.ExitStatus, 0);
  EXPECT_EQ(WithoutProgressSummary(run.Stderr), "");
  // It ends by itself at its end time, 72 s: at 5 frames a second that is 360 frames.
  EXPECT_EQ(run.Stdout.rfind("frames: 360\n", 0), 0u) << run.Stdout;
}

TEST(Production, TheKickBarFlashesOnAKickRowAndIsDarkAFifthOfASecondLater) {
  const TSong song = MoltraxSong();
  const TDemotrackGrid track = SongDemotrack(song);
  // A kick of the groove that no snare or section flash shares.
  const int32_t row = 136;
  ASSERT_EQ(track[kKickChannel][row], 1);
  ASSERT_EQ(track[kSnareChannel][row], 0);
  const std::string production = MirrorSampleProduction();
  char from[32];
  std::snprintf(from, sizeof from, "%.3f", SongRowSeconds(song, row));
  const TRunResult run = RunVorpaneIn(
      production, {"--capture", "flash", "--fps", "5", "--from", from, "--to", "17.39"}, 120);
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  TFrame onKick, later;
  ASSERT_TRUE(ReadPng(FrameName(production + "/flash", 0), onKick));
  ASSERT_TRUE(ReadPng(FrameName(production + "/flash", 1), later));
  // The bar along the bottom edge (40 pixels high) takes the flash colour (200, 240, 255) on the
  // kick; a fifth of a second later the picture beneath shows again.
  EXPECT_GT(MeanLevel(onKick, 0, 2, 800, 38), 225.0);
  EXPECT_NEAR(onKick.At(400, 20)[0], 200, 2);
  EXPECT_LT(MeanLevel(later, 0, 2, 800, 38), 170.0);
  // Above the bar the two frames are alike: only the flash changed.
  EXPECT_NEAR(MeanLevel(onKick, 0, 300, 800, 560), MeanLevel(later, 0, 300, 800, 560), 25.0);
}

TEST(Production, GoldenFramesMatchWithinLlvmpipeRounding) {
  const std::string production = MirrorSampleProduction();
  // Intro (rising logo), groove (credits, sparks), drop, finale (curtain, closing words), and
  // the 3D scenes: the chrome ring, the metaballs, the voxel duck, the chrome duck.
  for (double seconds : {5.0, 20.25, 44.75, 67.0, 27.0, 35.0, 43.0, 51.0}) {
    const TFrame frame = CaptureFrameAt(production, seconds);
    ASSERT_EQ(frame.Width, 800);
    ASSERT_EQ(frame.Height, 600);
    char name[64];
    std::snprintf(name, sizeof name, "/tests/e2e/golden/moltrax_%04d.png",
                  static_cast<int>(std::lround(seconds * 100)));
    const std::string goldenFile = std::string(VORPANE_SOURCE_DIR) + name;
    if (UpdatingGoldenFrames()) {
      ASSERT_TRUE(WritePng(goldenFile, frame)) << goldenFile;
      continue;
    }
    TFrame golden;
    ASSERT_TRUE(ReadPng(goldenFile, golden)) << goldenFile << " is missing; see this file's header";
    ASSERT_EQ(golden.Rgb.size(), frame.Rgb.size());
    // At most 1 % of the pixels may differ by more than 8 levels in a channel.
    size_t off = 0;
    for (size_t i = 0; i < frame.Rgb.size(); i += 3)
      for (size_t c = 0; c < 3; ++c)
        if (std::abs(static_cast<int>(frame.Rgb[i + c]) - static_cast<int>(golden.Rgb[i + c])) > 8) {
          ++off;
          break;
        }
    EXPECT_LE(off, frame.Rgb.size() / 3 / 100) << "frame at " << seconds << " s";
  }
}

TEST(Production, CaptureToMp4GivesH264AndAacOfTheRangesLength) {
  const std::string production = MirrorSampleProduction();
  const TRunResult run = RunVorpaneIn(
      production, {"--capture", "clip.mp4", "--fps", "10", "--from", "40", "--to", "42"}, 200);
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_EQ(WithoutProgressSummary(run.Stderr), "");
  // The temporary files of the two passes are gone.
  struct stat st;
  EXPECT_NE(::stat((production + "/clip.mp4.video.nut").c_str(), &st), 0);
  EXPECT_NE(::stat((production + "/clip.mp4.partial.mp4").c_str(), &st), 0);
  EXPECT_NE(::stat((production + "/clip.mp4.audio.wav").c_str(), &st), 0);

  const TRunResult probe = RunProgramIn(
      production,
      {"/usr/bin/env", "ffprobe", "-v", "error", "-show_entries",
       "format=duration:stream=codec_type,codec_name,pix_fmt,width,height", "-of",
       "default=noprint_wrappers=1", "clip.mp4"},
      60);
  ASSERT_EQ(probe.ExitStatus, 0) << probe.Stderr;
  const std::string& info = probe.Stdout;
  EXPECT_NE(info.find("codec_name=h264"), std::string::npos) << info;
  EXPECT_NE(info.find("pix_fmt=yuv420p"), std::string::npos) << info;
  EXPECT_NE(info.find("width=800"), std::string::npos) << info;
  EXPECT_NE(info.find("codec_name=aac"), std::string::npos) << info;
  EXPECT_NE(info.find("codec_type=audio"), std::string::npos) << info;
  const size_t at = info.find("duration=");
  ASSERT_NE(at, std::string::npos) << info;
  // Two seconds, give or take one frame (a tenth of a second at 10 frames a second).
  EXPECT_NEAR(std::atof(info.c_str() + at + 9), 2.0, 0.1) << info;
}

TEST(Production, CaptureToVideoWithoutFfmpegSaysSoAndWritesNothing) {
  const std::string production = MirrorSampleProduction();
  const TRunResult run =
      RunVorpaneIn(production, {"--capture", "clip.mkv", "--fps", "10", "--to", "1"}, 60,
                   {"PATH=/nonexistent"});
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_NE(run.Stderr.find("clip.mkv: ffmpeg was not found"), std::string::npos)
      << run.Stderr;
  struct stat st;
  EXPECT_NE(::stat((production + "/clip.mkv").c_str(), &st), 0);
}
