// Pixels of the picture effects ("plaintexture", "plaintextureadd", "particles") and of the
// loading screen, read back from an 800 x 600 offscreen frame; the texture effects' load rules.
#include "demo/Vorpane.h"
#include "effects/EffectFactory.h"
#include "effects/Particles.h"
#include "effects/TextureEffects.h"
#include "engine/KGL2Textures.h"
#include "platform/Dialogs.h"
#include "support/TestFrame.h"
#include "platform/ScriptError.h"
#include "support/GlContext.h"
#include "support/TestSystem.h"
#include "support/TestPictures.h"

#include "support/PixelChecks.h"

#include <gtest/gtest.h>

namespace {

void Clear(float grey) { ClearTestFrame(grey, grey, grey); }

// 64 x 64: top half red, bottom half green (so a mirrored picture shows up).
std::string WriteHalves(const std::string& folder, const std::string& name) {
  TImageRGBA picture = FlatImage(64, 64, 255, 0, 0);
  for (size_t i = 64 * 32 * 4; i < picture.Pixels.size(); i += 4) {
    picture.Pixels[i] = 0;
    picture.Pixels[i + 1] = 255;
  }
  const std::string file = folder + "/" + name;
  EXPECT_TRUE(WriteBmp24(file, picture));
  return file;
}


}  // namespace

TEST(PictureEffects, PlainTextureShowsThePictureWhereExpectedAndShakes) {
  TestGlWindow();
  const std::string folder = MakeTempFolder();
  std::unique_ptr<TVEffect> effect = CreateEffect("plaintexture");
  ASSERT_TRUE(effect);
  effect->A = WriteHalves(folder, "halves.bmp");
  effect->X = 100;
  effect->Y = 100;
  effect->W = 200;
  effect->H = 200;
  effect->S = 10;
  effect->Load();
  TestFrame.BarTime = 0;

  Clear(0);
  RenderWithInput(*effect, 0);
  ExpectPixel(150, 250, 255, 0, 0, 2);  // top half red
  ExpectPixel(150, 150, 0, 255, 0, 2);  // bottom half green
  ExpectPixel(99, 150, 0, 0, 0, 2);
  ExpectPixel(100, 150, 0, 255, 0, 2);
  // The bottom row of texels blends with the top row (repeat wrapping): only test that the
  // picture starts there.
  ExpectPixel(150, 99, 0, 0, 0, 2);
  EXPECT_GT(ReadTestPixel(150, 100).g, 100);

  // Input 0.1 with S 10 moves it by (10 sin 2, 10 cos 1.7) = (9.09, -1.29).
  Clear(0);
  RenderWithInput(*effect, 0.1f);
  ExpectPixel(108, 150, 0, 0, 0, 2);
  ExpectPixel(110, 150, 0, 255, 0, 2);
  ExpectPixel(150, 98, 0, 0, 0, 2);
  EXPECT_GT(ReadTestPixel(150, 99).g, 100);
  ExpectPixel(308, 150, 0, 255, 0, 2);

  // Drift: VX pixels per second of bar time.
  effect->VX = 100;
  TestFrame.BarTime = 0.5f;
  Clear(0);
  float none[kEffectInputCount] = {};
  effect->Render(TestFrame, none);
  ExpectPixel(149, 150, 0, 0, 0, 2);
  ExpectPixel(151, 150, 0, 255, 0, 2);
  TestFrame.BarTime = 0;
}

TEST(PictureEffects, PlainTextureAddAddsAtTheBrightnessOfSS) {
  TestGlWindow();
  const std::string folder = MakeTempFolder();
  std::unique_ptr<TVEffect> effect = CreateEffect("plaintextureadd");
  ASSERT_TRUE(effect);
  effect->A = WriteHalves(folder, "halves.bmp");
  effect->Load();
  TestFrame.BarTime = 0;

  Clear(0.2f);
  RenderWithInput(*effect, 0);  // SS is 0 until the script sets it: invisible
  ExpectPixel(400, 450, 51, 51, 51, 2);
  effect->SS = 0.5f;  // the script's "SS 50"
  RenderWithInput(*effect, 0);
  ExpectPixel(400, 450, 51 + 128, 51, 51, 2);
  ExpectPixel(400, 150, 51, 51 + 128, 51, 2);
}

