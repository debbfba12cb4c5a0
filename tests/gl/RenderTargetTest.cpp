// The production drawn at another size than its own: lines, points and text keep their size in
// the production's pixels, and a supersampled frame is averaged down.
#include "effects/BitmapFont.h"
#include "effects/Draw2D.h"
#include "platform/RenderTarget.h"
#include "support/GlContext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct TLitBox {
  int Left = 1 << 30, Top = 1 << 30, Right = -1, Bottom = -1, Count = 0;
};

// The lit (not black) pixels of an RGB picture within a rectangle of it.
TLitBox LitPixels(const std::vector<uint8_t>& rgb, int width, int left, int top, int right,
                  int bottom) {
  TLitBox box;
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) {
      const uint8_t* p = &rgb[(static_cast<size_t>(y) * static_cast<size_t>(width) +
                               static_cast<size_t>(x)) * 3];
      if (p[0] + p[1] + p[2] == 0) continue;
      box.Left = std::min(box.Left, x);
      box.Right = std::max(box.Right, x + 1);
      box.Top = std::min(box.Top, y);
      box.Bottom = std::max(box.Bottom, y + 1);
      ++box.Count;
    }
  return box;
}

void ClearBlackFlat() {
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glColor3f(1, 1, 1);
}

struct TScaledDrawing {
  TLitBox Line, Point, WideLine, Text;
  int Width = 0, Height = 0;
};

// A horizontal line (default width, then width 3), a point and a text, each drawn alone in
// production pixels and found in the frame read back.
TScaledDrawing DrawAndMeasure() {
  TScaledDrawing result;
  std::vector<uint8_t> rgb;
  auto measure = [&](TLitBox& box) {
    EXPECT_TRUE(ReadContentRGB(rgb, result.Width, result.Height));
    box = LitPixels(rgb, result.Width, 0, 0, result.Width, result.Height);
  };
  auto drawLine = [&](float width, TLitBox& box) {
    ClearBlackFlat();
    SetLineWidth(width);
    OrthoBegin();
    glBegin(GL_LINES);
    glVertex2f(100, 300.25f);
    glVertex2f(300, 300.25f);
    glEnd();
    OrthoEnd();
    SetLineWidth(1);
    measure(box);
  };
  drawLine(1, result.Line);
  drawLine(3, result.WideLine);

  ClearBlackFlat();
  OrthoBegin();
  glBegin(GL_POINTS);
  glVertex2f(600.5f, 200.5f);
  glEnd();
  OrthoEnd();
  measure(result.Point);

  ClearBlackFlat();
  PrintText("TIMESTAMP: 12", 100, 100, {1, 1, 1, 1});
  measure(result.Text);
  return result;
}

}  // namespace

