// Captures of parameters that follow keyed tracks: the values of the key types on the frames,
// keys from a sync editor's file and from the script, and captures that repeat bit for bit.
#include "support/CapturedFrames.h"
#include "support/RunVorpane.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// At 120 BPM and four rows a beat a row lasts 1/8 s: at 8 fps frame n is row n.
const char* const kScript =
    "RESOLUTIONX 160\nRESOLUTIONY 120\nCOLORDEPTH 32\nINIT\n"
    "TRACKER\nBPM 120\nENDTIME 400\n"
    "TRACKS editor.rocket\n"
    "KEY fade 0 100\nKEY fade 16 100 smooth\nKEY fade 24 50\n"
    "KEY op 0 0 ramp\nKEY op 8 100\n"
    "CLEARCOLOR 0 0 @bg:b 255\n"
    "FADE @fade\n"
    "LOAD plaincolor 1\nW 80\nH 120\nE @red\nF 0\nG 0\n"
    "LOAD plaincolor 2\nX 80\nY 60\nW 80\nH 60\nE 255\nF 255\nG 255\nOPACITY @op\n"
    // Particles that grow and lose particles as their count follows a track.
    "LOAD particles 3\nE @count\nF 40\nG 50\nS 300\nVX 20\nVY 20\nVZ 20\n"
    "BAR a\nMOUNT 0\nLENGTH 0 2\nEFFECT 1\n"
    "BAR b\nMOUNT 0\nLENGTH 0 2\nEFFECT 2\n"
    "BAR c\nMOUNT 0\nLENGTH 0 2\nEFFECT 3\n";

// RocketEditor's dialect, with the attributes it writes that the player does not use.
const char* const kEditorFile =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rootElement>\n"
    "<tracks rows=\"10000\" startRow=\"0\" endRow=\"10000\" rowsPerBeat=\"4\" beatsPerMin=\"120\">\n"
    "<track name=\"red\" folded=\"0\" muteKeyCount=\"0\" color=\"ffb27474\">\n"
    "<key row=\"0\" value=\"0.000000\" interpolation=\"1\"/>\n"
    "<key row=\"16\" value=\"255.000000\" interpolation=\"0\"/></track>\n"
    "<track name=\"bg:b\" folded=\"0\" muteKeyCount=\"0\" color=\"ffb27474\">\n"
    "<key row=\"0\" value=\"40.000000\" interpolation=\"0\"/>\n"
    "<key row=\"4\" value=\"200.000000\" interpolation=\"0\"/></track>\n"
    "<track name=\"count\" folded=\"0\" muteKeyCount=\"0\" color=\"ffb27474\">\n"
    "<key row=\"0\" value=\"50\" interpolation=\"1\"/>\n"
    "<key row=\"12\" value=\"400\" interpolation=\"1\"/>\n"
    "<key row=\"24\" value=\"10\" interpolation=\"0\"/></track>\n"
    "</tracks></rootElement>\n";

}  // namespace

TEST(KeyedTracksCapture, ParametersFollowTheirTracksOnEveryFrameAndCapturesRepeat) {
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "moltrax.vrp", kScript);
  WriteTextFile(folder, "editor.rocket", kEditorFile);
  const TRunResult run = RunVorpaneIn(folder, {"--capture", "a", "--fps", "8", "--quiet"}, 120);
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  TFrame frames[32];
  for (int n = 0; n < 32; ++n) ASSERT_TRUE(ReadPng(folder + "/a" + FrameName("", n), frames[n]));
  const auto red = [&](int n) { return static_cast<int>(frames[n].At(5, 115)[0]); };
  const auto blue = [&](int n) { return static_cast<int>(frames[n].At(155, 5)[2]); };
  const auto white = [&](int n) { return static_cast<int>(frames[n].At(155, 115)[1]); };
  // Linear from the file: 255 × row / 16, rounded as E is an integer.
  EXPECT_EQ(red(0), 0);
  EXPECT_EQ(red(4), 64);
  EXPECT_EQ(red(8), 128);
  EXPECT_EQ(red(15), 239);
  // A step holds until the next key; the clear colour follows it.
  EXPECT_EQ(blue(3), 40);
  EXPECT_EQ(blue(4), 200);
  // Ramp: 100 × t², the white rectangle's green over a clear colour of 200 blue.
  EXPECT_NEAR(white(2), 255 * 0.0625, 1.0);
  EXPECT_NEAR(white(4), 255 * 0.25, 1.0);
  EXPECT_EQ(white(8), 255);
  // The fade runs smooth from 100 % at row 16 to 50 % at row 24: halfway it is 75 %, a quarter
  // in 100 - 50 × 0.15625; after the last key the value holds.
  EXPECT_NEAR(red(20), 255 * 0.75, 1.0);
  EXPECT_NEAR(red(18), 255 * (1 - 0.5 * 0.15625), 1.0);
  EXPECT_NEAR(red(31), 255 * 0.5, 1.0);

  // A second capture is the same, and a range from 1.5 s has the whole run's frames.
  const TRunResult again =
      RunVorpaneIn(folder, {"--capture", "b", "--fps", "8", "--quiet", "--from", "1.5"}, 120);
  ASSERT_EQ(again.ExitStatus, 0) << again.Stderr;
  for (int n = 12; n < 32; ++n) {
    TFrame later;
    ASSERT_TRUE(ReadPng(folder + "/b" + FrameName("", n - 12), later)) << n;
    EXPECT_TRUE(later.Rgb == frames[n].Rgb) << "frame " << n;
  }
}