TEST(PictureEffects, TextureEffectsLoadRules) {
  TestGlWindow();
  const std::string folder = MakeTempFolder();
  TPlainTexture missing;
  missing.Index = 3;
  const int boxes = ErrorBoxCount();
  missing.Load();
  EXPECT_EQ(ErrorBoxCount(), boxes + 1);
  EXPECT_EQ(LastErrorBoxText(), ScriptErrorText("Effect PlainTexture requires texture filename in "
                                                "parameter A, Effect number 3"));
  EXPECT_TRUE(missing.EndsRun);
  EXPECT_TRUE(missing.LoadFailed);
  EXPECT_EQ(missing.Texture, 0u);

  // Same A and no B: one shared texture. With B: a texture of its own each time.
  const std::string picture = WriteHalves(folder, "shared.bmp");
  TPlainTexture first, second;
  TPlainTextureAdd third;
  first.A = second.A = third.A = picture;
  first.Load();
  second.Load();
  third.Load();
  EXPECT_NE(first.Texture, NoTexture);
  EXPECT_EQ(second.Texture, first.Texture);
  EXPECT_EQ(third.Texture, first.Texture);

  ASSERT_TRUE(WriteJpeg(folder + "/c.jpg", FlatImage(8, 8, 255, 255, 255)));
  ASSERT_TRUE(WriteJpeg(folder + "/a.jpg", FlatImage(8, 8, 0, 0, 128)));
  TPlainTexture pairOne, pairTwo;
  pairOne.A = pairTwo.A = folder + "/c.jpg";
  pairOne.B = pairTwo.B = folder + "/a.jpg";
  pairOne.Load();
  pairTwo.Load();
  EXPECT_NE(pairOne.Texture, NoTexture);
  EXPECT_NE(pairTwo.Texture, pairOne.Texture);

  // The alpha picture's blue (128) makes the white picture half transparent.
  Clear(0);
  pairOne.W = 800;
  pairOne.H = 600;
  RenderWithInput(pairOne, 0);
  ExpectPixel(400, 300, 128, 128, 128, 3);
}

TEST(PictureEffects, ParticlesDrawAdditiveSpritesAndNothingWithoutParticles) {
  TestGlWindow();
  const std::string folder = MakeTempFolder();
  ASSERT_TRUE(WriteTga(folder + "/dot.tga", FlatImage(8, 8, 100, 50, 25), 24, false));
  TestFrame.FrameTime = 0.02f;

  TParticles none;
  none.A = folder + "/dot.tga";
  none.S = 20;
  none.Load();
  Clear(0.1f);
  RenderWithInput(none, 1);
  ExpectPixel(400, 300, 26, 26, 26, 2);

  // One particle with no spread sits at the origin, in the middle of the screen; two of them
  // add up.
  TParticles two;
  two.A = folder + "/dot.tga";
  two.E = 2;
  two.S = 20;
  two.Load();
  Clear(0.1f);
  RenderWithInput(two, 1);
  ExpectPixel(400, 300, 26 + 200, 26 + 100, 26 + 50, 2);
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  // Size input 0 x S: at input 0 the sprites have no area.
  Clear(0.1f);
  RenderWithInput(two, 0);
  ExpectPixel(400, 300, 26, 26, 26, 2);
}

TEST(PictureEffects, LoadingScreenQuadAt144And44OnBlack) {
  const std::string folder = MakeTempFolder();
  ASSERT_TRUE(WriteBmp24(folder + "/loading.bmp", FlatImage(64, 64, 255, 255, 255)));
  WriteTextFile(folder, "loading.vrp",
                "RESOLUTIONX 800\nRESOLUTIONY 600\nCOLORDEPTH 32\nCLEARCOLOR 255 0 0 255\n"
                "LOADINGSCREEN " + folder + "/loading.bmp\nINIT\nDRAWLOADING 1\n");
  SetDialogsEnabled(false);
  TVDemo demo(folder + "/loading.vrp");
  EXPECT_NE(demo.LoadingTexture, NoTexture);
  EXPECT_EQ(FindRegisteredTexture(folder + "/loading.bmp"), demo.LoadingTexture);
  ExpectPixel(143, 300, 0, 0, 0, 2);
  ExpectPixel(144, 300, 255, 255, 255, 2);
  ExpectPixel(655, 300, 255, 255, 255, 2);
  ExpectPixel(656, 300, 0, 0, 0, 2);
  ExpectPixel(400, 43, 0, 0, 0, 2);
  ExpectPixel(400, 44, 255, 255, 255, 2);
  ExpectPixel(400, 555, 255, 255, 255, 2);
  ExpectPixel(400, 556, 0, 0, 0, 2);
}