TEST(RenderTarget, LinesPointsAndTextKeepTheirSizeInTheProduction) {
  TestGlWindow();
  BuildBitmapFont("Verdana", 14, true);
  const TScaledDrawing plain = DrawAndMeasure();
  ASSERT_EQ(plain.Width, 800);
  EXPECT_EQ(plain.Line.Bottom - plain.Line.Top, 1);
  EXPECT_EQ(plain.WideLine.Bottom - plain.WideLine.Top, 3);
  EXPECT_EQ(plain.Point.Count, 1);
  ASSERT_GT(plain.Text.Count, 20);

  std::string error;
  ASSERT_TRUE(UseRenderTarget({1600, 1200, TFitMode::Pad, 1, false}, error)) << error;
  EXPECT_EQ(RenderScaleX(), 2.0f);
  const TScaledDrawing twice = DrawAndMeasure();
  ASSERT_EQ(twice.Width, 1600);
  ASSERT_EQ(twice.Height, 1200);
  // Twice the frame: lines twice as wide, in the same place of the production.
  EXPECT_EQ(twice.Line.Bottom - twice.Line.Top, 2);
  EXPECT_EQ(twice.Line.Left, 2 * plain.Line.Left);
  EXPECT_EQ(twice.Line.Right, 2 * plain.Line.Right);
  EXPECT_NEAR(twice.Line.Top, 2 * plain.Line.Top, 1);
  EXPECT_EQ(twice.WideLine.Bottom - twice.WideLine.Top, 6);
  EXPECT_EQ(twice.Point.Count, 4);
  // Text rendered for the frame's size: the same place and extent in the production, not a
  // 14-pixel font in a corner.
  EXPECT_NEAR(twice.Text.Left, 2 * plain.Text.Left, 3);
  EXPECT_NEAR(twice.Text.Top, 2 * plain.Text.Top, 3);
  EXPECT_NEAR(twice.Text.Right - twice.Text.Left, 2 * (plain.Text.Right - plain.Text.Left),
              0.1 * (plain.Text.Right - plain.Text.Left));
  EXPECT_NEAR(twice.Text.Bottom - twice.Text.Top, 2 * (plain.Text.Bottom - plain.Text.Top), 3);
  EXPECT_GT(twice.Text.Count, 3 * plain.Text.Count);

  // Back to the window: the production's own pixels again, font included.
  ReleaseRenderTarget();
  const TScaledDrawing again = DrawAndMeasure();
  EXPECT_EQ(again.Width, 800);
  EXPECT_EQ(again.Line.Bottom - again.Line.Top, 1);
  EXPECT_EQ(again.Text.Count, plain.Text.Count);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 800);
  EXPECT_EQ(viewport[3], 600);
}

TEST(RenderTarget, SupersampledFrameIsAveragedDownToItsSize) {
  TestGlWindow();
  std::string error;
  ASSERT_TRUE(UseRenderTarget({800, 600, TFitMode::Pad, 2, false}, error)) << error;
  EXPECT_EQ(RenderWidth(), 1600);
  ClearBlackFlat();
  // Half a production pixel wide: one of each two framebuffer columns at column 10.
  DrawRect({1, 1, 1, 1}, 10.0f, 0.0f, 0.5f, 600.0f);
  std::vector<uint8_t> rgb;
  int32_t width = 0, height = 0;
  ASSERT_TRUE(ReadContentRGB(rgb, width, height));
  ReleaseRenderTarget();
  ASSERT_EQ(width, 800);
  ASSERT_EQ(height, 600);
  const size_t row = 300 * 800 * 3;
  EXPECT_EQ(rgb[row + 9 * 3], 0);
  EXPECT_NEAR(rgb[row + 10 * 3], 128, 1);
  EXPECT_EQ(rgb[row + 11 * 3], 0);
}

TEST(RenderTarget, AResizedWindowShowsTheProductionFittedAndItsOwnSizeDrawsDirectly) {
  TestGlWindow();
  // A 400x400 window: the 4:3 production is 400x300, 50 rows of black above and below.
  FitRenderTargetToWindow(400, 400);
  ASSERT_TRUE(RenderTargetActive());
  EXPECT_EQ(RenderWidth(), 400);
  EXPECT_EQ(RenderHeight(), 300);
  ClearBlackFlat();
  DrawRect({1, 1, 1, 1}, 0, 0, 800, 600);
  PresentRenderTarget(400, 400);
  // The window's own size again: no target, the window's buffer (with the copy) is read.
  FitRenderTargetToWindow(800, 600);
  EXPECT_FALSE(RenderTargetActive());
  EXPECT_EQ(ReadTestPixel(200, 49).r, 0);
  EXPECT_EQ(ReadTestPixel(200, 50).r, 255);
  EXPECT_EQ(ReadTestPixel(0, 349).r, 255);
  EXPECT_EQ(ReadTestPixel(399, 200).r, 255);
  EXPECT_EQ(ReadTestPixel(200, 350).r, 0);
  EXPECT_EQ(ReadTestPixel(400, 200).r, 0);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 800);
  EXPECT_EQ(viewport[3], 600);
}
