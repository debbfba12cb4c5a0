// Pixels drawn by the colour, flash and lines effects, the text and the timer overlay, read back
// with glReadPixels from an 800 x 600 offscreen frame.
#include "demo/TimerOverlay.h"
#include "effects/BitmapFont.h"
#include "effects/Draw2D.h"
#include "effects/EffectFactory.h"
#include "effects/LineDistortion.h"
#include "effects/VEffect.h"
#include "support/TestFrame.h"
#include "support/GlContext.h"

#include "support/PixelChecks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

std::unique_ptr<TVEffect> Effect(const char* type) {
  std::unique_ptr<TVEffect> effect = CreateEffect(type);
  if (!effect) ADD_FAILURE() << "no effect type " << type;
  return effect;
}

// The effect's frame, which must raise no GL error.
void RenderCheckedWithInput(TVEffect& effect, float input0) {
  RenderWithInput(effect, input0);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A region of the frame as RGB bytes.
std::vector<uint8_t> ReadRegion(int x, int y, int width, int height) {
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  return rgb;
}

// Builds the font unless this test has it already (each test starts without one).
void EnsureFont() {
  if (FontListBase != 0) return;
  TestGlWindow();
  BuildBitmapFont("Verdana", 14, true);
}

}  // namespace

TEST(EffectPixels, PlainColorAndFlashFillTheirRectangles) {
  TestGlWindow();
  TestFrame.BarTime = 0;
  ClearTestFrame(0, 0, 0);
  std::unique_ptr<TVEffect> plain = Effect("plaincolor");
  ASSERT_TRUE(plain);
  RenderCheckedWithInput(*plain, 0);
  ExpectPixel(0, 0, 255, 255, 255);
  ExpectPixel(400, 300, 255, 255, 255);
  ExpectPixel(799, 599, 255, 255, 255);

  std::unique_ptr<TVEffect> flash = Effect("flash");
  ASSERT_TRUE(flash);
  flash->X = 100;
  flash->Y = 200;
  flash->W = 300;
  flash->H = 100;
  flash->E = 255;
  flash->F = 0;
  flash->G = 128;
  ClearTestFrame(0, 0, 0.5f);
  RenderCheckedWithInput(*flash, 0);
  ExpectPixel(150, 250, 0, 0, 128);
  RenderCheckedWithInput(*flash, 1);
  ExpectPixel(150, 250, 255, 0, 128);
  ExpectPixel(399, 299, 255, 0, 128);
  ExpectPixel(99, 250, 0, 0, 128);
  ExpectPixel(150, 300, 0, 0, 128);
  ExpectPixel(400, 250, 0, 0, 128);

  // Half opacity over the blue clear colour. The flash's own inputs are not accumulated into
  // its opacity: a lower input after a higher one is drawn as given.
  ClearTestFrame(0, 0, 0.5f);
  RenderCheckedWithInput(*flash, 0.5f);
  ExpectPixel(150, 250, 128, 0, 128, 2);
}

TEST(EffectPixels, DriftMovesByVelocityTimesBarTime) {
  TestGlWindow();
  for (const char* type : {"plaincolor", "flash"}) {
    std::unique_ptr<TVEffect> effect = Effect(type);
    ASSERT_TRUE(effect);
    effect->W = 50;
    effect->H = 50;
    effect->VX = 100;
    effect->VY = 20;
    TestFrame.BarTime = 1.0f;
    ClearTestFrame(0, 0, 0);
    RenderCheckedWithInput(*effect, 1);
    ExpectPixel(25, 25, 0, 0, 0);
    ExpectPixel(101, 21, 255, 255, 255);
    ExpectPixel(149, 69, 255, 255, 255);
    ExpectPixel(151, 50, 0, 0, 0);
    ExpectPixel(125, 19, 0, 0, 0);
  }
  TestFrame.BarTime = 0;
}

