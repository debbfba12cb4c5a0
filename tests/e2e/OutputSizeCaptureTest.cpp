// Captures at another size than the script's: the timer overlay's black box (x 100..300, y
// 475..515 from the bottom of an 800x600 production) and its text land where the production puts
// them, scaled, with black bars (pad) or without (stretch).
#include "common/Demotrack.h"
#include "support/CapturedFrames.h"
#include "support/RunVorpane.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

TFrame CaptureOverlay(const std::vector<std::string>& sizeArguments) {
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "moltrax.vrp",
                "RESOLUTIONX 800\nRESOLUTIONY 600\nCOLORDEPTH 32\nINIT\n"
                "CLEARCOLOR 0 0 255 255\nSHOWTIMER true\nENDTIME 1300\n");
  std::vector<std::string> arguments = {"--capture", "cap", "--from", "12.34", "--to", "12.35"};
  arguments.insert(arguments.end(), sizeArguments.begin(), sizeArguments.end());
  const TRunResult run = RunVorpaneIn(folder, arguments, 60);
  EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
  TFrame frame;
  EXPECT_TRUE(ReadPng(folder + "/cap" + FrameName("", 0), frame));
  return frame;
}

bool IsBlue(const TFrame& frame, int x, int y) {
  const uint8_t* p = frame.At(x, y);
  return p[0] == 0 && p[1] == 0 && p[2] == 255;
}

bool IsBlack(const TFrame& frame, int x, int y) {
  const uint8_t* p = frame.At(x, y);
  return p[0] == 0 && p[1] == 0 && p[2] == 0;
}

// The box's edge between (inside, y) and (outside, y): black inside, the blue clear colour out.
void ExpectEdge(const TFrame& frame, int inside, int outside, int y) {
  EXPECT_TRUE(IsBlack(frame, inside, y)) << inside << "," << y;
  EXPECT_TRUE(IsBlue(frame, outside, y)) << outside << "," << y;
}

// The same for a horizontal edge at x.
void ExpectRowEdge(const TFrame& frame, int x, int inside, int outside) {
  EXPECT_TRUE(IsBlack(frame, x, inside)) << x << "," << inside;
  EXPECT_TRUE(IsBlue(frame, x, outside)) << x << "," << outside;
}

// White pixels (the overlay's text) in a rectangle (y from the bottom), and the rows they span.
struct TTextPixels {
  int Count = 0, Top = 1 << 30, Bottom = -1;
};
TTextPixels WhiteIn(const TFrame& frame, int left, int top, int right, int bottom) {
  TTextPixels text;
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) {
      const uint8_t* p = frame.At(x, y);
      if (p[0] < 200 || p[1] < 200 || p[2] < 200) continue;
      ++text.Count;
      text.Top = std::min(text.Top, y);
      text.Bottom = std::max(text.Bottom, y + 1);
    }
  return text;
}

}  // namespace

TEST(OutputSizeCapture, OverlayIsPlacedAndScaledWithPadAndStretch) {
  const TFrame plain = CaptureOverlay({});
  ASSERT_EQ(plain.Width, 800);
  // The text may run past the box: white is counted up to the middle of the picture.
  const TTextPixels plainText = WhiteIn(plain, 100, 475, 400, 515);
  ASSERT_GT(plainText.Count, 200);

  // 4:3 into 16:9: 1440x1080 in the middle, scale 1.8; the box is x 420..780, y 855..927.
  const TFrame padded = CaptureOverlay({"--size", "1920x1080"});
  ASSERT_EQ(padded.Width, 1920);
  ASSERT_EQ(padded.Height, 1080);
  EXPECT_TRUE(IsBlack(padded, 239, 540));
  EXPECT_TRUE(IsBlue(padded, 240, 540));
  EXPECT_TRUE(IsBlue(padded, 1679, 540));
  EXPECT_TRUE(IsBlack(padded, 1680, 540));
  EXPECT_TRUE(IsBlack(padded, 1919, 0));
  ExpectEdge(padded, 422, 418, 858);
  ExpectEdge(padded, 778, 782, 858);
  ExpectRowEdge(padded, 600, 857, 853);
  ExpectRowEdge(padded, 600, 925, 929);
  // The text is rendered at 1.8 times the size: about 1.8 x 1.8 times the pixels, its rows
  // 1.8 times as far apart.
  const TTextPixels paddedText = WhiteIn(padded, 420, 855, 960, 927);
  EXPECT_GT(paddedText.Count, 2.6 * plainText.Count);
  EXPECT_LT(paddedText.Count, 4.0 * plainText.Count);
  EXPECT_NEAR(paddedText.Bottom - paddedText.Top, 1.8 * (plainText.Bottom - plainText.Top), 3);

  // Stretched: twice as wide, as high as before, no bars; the box is x 200..600, y 475..515.
  const TFrame stretched = CaptureOverlay({"--size", "1600x600", "--fit", "stretch"});
  ASSERT_EQ(stretched.Width, 1600);
  ASSERT_EQ(stretched.Height, 600);
  EXPECT_TRUE(IsBlue(stretched, 0, 300));
  EXPECT_TRUE(IsBlue(stretched, 1599, 300));
  ExpectEdge(stretched, 202, 198, 477);
  ExpectEdge(stretched, 598, 602, 477);
  const TTextPixels stretchedText = WhiteIn(stretched, 200, 475, 800, 515);
  EXPECT_NEAR(stretchedText.Bottom - stretchedText.Top, plainText.Bottom - plainText.Top, 2);
  EXPECT_GT(stretchedText.Count, 1.6 * plainText.Count);
}

