// Captures of the sample production give the same frames every time and wherever they start:
// the particles, the metaballs' camera and the random pictures carry state from frame to frame.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/CapturedFrames.h"
#include "support/RunVorpane.h"
#include "support/SampleProduction.h"

namespace {

TFrame ReadFrame(const std::string& folder, int index) {
  TFrame frame;
  EXPECT_TRUE(ReadPng(FrameName(folder, index), frame)) << FrameName(folder, index);
  return frame;
}

// A checksum of each frame of a video file as ffmpeg decodes it, then one of all its sound.
std::string DecodedDigest(const std::string& folder, const std::string& file) {
  std::string digest;
  for (const char* stream : {"framemd5", "md5"}) {
    const TRunResult run =
        RunProgramIn(folder,
                     {"/usr/bin/env", "ffmpeg", "-v", "error", "-i", file, "-map",
                      stream[0] == 'f' ? "0:v" : "0:a", "-f", stream, "-"},
                     60);
    EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
    digest += run.Stdout;
  }
  return digest;
}

}  // namespace

TEST(CaptureRange, FramesAreTheSameTwiceAndWhenTheCaptureStartsInTheMiddle) {
  const std::string production = MirrorSampleProduction();
  ASSERT_FALSE(production.empty());
  TRunResult run =
      RunVorpaneIn(production, {"--capture", "whole", "--fps", "2", "--to", "51", "--quiet"}, 280);
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  // 33 s: the metaballs and the dust of the break, after sparks flew from 8 s to 32 s. Twice.
  // 50 s: the chrome duck of the second drop, drawn where the voxel duck of the first drop left
  // back faces culled.
  const struct {
    const char* Folder;
    const char* From;
    int WholeFrame;
  } starts[] = {{"middle", "33", 66}, {"again", "33", 66}, {"duck", "50", 100}};
  for (const auto& start : starts) {
    run = RunVorpaneIn(production,
                       {"--capture", start.Folder, "--fps", "2", "--from", start.From, "--to",
                        std::to_string(std::atoi(start.From) + 1), "--quiet"},
                       120);
    ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
    for (int i = 0; i < 2; ++i) {
      const TFrame whole = ReadFrame(production + "/whole", start.WholeFrame + i);
      ASSERT_EQ(whole.Rgb.size(), 800u * 600u * 3u);
      EXPECT_TRUE(ReadFrame(production + "/" + start.Folder, i).Rgb == whole.Rgb)
          << start.Folder << " frame " << i << " from " << start.From << " s";
    }
  }
  EXPECT_FALSE(ReadFrame(production + "/middle", 0).Rgb == ReadFrame(production + "/middle", 1).Rgb)
      << "the metaballs stand still";
}

TEST(CaptureRange, SegmentsCapturedSideBySideJoinIntoTheFramesOfOneCapture) {
  if (RunProgramIn("/", {"/usr/bin/env", "parallel", "--version"}, 30).ExitStatus != 0)
    GTEST_SKIP() << "GNU parallel is not installed";
  const std::string production = MirrorSampleProduction();
  ASSERT_FALSE(production.empty());
  // The first segment ends in the groove, the second starts there with sparks flying.
  const std::vector<std::string> range = {"--fps", "10", "--from", "20", "--to", "22"};
  std::vector<std::string> command = {
      "/usr/bin/env", std::string("VORPANE=") + VORPANE_BINARY,
      "bash",         VORPANE_SOURCE_DIR "/scripts/capture-split.sh",
      "--jobs",       "2"};
  command.insert(command.end(), range.begin(), range.end());
  command.insert(command.end(), {"split.mp4", "moltrax.vrp"});
  const TRunResult split = RunProgramIn(production, command, 280);
  ASSERT_EQ(split.ExitStatus, 0) << split.Stderr;
  EXPECT_NE(split.Stderr.find("20 frames in 2 segments"), std::string::npos) << split.Stderr;
  std::vector<std::string> single = {"--capture", "single.mp4", "--quiet"};
  single.insert(single.end(), range.begin(), range.end());
  const TRunResult run = RunVorpaneIn(production, single, 200);
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  const std::string joined = DecodedDigest(production, "split.mp4");
  size_t videoFrames = 0;  // lines of stream 0
  for (size_t at = joined.find("\n0,"); at != std::string::npos; at = joined.find("\n0,", at + 1))
    ++videoFrames;
  EXPECT_EQ(videoFrames, 20u) << joined;
  EXPECT_EQ(joined, DecodedDigest(production, "single.mp4"));
}

TEST(CaptureRange, SplitSoundIsTheSingleCapturesSamplesAndAVideosSoundLastsItsRange) {
  if (RunProgramIn("/", {"/usr/bin/env", "parallel", "--version"}, 30).ExitStatus != 0)
    GTEST_SKIP() << "GNU parallel is not installed";
  const std::string production = MirrorSampleProduction();
  ASSERT_FALSE(production.empty());
  // Frames 25 to 50 at 24 fps; segments start on frames 33 and 41, on half a 44.1 kHz sample.
  const std::vector<std::string> range = {"--fps", "24", "--from", "1.041666667",
                                          "--to", "2.083333333"};
  std::vector<std::string> command = {
      "/usr/bin/env", std::string("VORPANE=") + VORPANE_BINARY, "bash",
      VORPANE_SOURCE_DIR "/scripts/capture-split.sh", "--jobs", "3", "--audio-codec", "pcm",
      "split.mkv", "moltrax.vrp"};
  command.insert(command.begin() + 6, range.begin(), range.end());
  ASSERT_EQ(RunProgramIn(production, command, 280).ExitStatus, 0);
  for (const char* target : {"single", "direct.mp4"}) {
    command = {"--capture", target, "--quiet"};
    command.insert(command.end(), range.begin(), range.end());
    ASSERT_EQ(RunVorpaneIn(production, command, 200).ExitStatus, 0) << target;
  }
  auto probe = [&](const std::string& file, std::vector<std::string> what) {
    what.insert(what.begin() + 1, {"-v", "error", "-i", file});
    what.insert(what.begin(), "/usr/bin/env");
    return RunProgramIn(production, what, 60).Stdout;
  };
  const std::vector<std::string> samples = {"ffmpeg", "-map", "0:a", "-f", "s16le", "-"};
  const std::string whole = probe("single/audio.wav", samples);
  EXPECT_EQ(whole.size(), 4u * (91875 - 45938));  // round(t * 44100) at frames 50 and 25
  EXPECT_TRUE(probe("split.mkv", samples) == whole) << "the joined sound is not audio.wav's";
  const std::string seconds = probe("direct.mp4", {"ffprobe", "-select_streams", "a", "-of",
                                                   "csv=p=0", "-show_entries", "stream=duration"});
  EXPECT_NEAR(std::atof(seconds.c_str()), 25.0 / 24, 1.0 / 44100) << seconds;
}