TEST(EffectPixels, InvertFlashInvertsGreysOrDoesNothing) {
  TestGlWindow();
  std::unique_ptr<TVEffect> invert = Effect("invertflash");
  ASSERT_TRUE(invert);
  invert->W = 400;
  invert->VX = 1000;  // ignored: the inversion does not drift
  TestFrame.BarTime = 1;

  ClearTestFrame(0.2f, 0.4f, 0.6f);
  RenderCheckedWithInput(*invert, 1);
  ExpectPixel(10, 10, 204, 153, 102);
  ExpectPixel(399, 599, 204, 153, 102);
  ExpectPixel(400, 10, 51, 102, 153);
  // Inverted twice is the picture itself.
  RenderCheckedWithInput(*invert, 1);
  ExpectPixel(10, 10, 51, 102, 153);

  ClearTestFrame(0.2f, 0.9f, 0.0f);
  RenderCheckedWithInput(*invert, 0.5f);
  ExpectPixel(100, 100, 128, 128, 128, 2);

  // At 0 or below nothing is drawn and no state changes.
  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glColor4f(0.1f, 0.2f, 0.3f, 0.4f);
  GLint depth = 0;
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
  ClearTestFrame(0.2f, 0.4f, 0.6f);
  for (float v : {0.0f, -1.0f}) {
    RenderCheckedWithInput(*invert, v);
    ExpectPixel(10, 10, 51, 102, 153);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[0], 0.1f);
  }
  // Drawn, it leaves lighting and depth testing off and its blending on.
  RenderCheckedWithInput(*invert, 1);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  GLint source = 0;
  glGetIntegerv(GL_BLEND_SRC, &source);
  EXPECT_EQ(source, GL_ONE_MINUS_DST_COLOR);
  // The window is shared: later tests (text drawn over it) expect no blending.
  glDisable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ZERO);
  TestFrame.BarTime = 0;
}

TEST(EffectPixels, LinesStandWhereTheSwayPutsThem) {
  TestGlWindow();
  EXPECT_EQ(LineBarX(0, 0), 550.0f);
  EXPECT_NEAR(LineBarX(1, 0), 550 + 140 * std::sin(40.0), 1e-3);
  EXPECT_NEAR(LineBarX(1, 0), 654.3f, 0.05f);
  // A whole sway takes 2 pi / 0.1 seconds.
  EXPECT_NEAR(LineBarX(3, static_cast<float>(20 * M_PI)), LineBarX(3, 0), 1e-3);
  EXPECT_NEAR(LineBarX(0, static_cast<float>(5 * M_PI)), 690.0f, 1e-3);

  std::unique_ptr<TVEffect> lines = Effect("lines");
  ASSERT_TRUE(lines);
  EXPECT_EQ(lines->InputLimit, 1.0f);
  lines->X = 300;  // parameters do not matter
  TestFrame.BarTime = 0;
  // The lines set only their colour and blending and leave the rest as they find it: what
  // tests before this one left on is turned off here.
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  ClearTestFrame(0, 0, 0);
  RenderCheckedWithInput(*lines, 1);
  // Bar 0 covers 550..555 and adds 0.2 to what is beneath; bar 1 starts near 654.3.
  EXPECT_GE(ReadTestPixel(552, 300).r, 50);
  EXPECT_GE(ReadTestPixel(657, 10).r, 50);
  EXPECT_GE(ReadTestPixel(657, 590).g, 50);
  ExpectPixel(300, 300, 0, 0, 0);
  ExpectPixel(405, 300, 0, 0, 0);
  ExpectPixel(700, 300, 0, 0, 0);
  // Nothing above 600 pixels.
  EXPECT_EQ(ReadTestPixel(552, 599).r, ReadTestPixel(552, 300).r);
}

