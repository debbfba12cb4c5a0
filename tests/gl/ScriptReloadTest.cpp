// Reading the script again on a real context: unchanged pictures keep their textures, a changed
// picture (or JPEG pair) is loaded again and its old texture freed once nothing draws it, the
// sample production reloads without reading its pictures and models again, and INIT and
// DRAWLOADING leave the window as it is.
#include "authoring/ScriptReload.h"
#include "demo/Vorpane.h"
#include "effects/ModelLoading.h"
#include "effects/TextureEffects.h"
#include "engine/KGL2Textures.h"
#include "engine/PairTextures.h"
#include "platform/Dialogs.h"
#include "support/TestFrame.h"
#include "support/GlContext.h"
#include "support/PixelChecks.h"
#include "support/TestSystem.h"
#include "support/SampleProduction.h"
#include "support/TestPictures.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <unistd.h>

namespace {

uint32_t TextureOfSlot(const TVDemo& demo, size_t slot) {
  const auto* effect = dynamic_cast<const TPlainTexture*>(demo.EffectSlots.at(slot));
  return effect ? effect->Texture : NoTexture;
}

// Gives a rewritten file a modification time of its own (a rewrite of the same size within the
// file system's time resolution would otherwise look unchanged).
void MarkRewritten(const std::string& path) {
  ASSERT_TRUE(SetModifiedTime(path, 2000000000)) << path;
}

// A texture replaced by a new one: the new one exists, the old one has been deleted.
void ExpectReplaced(uint32_t now, uint32_t before) {
  EXPECT_NE(now, before);
  EXPECT_TRUE(glIsTexture(now));
  EXPECT_FALSE(glIsTexture(before));
}

void WriteFlatPng(const std::string& path, uint8_t r, uint8_t g, uint8_t b) {
  ASSERT_TRUE(WritePng(path, FlatImage(16, 16, r, g, b), TPngKind::Rgb));
}

}  // namespace

TEST(ScriptReloadGl, KeepsTimeAndReusesUnchangedTexturesAndFreesReplacedOnes) {
  TestGlWindow();
  const std::string folder = MakeTempFolder();
  WriteFlatPng(folder + "/pic.png", 255, 0, 0);
  ASSERT_TRUE(WriteJpeg(folder + "/c.jpg", FlatImage(16, 16, 0, 0, 255)));
  ASSERT_TRUE(WriteJpeg(folder + "/a.jpg", FlatImage(16, 16, 255, 255, 255)));
  const std::string script = "TRACKER\nBPM 125\n"
                             "LOAD plaintexture 0\nA " + folder + "/pic.png\nW 800\nH 600\n"
                             "LOAD plaintexture 1\nA " + folder + "/c.jpg\nB " + folder + "/a.jpg\n"
                             "LOAD plaintexture 2\nA " + folder + "/c.jpg\nB " + folder + "/a.jpg\n"
                             "BAR b\nMOUNT 0\nLENGTH 64\nEFFECT 0\n";
  WriteTextFile(folder, "test.vrp", script);
  TVDemo demo(folder + "/test.vrp");
  const uint32_t picture = TextureOfSlot(demo, 0);
  const uint32_t pair = TextureOfSlot(demo, 1);
  const uint32_t otherPair = TextureOfSlot(demo, 2);  // each effect has a pair texture of its own
  ASSERT_NE(picture, NoTexture);
  ASSERT_NE(pair, NoTexture);
  ASSERT_NE(otherPair, pair);
  ClearTestFrame(0, 0, 0);
  RenderWithInput(*demo.EffectSlots[0], 0);
  ExpectPixel(400, 300, 255, 0, 0, 2);
  demo.Time = 7.25f;

  // Unchanged files: the same textures, nothing uploaded.
  int uploads = TextureUploadCount();
  std::string message;
  ASSERT_TRUE(ReloadScript(demo, message)) << message;
  EXPECT_EQ(TextureOfSlot(demo, 0), picture);
  EXPECT_EQ(TextureOfSlot(demo, 1), pair);
  EXPECT_EQ(TextureOfSlot(demo, 2), otherPair);
  EXPECT_FLOAT_EQ(demo.Time, 7.25f);
  EXPECT_EQ(TextureUploadCount(), uploads);

  // The picture rewritten (same size, so the modification time tells): a new texture, drawn
  // at once; the old one is freed since nothing draws it any more.
  WriteFlatPng(folder + "/pic.png", 0, 255, 0);
  MarkRewritten(folder + "/pic.png");
  ASSERT_TRUE(ReloadScript(demo, message)) << message;
  const uint32_t changed = TextureOfSlot(demo, 0);
  ExpectReplaced(changed, picture);
  EXPECT_EQ(TextureOfSlot(demo, 1), pair);
  EXPECT_EQ(TextureUploadCount(), uploads + 1);
  ClearTestFrame(0, 0, 0);
  RenderWithInput(*demo.EffectSlots[0], 0);
  ExpectPixel(400, 300, 0, 255, 0, 2);

  // One file of the pair changed: a new pair texture, the old one freed.
  ASSERT_TRUE(WriteJpeg(folder + "/a.jpg", FlatImage(16, 16, 0, 0, 0)));
  MarkRewritten(folder + "/a.jpg");
  ASSERT_TRUE(ReloadScript(demo, message)) << message;
  const uint32_t newPair = TextureOfSlot(demo, 1);
  ExpectReplaced(newPair, pair);
  ExpectReplaced(TextureOfSlot(demo, 2), otherPair);
  EXPECT_NE(TextureOfSlot(demo, 2), newPair);
  EXPECT_EQ(TextureOfSlot(demo, 0), changed);
  EXPECT_EQ(PairTextureCount(), 2u);

  // Many reloads of a long session hold on to no more textures than one.
  GLint count = 0;
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(ReloadScript(demo, message)) << message;
  for (GLuint name = 1; name < 4096; ++name) count += glIsTexture(name) ? 1 : 0;
  const GLint afterFive = count;
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(ReloadScript(demo, message)) << message;
  count = 0;
  for (GLuint name = 1; name < 4096; ++name) count += glIsTexture(name) ? 1 : 0;
  EXPECT_EQ(count, afterFive);
  EXPECT_EQ(ErrorBoxCount(), 0);
}

