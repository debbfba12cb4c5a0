// A production naming pictures as users do: a .jpeg and a .png draw, a picture whose ending no
// reader knows is reported once and stops a capture before its first frame.
#include "common/Demotrack.h"
#include "common/ImageWriters.h"
#include "platform/Files.h"
#include "support/CapturedFrames.h"
#include "support/RunVorpane.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(PictureTypesCapture, JpegAndPngDrawAndAnUnknownEndingStopsTheCapture) {
  const std::string folder = MakeTempFolder();
  ASSERT_TRUE(WriteDemotrack(folder + "/track.bin", TDemotrackGrid(1, std::vector<uint8_t>(100, 0))));
  auto flat = [](int32_t width, int32_t height, uint8_t r, uint8_t g, uint8_t b) {
    TImageRGBA image;
    image.Width = width;
    image.Height = height;
    for (int32_t i = 0; i < width * height; ++i) image.Pixels.insert(image.Pixels.end(), {r, g, b, 255});
    return image;
  };
  ASSERT_TRUE(WriteJpeg(folder + "/red.jpeg", flat(333, 250, 250, 0, 0), 95));
  ASSERT_TRUE(WritePng(folder + "/green.png", flat(5, 4, 0, 250, 0), TPngKind::Rgb));
  ASSERT_TRUE(WritePng(folder + "/white.gif", flat(8, 8, 255, 255, 255), TPngKind::Rgb));
  // The first `count` pictures, side by side in thirds of the window.
  auto production = [](int count) {
    std::string script =
        "RESOLUTIONX 800\nRESOLUTIONY 600\nCOLORDEPTH 32\nINIT\nCLEARCOLOR 0 0 64 255\n"
        "TRACKER track.bin\nBPM 120\n";
    const char* pictures[] = {"red.jpeg", "green.png", "white.gif"};
    for (int slot = 0; slot < count; ++slot)
      script += "LOAD plaintexture " + std::to_string(slot) + "\nA " + pictures[slot] + "\nX " +
                std::to_string(slot * 266) + "\nY 0\nW 266\nH 600\n";
    for (int slot = 0; slot < count; ++slot)
      script += "BAR b" + std::to_string(slot) + "\nMOUNT 0\nLENGTH 1\nEFFECT " + std::to_string(slot) + "\n";
    return script;
  };
  WriteTextFile(folder, "moltrax.vrp", production(3));
  TRunResult run = RunVorpaneIn(folder, {"--capture", "cap", "--from", "1", "--to", "1.01"}, 60);
  EXPECT_EQ(run.ExitStatus, 1) << run.Stderr;
  EXPECT_NE(run.Stderr.find("Couldn't load \"white.gif\". Unknown picture type"), std::string::npos)
      << run.Stderr;
  EXPECT_NE(run.Stderr.find("1 picture failed to load; a capture or benchmark needs every picture"),
            std::string::npos)
      << run.Stderr;
  EXPECT_EQ(run.Stderr.find("red.jpeg"), std::string::npos) << run.Stderr;
  EXPECT_EQ(run.Stderr.find("green.png"), std::string::npos) << run.Stderr;
  EXPECT_FALSE(FileExists(folder + "/cap" + FrameName("", 0)));

  WriteTextFile(folder, "moltrax.vrp", production(2));
  run = RunVorpaneIn(folder, {"--capture", "cap", "--from", "1", "--to", "1.01"}, 60);
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;

  TFrame frame;
  ASSERT_TRUE(ReadPng(folder + "/cap" + FrameName("", 0), frame));
  for (int y : {5, 300, 594}) {
    const uint8_t* red = frame.At(130, y);
    const uint8_t* green = frame.At(400, y);
    const uint8_t* none = frame.At(670, y);
    EXPECT_GE(red[0], 240) << y;
    EXPECT_LE(red[1], 10) << y;
    EXPECT_GE(green[1], 240) << y;
    EXPECT_LE(green[0], 10) << y;
    // The clear colour, untouched.
    EXPECT_EQ(none[0], 0) << y;
    EXPECT_EQ(none[2], 64) << y;
  }
}