TEST(TextPixels, GlyphsSitOnTheBaselineCountedFromTheTop) {
  EnsureFont();
  ASSERT_NE(FontListBase, 0u);
  ClearTestFrame(0, 0, 0);
  PrintText("H", 20, 100, {1, 1, 1, 1});
  // The baseline is 100 pixels below the top edge: y = 500 from the bottom.
  const std::vector<uint8_t> region = ReadRegion(0, 480, 60, 40);
  int lowest = 1000, highest = -1, lit = 0, leftmost = 1000;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 60; ++x)
      if (region[(static_cast<size_t>(y) * 60 + static_cast<size_t>(x)) * 3] > 128) {
        ++lit;
        lowest = std::min(lowest, 480 + y);
        highest = std::max(highest, 480 + y);
        leftmost = std::min(leftmost, x);
      }
  ASSERT_GT(lit, 20);
  EXPECT_EQ(lowest, 500);
  // A capital of a 14-pixel cell is about 10 pixels high.
  EXPECT_GE(highest - lowest, 7);
  EXPECT_LE(highest - lowest, 13);
  EXPECT_GE(leftmost, 20);
  EXPECT_LE(leftmost, 22);
}

TEST(TextPixels, CodesFrom200DrawNothing) {
  EnsureFont();
  // Another list sits right after the 200 glyphs and draws a block if ever called.
  const GLuint foreign = FontListBase + 200;
  const GLubyte block[16 * 2] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                                 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                                 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                                 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glNewList(foreign, GL_COMPILE);
  glBitmap(16, 16, 0, 0, 40, 0, block);
  glEndList();

  ClearTestFrame(0, 0, 0);
  PrintText("AB", 50, 100, {1, 1, 1, 1});
  const std::vector<uint8_t> plain = ReadRegion(40, 480, 100, 40);
  ClearTestFrame(0, 0, 0);
  PrintText("A\xC8" "B\xFF", 50, 100, {1, 1, 1, 1});
  const std::vector<uint8_t> withHighCodes = ReadRegion(40, 480, 100, 40);
  EXPECT_TRUE(plain == withHighCodes);

  // Each glyph advances the raster position: "AB" is wider than "A".
  ClearTestFrame(0, 0, 0);
  PrintText("A", 50, 100, {1, 1, 1, 1});
  const std::vector<uint8_t> single = ReadRegion(40, 480, 100, 40);
  EXPECT_FALSE(plain == single);
  glDeleteLists(foreign, 1);
}

TEST(TextPixels, OverlayTextLiesInsideItsBlackBox) {
  EnsureFont();
  ClearTestFrame(0, 0, 1);
  DrawTimerOverlay(12.34f, 150);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  // The box covers x 100..299 and y 475..514 from the bottom.
  const std::vector<uint8_t> box = ReadRegion(100, 475, 200, 40);
  int white = 0, black = 0;
  for (size_t i = 0; i < box.size(); i += 3) {
    if (box[i] > 200 && box[i + 1] > 200 && box[i + 2] > 200) ++white;
    if (box[i] == 0 && box[i + 1] == 0 && box[i + 2] == 0) ++black;
  }
  EXPECT_GT(white, 200);
  EXPECT_GT(black, 4000);
  EXPECT_EQ(white + black, 200 * 40);
  // Around the box the clear colour stays.
  ExpectPixel(99, 490, 0, 0, 255);
  ExpectPixel(300, 490, 0, 0, 255);
  ExpectPixel(200, 474, 0, 0, 255);
  ExpectPixel(200, 515, 0, 0, 255);
}

TEST(EffectPixels, BillboardFacesTheCameraWhateverTheRotation) {
  TestGlWindow();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-1, 1, -1, 1, -10, 10);
  glMatrixMode(GL_MODELVIEW);
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glColor4f(1, 1, 1, 1);
  // Turned about Z and about X, the quad still lies square in the screen plane.
  for (float angle : {0.0f, 45.0f, 30.0f}) {
    glLoadIdentity();
    glRotatef(angle, 0, 0, 1);
    glRotatef(angle, 1, 0, 0);
    ClearTestFrame(0, 0, 0);
    DrawBillboard({0, 0, 0}, 0.25f);
    // 0.25 each side of the centre: 100 pixels across, 75 pixels up and down.
    ExpectPixel(400, 300, 255, 255, 255);
    ExpectPixel(495, 370, 255, 255, 255);
    ExpectPixel(305, 230, 255, 255, 255);
    ExpectPixel(505, 300, 0, 0, 0);
    ExpectPixel(400, 380, 0, 0, 0);
  }
  glLoadIdentity();
  OrthoEnd();
}
