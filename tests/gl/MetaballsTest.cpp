// The metaball effect ("fuck", also "metaballs") on an 800 x 600 offscreen frame: the pictures
// it adds with a silent spectrum, the surface drawn over them, the camera that stays put until
// spectrum value 2 moves it, the picture switch on spectrum value 1, and the surface's two
// drawing paths (their times are printed). Also the voxel grid drawn with one mesh per cell.
#include "effects/EffectFactory.h"
#include "effects/Metaballs.h"
#include "effects/VoxelGrid.h"
#include "engine/KGL2Classes.h"
#include "engine/KGL2Materials.h"
#include "engine/KGL2Textures.h"
#include "support/TestFrame.h"
#include "support/GlContext.h"
#include "support/PixelChecks.h"
#include "support/TestSystem.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 800, kHeight = 600;

// Picture n is one solid colour, all different and dark enough that two added layers stay
// below 255.
TPixel PictureColour(int n) {
  return {static_cast<uint8_t>(4 * n), static_cast<uint8_t>(140 - 3 * n),
          static_cast<uint8_t>((n * 23) % 100 + 20), 255};
}

// Creates the effect inside a folder holding 1.jpg .. 39.jpg, as the LOAD line would.
std::unique_ptr<TVEffect> CreateInPictureFolder(const std::string& type) {
  TestGlWindow();
  const std::string folder = MakeTempFolder();
  for (int n = 1; n <= kMetaballImageCount; ++n) {
    const TPixel c = PictureColour(n);
    EXPECT_TRUE(WriteJpeg(folder + "/" + std::to_string(n) + ".jpg", FlatImage(16, 16, c.r, c.g, c.b), 100));
  }
  TextureRegistry.clear();  // the names are short and other tests may have used them
  char before[4096];
  EXPECT_NE(getcwd(before, sizeof before), nullptr);
  EXPECT_EQ(chdir(folder.c_str()), 0);
  std::unique_ptr<TVEffect> effect = CreateEffect(type);
  EXPECT_EQ(chdir(before), 0);
  return effect;
}

void Silence() { std::fill(std::begin(TestSpectrum), std::end(TestSpectrum), 0.0f); }

int CountNear(const std::vector<uint8_t>& frame, int r, int g, int b, int tolerance) {
  int count = 0;
  for (size_t i = 0; i < frame.size(); i += 4)
    count += std::abs(frame[i] - r) <= tolerance && std::abs(frame[i + 1] - g) <= tolerance &&
             std::abs(frame[i + 2] - b) <= tolerance;
  return count;
}

void RenderFrame(TVEffect& effect) {
  ClearTestFrame(0, 0, 0);
  RenderWithInput(effect, 0);
}

}  // namespace

TEST(Metaballs, SilentSpectrumShowsPictureNineUnderTheSurfaceAndKeepsTheCamera) {
  std::unique_ptr<TVEffect> created = CreateInPictureFolder("fuck");
  auto* effect = dynamic_cast<TFuck*>(created.get());
  ASSERT_NE(effect, nullptr);
  EXPECT_EQ(effect->CurrentImage, 9);
  EXPECT_EQ(effect->Images[0], 0u);
  for (int n = 1; n <= kMetaballImageCount; ++n) EXPECT_NE(effect->Images[n], NoTexture) << n;
  ASSERT_TRUE(effect->Field);
  EXPECT_EQ(effect->Field->Size, 50);

  Silence();
  TestFrame.FrameTime = 1.0f / 60;
  // |40 sin t| = 5: the third layer adds 0.3 x picture 5.
  const float t0 = std::asin(5.0f / 40.0f);
  const TPixel nine = PictureColour(9), five = PictureColour(5);
  const int r = nine.r + static_cast<int>(0.3 * five.r), g = nine.g + static_cast<int>(0.3 * five.g),
            b = nine.b + static_cast<int>(0.3 * five.b);
  for (int frame = 0; frame < 4; ++frame) {
    TestFrame.BarTime = frame == 0 ? t0 : t0 + 0.25f * frame;
    RenderFrame(*effect);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_EQ(effect->CurrentImage, 9);
    EXPECT_EQ(effect->Eye.X, 1.0f);
    EXPECT_EQ(effect->Eye.Y, 1.0f);
    EXPECT_EQ(effect->Eye.Z, 1.0f);
    if (frame > 0) continue;
    // Between the balls the added pictures show; the surface is sphere-mapped with picture 9
    // and replaces what lies under it. Nothing else is on screen.
    const std::vector<uint8_t> pixels = ReadTestFrame();
    const int background = CountNear(pixels, r, g, b, 4);
    const int surface = CountNear(pixels, nine.r, nine.g, nine.b, 4);
    EXPECT_GT(background, kWidth * kHeight / 20);
    EXPECT_GT(surface, kWidth * kHeight / 50);
    EXPECT_GT(background + surface, kWidth * kHeight * 95 / 100);
  }
}

