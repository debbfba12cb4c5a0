// The sample production's start: its loading screen is what the window shows while everything
// loads, and the first frame of the demo replaces it.
#include "demo/Vorpane.h"
#include "support/SampleProduction.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

const uint8_t* PixelFromTop(const std::vector<uint8_t>& rgb, int x, int y) {
  return &rgb[(static_cast<size_t>(y) * 800 + static_cast<size_t>(x)) * 3];
}

}  // namespace

TEST(ProductionStart, TheLoadingScreenIsShownUntilTheFirstFrame) {
  const std::string production = MirrorSampleProduction();
  ASSERT_FALSE(production.empty());
  ASSERT_EQ(::chdir(production.c_str()), 0);
  TDemoOptions options;
  options.FixedStep = true;
  options.Fps = 4;
  TVDemo demo("moltrax.vrp", options);

  // Everything has loaded; the window still holds the loading screen: the 512 x 512 picture in
  // the middle, its title bright, and black around it.
  std::vector<uint8_t> rgb;
  ASSERT_TRUE(ReadFrameRGB(800, 600, rgb));
  int brightTitle = 0;
  for (int y = 220; y < 300; ++y)
    for (int x = 200; x < 600; ++x)
      if (PixelFromTop(rgb, x, y)[0] > 200) ++brightTitle;
  EXPECT_GT(brightTitle, 2000);
  for (const auto& corner : {std::pair<int, int>{20, 20}, {780, 580}, {100, 300}, {700, 300}}) {
    const uint8_t* p = PixelFromTop(rgb, corner.first, corner.second);
    EXPECT_EQ(p[0] + p[1] + p[2], 0) << corner.first << "," << corner.second;
  }
  // Inside the picture but away from the texts: its dark blue gradient, not black.
  EXPECT_GT(PixelFromTop(rgb, 160, 60)[2], 15);

  // The first frame of the demo replaces it: the production fades in from black ...
  demo.RenderFrame();
  ASSERT_TRUE(ReadFrameRGB(800, 600, rgb));
  EXPECT_EQ(PixelFromTop(rgb, 400, 260)[0], 0);
  // ... and two bars later (4 s, frame 16 at 4 fps) the sky covers the whole window.
  for (int frame = 1; frame <= 16; ++frame) demo.RenderFrame();
  ASSERT_TRUE(ReadFrameRGB(800, 600, rgb));
  EXPECT_GT(PixelFromTop(rgb, 20, 20)[2], 30);
  EXPECT_GT(PixelFromTop(rgb, 780, 580)[0], 120);
}