// The flash (a note at 8.5 s, fading within a tenth of a second) captured at 200 frames a second
// and, blurred over a whole frame of two sub-frames, at 100: the sub-frames of blurred frame i
// are plain frames 2i and 2i + 1, and it is their mean.
TEST(MotionBlurCapture, ABlurredFrameIsTheMeanOfItsSubFrames) {
  const std::string folder = MakeTempFolder();
  TDemotrackGrid grid(2, std::vector<uint8_t>(100, 0));
  grid[1][68] = 5;
  ASSERT_TRUE(WriteDemotrack(folder + "/track.bin", grid));
  WriteTextFile(folder, "moltrax.vrp",
                "RESOLUTIONX 320\nRESOLUTIONY 240\nCOLORDEPTH 32\nINIT\n"
                "CLEARCOLOR 0 0 64 255\nTRACKER track.bin\nBPM 120\n"
                "LOAD flash 3\nX 40\nY 40\nW 240\nH 160\n"
                "BAR one event\nMOUNT 1\nLENGTH 0 1\nEFFECT 3\nINPUT 0 1 5 100 0\n");
  const std::vector<std::string> range = {"--from", "8.48", "--to", "8.58"};
  std::vector<std::string> plainArguments = {"--capture", "plain", "--fps", "200"};
  std::vector<std::string> blurArguments = {"--capture", "blur", "--fps", "100",
                                            "--motion-blur", "2", "--shutter", "1"};
  plainArguments.insert(plainArguments.end(), range.begin(), range.end());
  blurArguments.insert(blurArguments.end(), range.begin(), range.end());
  const TRunResult plainRun = RunVorpaneIn(folder, plainArguments, 60);
  ASSERT_EQ(plainRun.ExitStatus, 0) << plainRun.Stderr;
  const TRunResult blurRun = RunVorpaneIn(folder, blurArguments, 60);
  ASSERT_EQ(blurRun.ExitStatus, 0) << blurRun.Stderr;

  int changing = 0;
  for (int i = 0; i < 10; ++i) {
    TFrame blurred, first, second;
    ASSERT_TRUE(ReadPng(folder + "/blur" + FrameName("", i), blurred)) << i;
    ASSERT_TRUE(ReadPng(folder + "/plain" + FrameName("", 2 * i), first)) << i;
    ASSERT_TRUE(ReadPng(folder + "/plain" + FrameName("", 2 * i + 1), second)) << i;
    ASSERT_EQ(blurred.Rgb.size(), first.Rgb.size());
    int worst = 0;
    for (size_t k = 0; k < blurred.Rgb.size(); ++k)
      worst = std::max(worst, std::abs(2 * blurred.Rgb[k] - first.Rgb[k] - second.Rgb[k]));
    EXPECT_LE(worst, 1) << "frame " << i;  // the mean, rounded
    if (first.At(160, 120)[0] != second.At(160, 120)[0]) ++changing;
  }
  EXPECT_GE(changing, 5);  // the flash moves between the sub-frames: there is motion to blur
}