TEST(Metaballs, SpectrumSwingsTheCameraAndSwitchesThePicture) {
  std::unique_ptr<TVEffect> created = CreateInPictureFolder("metaballs");
  auto* effect = dynamic_cast<TFuck*>(created.get());
  ASSERT_NE(effect, nullptr);

  Silence();
  TestFrame.FrameTime = 0.02f;
  TestFrame.BarTime = 1.0f;
  TestSpectrum[2] = 0.5f;  // s = 1 degree per unit of sine
  RenderFrame(*effect);
  TVec3 expected = {1, 1, 1};
  RotatePointXYZ(expected, {std::sin(1.0f), std::sin(1.2f), std::sin(1.6f)});
  EXPECT_FLOAT_EQ(effect->Eye.X, expected.X);
  EXPECT_FLOAT_EQ(effect->Eye.Y, expected.Y);
  EXPECT_FLOAT_EQ(effect->Eye.Z, expected.Z);
  RenderFrame(*effect);  // the swing accumulates
  RotatePointXYZ(expected, {std::sin(1.0f), std::sin(1.2f), std::sin(1.6f)});
  EXPECT_FLOAT_EQ(effect->Eye.X, expected.X);
  EXPECT_FLOAT_EQ(effect->Eye.Z, expected.Z);

  // Above 0.14 in band 1 a random picture is drawn from the shared generator.
  TestSpectrum[2] = 0;
  TestSpectrum[1] = 0.15f;
  RandomSeed = 12345;
  const int32_t chosen = MetaballImageIndex(static_cast<double>(UniformRandom() * 39 + 1));
  RandomSeed = 12345;
  TestFrame.BarTime = 0;  // third layer: index 0, texture name 0, an untextured 0.3 grey
  RenderFrame(*effect);
  EXPECT_EQ(effect->CurrentImage, chosen);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  const TPixel c = PictureColour(chosen);
  const std::vector<uint8_t> pixels = ReadTestFrame();
  const int background = CountNear(pixels, c.r + 77, c.g + 77, c.b + 77, 4);
  const int surface = CountNear(pixels, c.r, c.g, c.b, 4);
  EXPECT_GT(background, kWidth * kHeight / 20);
  EXPECT_GT(surface, kWidth * kHeight / 50);
  EXPECT_GT(background + surface, kWidth * kHeight * 95 / 100);
  TestSpectrum[1] = 0.14f;  // at the threshold nothing changes
  const uint32_t seed = RandomSeed;
  RenderFrame(*effect);
  EXPECT_EQ(RandomSeed, seed);
  EXPECT_EQ(effect->CurrentImage, chosen);
}