TEST(ScriptReloadGl, InitAndDrawLoadingOnReloadOpenNothingAndReportNothing) {
  TestGlWindow();
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "test.vrp",
                "RESOLUTIONX 320\nRESOLUTIONY 200\nINIT\nCLEARCOLOR 0 0 255 255\n");
  auto demo = std::make_unique<TVDemo>(folder + "/test.vrp");
  SDL_Window* const window = demo->Window.Wnd;
  ASSERT_NE(window, nullptr);
  WriteTextFile(folder, "test.vrp",
                "RESOLUTIONX 640\nRESOLUTIONY 480\nINIT\nDRAWLOADING 1\nCLEARCOLOR 0 255 0 255\n");
  // DRAWLOADING would draw the loading screen and present it: the frame stays as it was.
  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  std::string message;
  ASSERT_TRUE(ReloadScript(*demo, message)) << message;
  EXPECT_EQ(message, "");
  EXPECT_EQ(ErrorBoxCount(), 0);
  EXPECT_EQ(demo->Window.Wnd, window);
  EXPECT_EQ(CurrentWindow.Wnd, window);
  int width = 0, height = 0;
  SDL_GetWindowSize(window, &width, &height);
  EXPECT_EQ(width, 320);
  EXPECT_EQ(height, 200);
  EXPECT_FLOAT_EQ(demo->ClearColor[1], 1.0f);
  std::vector<uint8_t> pixel(4);
  glReadPixels(10, 10, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel.data());
  EXPECT_EQ(pixel[0], 255);
  EXPECT_EQ(pixel[2], 0);
  CloseRenderWindow(demo->Window, false);
}

TEST(ScriptReloadGl, TheSampleProductionReloadsWithoutReadingItsPicturesAndModelsAgain) {
  TestGlWindow();
  const std::string production = MirrorSampleProduction();
  ASSERT_FALSE(production.empty());
  ASSERT_EQ(::chdir(production.c_str()), 0);
  TDemoOptions options;
  options.FixedStep = true;
  TVDemo demo("moltrax.vrp", options);
  demo.RenderFrame();
  const size_t bars = demo.Bars.size();
  const int uploads = TextureUploadCount();
  const int modelReads = ModelFileReadCount();
  const uint32_t music = demo.Music;
  std::vector<double> milliseconds;
  for (int i = 0; i < 7; ++i) {
    const auto start = std::chrono::steady_clock::now();
    std::string message;
    ASSERT_TRUE(ReloadScript(demo, message)) << message;
    const auto took = std::chrono::steady_clock::now() - start;
    milliseconds.push_back(std::chrono::duration<double, std::milli>(took).count());
    EXPECT_EQ(message, "");
    demo.RenderFrame();
  }
  EXPECT_EQ(demo.Bars.size(), bars);
  EXPECT_EQ(demo.Music, music);
  EXPECT_EQ(TextureUploadCount(), uploads);
  EXPECT_EQ(ModelFileReadCount(), modelReads);
  EXPECT_EQ(ErrorBoxCount(), 0);
  std::sort(milliseconds.begin(), milliseconds.end());
  std::printf("sample production reload: median %.1f ms (min %.1f, max %.1f)\n", milliseconds[3],
              milliseconds.front(), milliseconds.back());
}