// Arrays in the default cube order, arrays from the far ends, and vertex by vertex: the same
// pixels, and the same current normal and texture coordinate left behind.
TEST(Metaballs, ArrayAndImmediateSurfacesDrawTheSamePixels) {
  std::unique_ptr<TVEffect> created = CreateInPictureFolder("fuck");
  auto* effect = dynamic_cast<TFuck*>(created.get());
  ASSERT_NE(effect, nullptr);
  Silence();
  TestFrame.BarTime = 3.7f;
  RenderFrame(*effect);  // fills the field and its normals, sets the camera
  // A texture whose every texel differs, so that texture coordinates show in the pixels.
  const TImageRGBA pattern = PatternImage(64, 64);
  const std::vector<uint8_t> rgb = BottomRowFirst(pattern, 3);
  const uint32_t texture = UploadTexture(64, 64, GL_RGB, rgb.data());
  for (bool sphereMap : {true, false}) {
    std::vector<uint8_t> frames[3];
    std::vector<double> ms[3];
    GLfloat left[3][7];  // normal, texture coordinate
    for (int round = 0; round < 7; ++round)
      for (int path = 0; path < 3; ++path) {
        ClearTestFrame(0, 0, 0);
        ApplyTexture(texture);
        glDisable(GL_LIGHTING);
        if (sphereMap) EnableSphereMap();
        glNormal3f(7, 8, 9);
        glTexCoord2f(5, 6);
        glFinish();
        const auto start = std::chrono::steady_clock::now();
        if (path == 0)
          effect->Field->DrawSurface();
        else if (path == 1)
          effect->Field->DrawSurfaceImmediate();
        else
          effect->Field->DrawSurface(TCubeOrder{true, true, true});
        glFinish();
        ms[path].push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        DisableSphereMap();
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        if (round == 0) frames[path] = ReadTestFrame();
        // Each path leaves the last vertex's normal and texture coordinate current.
        glGetFloatv(GL_CURRENT_NORMAL, left[path]);
        glGetFloatv(GL_CURRENT_TEXTURE_COORDS, left[path] + 3);
      }
    EXPECT_NE(left[1][0], 7.0f);
    EXPECT_NE(left[1][3], 5.0f);
    for (int i = 0; i < 7; ++i) {
      EXPECT_EQ(left[0][i], left[1][i]) << i;
      EXPECT_EQ(left[2][i], left[1][i]) << i;
    }
    for (auto& times : ms) std::sort(times.begin(), times.end());
    int off = 0, offReversed = 0, drawn = 0;
    for (size_t i = 0; i < frames[0].size(); i += 4) {
      int worst = 0, worstReversed = 0;
      for (int k = 0; k < 3; ++k) {
        worst = std::max(worst, std::abs(frames[0][i + k] - frames[1][i + k]));
        worstReversed = std::max(worstReversed, std::abs(frames[2][i + k] - frames[1][i + k]));
      }
      off += worst > 8;
      offReversed += worstReversed > 8;
      drawn += frames[0][i] || frames[0][i + 1] || frames[0][i + 2];
    }
    EXPECT_LE(offReversed, kWidth * kHeight / 200);
    std::printf("surface (sphere map %d): median arrays %.2f ms, immediate %.2f ms, %d pixels off\n",
                sphereMap, ms[0][3], ms[1][3], off);
    EXPECT_GT(drawn, kWidth * kHeight / 10);
    EXPECT_LE(off, kWidth * kHeight / 200);
  }
  // The arrays are not left enabled for code that draws vertex by vertex.
  EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
  EXPECT_FALSE(glIsEnabled(GL_NORMAL_ARRAY));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
}

// The picture layers drawn after the surface where the stencil is clear give the frame and the
// state that drawing them first, under the surface, gives; whatever state the bar before left.
TEST(Metaballs, LayersAroundTheSurfaceMatchLayersUnderIt) {
  std::unique_ptr<TVEffect> created = CreateInPictureFolder("metaballs");
  auto* effect = dynamic_cast<TFuck*>(created.get());
  ASSERT_NE(effect, nullptr);
  GLint stencilBits = 0;
  glGetIntegerv(GL_STENCIL_BITS, &stencilBits);
  ASSERT_GT(stencilBits, 0) << "the window has no stencil buffer; the masked layers never run";
  Silence();
  // The surface shows a picture whose every texel differs, so that a surface drawn in another
  // order or from another eye shows in the pixels; the layers stay one colour each.
  const TImageRGBA pattern = PatternImage(64, 64);
  const std::vector<uint8_t> rgb = BottomRowFirst(pattern, 3);
  effect->Images[effect->CurrentImage] = UploadTexture(64, 64, GL_RGB, rgb.data());
  // Opaque pictures (JPEGs and RGB), so the one pass is taken where it is asked for.
  for (int n = 1; n <= kMetaballImageCount; ++n) ASSERT_TRUE(TextureIsOpaque(effect->Images[n])) << n;
  TestSpectrum[3] = 0.012f;  // the second layer at 0.6 brightness ...
  TestSpectrum[4] = 0.4f;    // ... shifted by 0.4 pixels
  TestFrame.FrameTime = 1.0f / 60;
  for (float barTime : {0.3f, 1.9f, 4.4f}) {
    // Under the surface and around it, both in one pass; then around it quad by quad.
    std::vector<uint8_t> frames[3];
    GLfloat projection[3][16];
    for (int around = 0; around < 3; ++around) {
      effect->LayersAroundSurface = around >= 1;
      effect->LayersInOnePass = around <= 1;
      TestFrame.BarTime = barTime;
      ClearTestFrame(0, 0, 0);
      // What a bar before might leave: blending on, no depth test, a flat projection.
      glEnable(GL_BLEND);
      glBlendFunc(GL_ONE, GL_ONE);
      glDisable(GL_DEPTH_TEST);
      glMatrixMode(GL_PROJECTION);
      glLoadIdentity();
      glOrtho(0, 1, 0, 1, -1, 1);
      glMatrixMode(GL_MODELVIEW);
      glColor4f(0.2f, 0.5f, 0.9f, 1);
      effect->Render(TestFrame, nullptr);
      EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
      EXPECT_FALSE(glIsEnabled(GL_STENCIL_TEST));
      EXPECT_FALSE(glIsEnabled(GL_BLEND));
      EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
      EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
      GLint bound = 0;
      glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
      EXPECT_EQ(static_cast<uint32_t>(bound), effect->Images[effect->CurrentImage]);
      GLfloat colour[4];
      glGetFloatv(GL_CURRENT_COLOR, colour);
      EXPECT_EQ(colour[0] + colour[1] + colour[2] + colour[3], 4.0f);
      glGetFloatv(GL_PROJECTION_MATRIX, projection[around]);
      frames[around] = ReadTestFrame();
    }
    for (int i = 0; i < 16; ++i) EXPECT_EQ(projection[0][i], projection[1][i]) << i;
    int off = 0;
    std::set<uint32_t> colours;
    for (size_t i = 0; i < frames[1].size(); i += 4)
      colours.insert(frames[1][i] << 16 | frames[1][i + 1] << 8 | frames[1][i + 2]);
    for (size_t i = 0; i < frames[0].size(); i += 4) {
      int worst = 0;
      for (int k = 0; k < 3; ++k) worst = std::max(worst, std::abs(frames[0][i + k] - frames[1][i + k]));
      off += worst > 1;
    }
    EXPECT_EQ(off, 0) << "bar time " << barTime;
    // The quads round after each addition: at most two levels from the one pass.
    for (int i = 0; i < 16; ++i) EXPECT_EQ(projection[2][i], projection[1][i]) << i;
    int offByMoreThanTwo = 0;
    for (size_t i = 0; i < frames[2].size(); ++i)
      offByMoreThanTwo += std::abs(frames[2][i] - frames[1][i]) > 2;
    EXPECT_EQ(offByMoreThanTwo, 0) << "bar time " << barTime;
    EXPECT_GT(colours.size(), 1000u) << "bar time " << barTime;
  }
  Silence();
}

TEST(VoxelGridDrawing, OneMeshPerCellThatIsOn) {
  TestGlWindow();
  // A unit square in the z = 0 plane facing +z: one cell shows as one 10 x 10 pixel square
  // under a 10-pixels-per-cell orthographic view.
  std::vector<std::unique_ptr<TMeshDataNM>> meshes;
  meshes.push_back(std::make_unique<TMeshDataNM>());
  TMeshDataNM& square = *meshes.back();
  for (const TVec3& p : {TVec3{0, 0, 0}, TVec3{1, 0, 0}, TVec3{1, 1, 0}, TVec3{0, 1, 0}})
    square.AddVertex(p, {0, 0});
  square.Faces = {{0, 1, 2}, {0, 2, 3}};
  square.FaceCount = 2;
  square.Normals.assign(4, TVec3{0, 0, 1});

  auto grid = std::make_unique<T3DFramebuffer>();
  grid->Cells[2][3][0] = 1;
  grid->Cells[49][59 - 30][7] = 1;
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, 80, 0, 60, -100, 100);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_CULL_FACE);
  glColor4f(1, 1, 1, 1);
  ClearTestFrame(0, 0, 0);
  DrawGrid(*grid, meshes);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  const std::vector<uint8_t> pixels = ReadTestFrame();
  int lit = 0;
  for (size_t i = 0; i < pixels.size(); i += 4) lit += pixels[i] > 128;
  EXPECT_EQ(lit, 2 * 100);
  ExpectPixel(25, 35, 255, 255, 255, 2);   // cell (2, 3)
  ExpectPixel(495, 295, 255, 255, 255, 2); // cell (49, 29)
  ExpectPixel(15, 35, 0, 0, 0, 2);

  // No mesh: nothing drawn, no fault.
  ClearTestFrame(0, 0, 0);
  DrawGrid(*grid, {});
  EXPECT_EQ(CountNear(ReadTestFrame(), 255, 255, 255, 128), 0);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
}
