// The 3D model effects on an 800 x 600 offscreen frame: "object" (flat colour, scale, spin,
// placement, the order and sign of its turns, the sphere-mapped environment pass and the state
// it leaves) and "pixelize" (the state it leaves, its overlay, and the batched grid drawing
// against the cell-by-cell one).
#include "common/ImageWriters.h"
#include "common/Models3DS.h"
#include "effects/EffectFactory.h"
#include "effects/ObjectEffect.h"
#include "effects/Pixelize.h"
#include "support/TestFrame.h"
#include "support/GlContext.h"
#include "support/PixelChecks.h"
#include "support/TestSystem.h"
#include "support/TestPictures.h"
#include "support/WorkingFolder.h"

#include <GL/glu.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <set>
#include <vector>

namespace {

// A box of the given half sizes (file coordinates, Z up), made from the generator's unit cube.
TModelMesh Box(float hx, float hy, float hz) {
  TModelMesh box = ModelFileMeshes("cube").at(0);
  for (auto& v : box.Vertices) {
    v[0] *= 2 * hx;
    v[1] *= 2 * hy;
    v[2] *= 2 * hz;
  }
  return box;
}

using TPoint = std::array<float, 3>;

// The mesh with every vertex moved by f, which takes and gives engine coordinates (Y up: the
// file's (x, y, z) is the engine's (x, z, -y)).
template <class F>
TModelMesh Moved(TModelMesh mesh, F f) {
  for (auto& v : mesh.Vertices) {
    const TPoint e = f(TPoint{v[0], v[2], -v[1]});
    v = {e[0], -e[2], e[1]};
  }
  return mesh;
}

// A right-handed turn by the given degrees about axis 0 (x), 1 (y) or 2 (z), as glRotatef's.
TPoint Turn(TPoint v, int axis, float degrees) {
  const float radians = degrees * 3.14159265f / 180, c = std::cos(radians), s = std::sin(radians);
  const int i = (axis + 1) % 3, j = (axis + 2) % 3;
  const float a = v[i], b = v[j];
  v[i] = c * a - s * b;
  v[j] = s * a + c * b;
  return v;
}

std::string WriteModel(const std::string& folder, const std::string& name,
                       const std::vector<TModelMesh>& meshes) {
  WriteBytesTo(folder + "/" + name, Model3DSBytes(meshes));
  return folder + "/" + name;
}

// The bounding box (x0, y0, x1, y1) of the pixels whose colour is not the black clear colour.
std::array<int, 4> CoveredBox(const std::vector<uint8_t>& frame) {
  std::array<int, 4> box = {800, 600, -1, -1};
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x) {
      const uint8_t* p = &frame[(static_cast<size_t>(y) * 800 + static_cast<size_t>(x)) * 4];
      if (p[0] + p[1] + p[2] == 0) continue;
      box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x), std::max(box[3], y)};
    }
  return box;
}

// Share of pixels whose channels differ by more than 8 levels.
double ShareOfDifferentPixels(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  size_t different = 0;
  for (size_t i = 0; i + 3 < a.size(); i += 4)
    for (size_t c = 0; c < 3; ++c)
      if (std::abs(int(a[i + c]) - int(b[i + c])) > 8) {
        ++different;
        break;
      }
  return static_cast<double>(different) / static_cast<double>(a.size() / 4);
}

// Resets what the effects leave behind so that each render starts from the same state.
void ResetState() {
  // The window's depth test, which the 2D drawing of other tests may have left off.
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
  glDisable(GL_LIGHTING);
  glDisable(GL_CULL_FACE);
  glDisable(GL_BLEND);
  glDisable(GL_TEXTURE_2D);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, 800.0 / 600.0, 1.0, 100000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

std::unique_ptr<T3DObject> LoadObject(const std::string& model, float s, int e, int f, int g) {
  auto object = std::make_unique<T3DObject>();
  object->A = model;
  object->S = s;
  object->E = e;
  object->F = f;
  object->G = g;
  return object;
}

std::vector<uint8_t> RenderObject(T3DObject& object, float barTime) {
  ResetState();
  ClearTestFrame(0, 0, 0);
  TestFrame.BarTime = barTime;
  RenderWithInput(object, 0);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  return ReadTestFrame();
}

// A pixelize effect loaded from a folder holding the duck, the overlay pictures and this cell
// model as "boxpixel.3ds".
std::unique_ptr<TVEffect> LoadPixelize(const std::string& folder, const TModelMesh& cell) {
  std::string error;
  EXPECT_TRUE(WriteModelFile("duck", folder + "/duck.3ds", error)) << error;
  EXPECT_TRUE(WriteJpeg(folder + "/hvit.jpg", FlatImage(16, 16, 255, 0, 0)));
  EXPECT_TRUE(WriteJpeg(folder + "/inyourface.jpg", FlatImage(16, 16, 255, 255, 255), 95, true));
  WriteModel(folder, "boxpixel.3ds", {cell});
  WorkingFolder here(folder);
  return CreateEffect("pixelize");
}

// One pixelize frame, the grid drawn in one batch or cell by cell; `before` runs first, in the
// state a frame starts with.
template <typename Before>
std::vector<uint8_t> RenderPixelize(TPixelize& pixelize, bool cellByCell, float barTime, Before before) {
  pixelize.DrawCellByCell = cellByCell;
  ResetState();
  ClearTestFrame(0, 0, 0);
  TestFrame.BarTime = barTime;
  before();
  RenderWithInput(pixelize, 0);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  return ReadTestFrame();
}

}  // namespace

TEST(ObjectEffect, FlatColourScaleAndSpin) {
  TestGlWindow();
  const std::string folder = MakeTempFolder();
  const std::string cube = WriteModel(folder, "cube.3ds", {Box(10, 10, 10)});
  auto object = LoadObject(cube, 0, 255, 128, 0);
  object->Load();
  ASSERT_TRUE(object->Brush);
  ASSERT_FALSE(object->LoadFailed);
  EXPECT_EQ(object->TextureMode, 0);

  // The cube at the origin fills the middle of the frame in its flat colour, nothing else.
  std::vector<uint8_t> frame = RenderObject(*object, 0);
  ExpectPixel(400, 300, 255, 128, 0, 1);
  ExpectPixel(20, 20, 0, 0, 0, 0);
  const std::array<int, 4> full = CoveredBox(frame);
  ASSERT_GT(full[2], full[0]);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));

  // S 50 (0.5) halves the picture of the cube in both directions.
  auto half = LoadObject(cube, 0.5f, 255, 128, 0);
  half->Load();
  const std::array<int, 4> halved = CoveredBox(RenderObject(*half, 0));
  EXPECT_NEAR(halved[2] - halved[0], (full[2] - full[0]) / 2.0, 3);
  EXPECT_NEAR(halved[3] - halved[1], (full[3] - full[1]) / 2.0, 3);

  // VY 90: after one second of its bar a box along x looks like the same box along z.
  const std::string alongX = WriteModel(folder, "x.3ds", {Box(20, 4, 4)});
  // File coordinates are Z up: the file's y axis becomes the engine's -z.
  const std::string alongZ = WriteModel(folder, "z.3ds", {Box(4, 20, 4)});
  auto spinning = LoadObject(alongX, 0, 200, 200, 200);
  spinning->VY = 90;
  spinning->Load();
  auto turned = LoadObject(alongZ, 0, 200, 200, 200);
  turned->Load();
  const std::vector<uint8_t> afterOneSecond = RenderObject(*spinning, 1.0f);
  const std::vector<uint8_t> expected = RenderObject(*turned, 0.0f);
  const std::vector<uint8_t> atStart = RenderObject(*spinning, 0.0f);
  EXPECT_LT(ShareOfDifferentPixels(afterOneSecond, expected), 0.002);
  EXPECT_GT(ShareOfDifferentPixels(atStart, expected), 0.01);
}

TEST(ObjectEffect, EnvironmentPassLeavesAdditiveBlendingAndAFailedModelDrawsNothing) {
  TestGlWindow();
  const std::string folder = MakeTempFolder();
  const std::string cube = WriteModel(folder, "cube.3ds", {Box(10, 10, 10)});
  ASSERT_TRUE(WriteBmp24(folder + "/base.bmp", FlatImage(8, 8, 100, 0, 0)));
  ASSERT_TRUE(WriteBmp24(folder + "/env.bmp", FlatImage(8, 8, 0, 0, 120)));
  auto object = LoadObject(cube, 0, 0, 0, 0);
  object->B = folder + "/base.bmp";
  object->C = folder + "/env.bmp";
  object->Load();
  EXPECT_EQ(object->TextureMode, 2);
  RenderObject(*object, 0.25f);
  // The base picture with the environment picture added on the same surfaces.
  ExpectPixel(400, 300, 100, 0, 120, 2);
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  GLint source = 0, destination = 0;
  glGetIntegerv(GL_BLEND_SRC, &source);
  glGetIntegerv(GL_BLEND_DST, &destination);
  EXPECT_EQ(source, GL_ONE);
  EXPECT_EQ(destination, GL_ONE);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));

  // A model that is not there: one script error naming it, marked as failed, nothing drawn.
  auto missing = LoadObject(folder + "/nothing.3ds", 0, 255, 255, 255);
  missing->Load();
  EXPECT_TRUE(missing->LoadFailed);
  EXPECT_FALSE(missing->Brush);
  const std::array<int, 4> box = CoveredBox(RenderObject(*missing, 0));
  EXPECT_EQ(box[2], -1);
}

TEST(ObjectEffect, PlacementTurnOrderAndSphereMappedEnvironment) {
  TestGlWindow();
  const std::string folder = MakeTempFolder();
  // An off-centre block of three different sizes: no turn about the origin maps it onto itself.
  const TModelMesh block =
      Moved(Box(20, 10, 5), [](const TPoint& v) { return TPoint{v[0] + 14, v[1] + 6, v[2] - 3}; });
  // The block (moved by f) drawn grey, placed at `at` and spinning at `spin`.
  const auto grey = [&](const std::string& name, auto f, TVec3 at, TVec3 spin) {
    auto object = LoadObject(WriteModel(folder, name, {Moved(block, f)}), 0, 220, 220, 220);
    object->X = at.X, object->Y = at.Y, object->Z = at.Z;
    object->VX = spin.X, object->VY = spin.Y, object->VZ = spin.Z;
    object->Load();
    return object;
  };
  const auto same = [](const TPoint& v) { return v; };

  // X, Y, Z move the model along the engine's axes.
  const std::vector<uint8_t> expectedPlace = RenderObject(
      *grey("moved.3ds", [](const TPoint& v) { return TPoint{v[0] + 7, v[1] - 5, v[2] + 11}; },
            {0, 0, 0}, {0, 0, 0}),
      0);
  auto placed = grey("block.3ds", same, {7, -5, 11}, {0, 0, 0});
  EXPECT_LT(ShareOfDifferentPixels(RenderObject(*placed, 0), expectedPlace), 0.002);
  EXPECT_GT(ShareOfDifferentPixels(RenderObject(*grey("block.3ds", same, {0, 0, 0}, {0, 0, 0}), 0),
                                   expectedPlace),
            0.01);

  // Half a second at spins (40, -70, 110): the model turned 55 degrees about z, then -35 about
  // y, then 20 about x.
  const std::vector<uint8_t> expectedTurn = RenderObject(
      *grey("turned.3ds", [](const TPoint& v) { return Turn(Turn(Turn(v, 2, 55), 1, -35), 0, 20); },
            {0, 0, 0}, {0, 0, 0}),
      0);
  auto spinning = grey("block.3ds", same, {0, 0, 0}, {40, -70, 110});
  EXPECT_LT(ShareOfDifferentPixels(RenderObject(*spinning, 0.5f), expectedTurn), 0.002);
  EXPECT_GT(ShareOfDifferentPixels(RenderObject(*spinning, 0), expectedTurn), 0.01);

  // The environment pass is sphere-mapped: over a black base, a gradient picture shows in many
  // shades although every vertex has the same texture coordinate.
  TModelMesh oneCoordinate = block;
  oneCoordinate.TexCoords.assign(oneCoordinate.Vertices.size(), {0.1f, 0.1f});
  TImageRGBA gradient = FlatImage(64, 64, 0, 0, 0);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      gradient.Pixels[(y * 64 + x) * 4] = static_cast<uint8_t>(4 * x);
      gradient.Pixels[(y * 64 + x) * 4 + 1] = static_cast<uint8_t>(4 * y);
    }
  ASSERT_TRUE(WriteBmp24(folder + "/black.bmp", FlatImage(8, 8, 0, 0, 0)));
  ASSERT_TRUE(WriteBmp24(folder + "/gradient.bmp", gradient));
  auto shiny = LoadObject(WriteModel(folder, "shiny.3ds", {oneCoordinate}), 0, 0, 0, 0);
  shiny->B = folder + "/black.bmp";
  shiny->C = folder + "/gradient.bmp";
  shiny->Load();
  const std::vector<uint8_t> frame = RenderObject(*shiny, 0);
  std::set<int> shades;
  for (size_t i = 0; i < frame.size(); i += 4)
    if (frame[i] || frame[i + 1]) shades.insert(frame[i] << 8 | frame[i + 1]);
  EXPECT_GT(shades.size(), 50u);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
}

TEST(PixelizeEffect, StateOverlayAndTheBatchedGridMatchesCellByCell) {
  TestGlWindow();
  std::unique_ptr<TVEffect> created = LoadPixelize(MakeTempFolder(), ModelFileMeshes("cube").at(0));
  auto* pixelize = dynamic_cast<TPixelize*>(created.get());
  ASSERT_NE(pixelize, nullptr);
  ASSERT_FALSE(pixelize->LoadFailed);
  ASSERT_TRUE(pixelize->ModelMesh);

  std::fill(std::begin(TestSpectrum), std::end(TestSpectrum), 0.0f);
  auto render = [&](bool cellByCell, float barTime) {
    return RenderPixelize(*pixelize, cellByCell, barTime, [] {});
  };
  for (float barTime : {0.0f, 0.7f, 2.3f}) {
    const std::vector<uint8_t> batched = render(false, barTime);
    const size_t cells = static_cast<size_t>(CountSetCells(*pixelize->Grid));
    EXPECT_LT(pixelize->Batch().Indices.size(), cells * 12 * 3 / 2) << "faces between cells are left out";
    const std::vector<uint8_t> single = render(true, barTime);
    EXPECT_GT(CoveredBox(batched)[2], 0) << "the duck's cubes are drawn";
    EXPECT_LE(ShareOfDifferentPixels(batched, single), 0.005) << barTime;
  }

  // Culling and the yellow light stay on.
  EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
  EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  GLfloat ambient[4], diffuse[4];
  glGetLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
  glGetLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
  EXPECT_EQ(std::vector<float>(ambient, ambient + 4), (std::vector<float>{1, 1, 0, 1}));
  EXPECT_EQ(std::vector<float>(diffuse, diffuse + 4), (std::vector<float>{4, 4, 0, 1}));

  // The overlay covers x 0..511, y 88..599: invisible with a silent band 2, opaque at 1/30.
  std::vector<uint8_t> silent = render(false, 0);
  const size_t corner = (static_cast<size_t>(590) * 800 + 5) * 4;
  EXPECT_EQ(silent[corner] + silent[corner + 1] + silent[corner + 2], 0);
  TestSpectrum[2] = 1.0f / 30.0f;
  std::vector<uint8_t> loud = render(false, 0);
  EXPECT_NEAR(loud[corner], 255, 2);
  EXPECT_NEAR(loud[corner + 1], 0, 2);
  TestSpectrum[2] = 0;
}

TEST(PixelizeEffect, BatchedGridMatchesCellByCellWithoutDepthTestAndForOtherCellModels) {
  TestGlWindow();
  std::fill(std::begin(TestSpectrum), std::end(TestSpectrum), 0.0f);
  const TModelMesh closed = ModelFileMeshes("cube").at(0);
  // The cube without its top (file Z up: the side at z = 0.5), and the cube wound inwards.
  TModelMesh open = closed, inward = closed;
  open.Faces.clear();
  for (const auto& face : closed.Faces)
    if (closed.Vertices[face[0]][2] + closed.Vertices[face[1]][2] + closed.Vertices[face[2]][2] < 1.4f)
      open.Faces.push_back(face);
  ASSERT_EQ(open.Faces.size(), closed.Faces.size() - 2);
  for (auto& face : inward.Faces) std::swap(face[1], face[2]);

  struct Case {
    const char* name;
    const TModelMesh* cell;
    bool depthTest;
  };
  for (const Case& c : {Case{"depth test off", &closed, false}, Case{"open box", &open, true},
                        Case{"inward box", &inward, true}}) {
    std::unique_ptr<TVEffect> created = LoadPixelize(MakeTempFolder(), *c.cell);
    auto* pixelize = dynamic_cast<TPixelize*>(created.get());
    ASSERT_NE(pixelize, nullptr) << c.name;
    ASSERT_FALSE(pixelize->LoadFailed) << c.name;
    // What an earlier "invertflash" in the frame leaves: the depth test off.
    auto before = [&] {
      if (!c.depthTest) glDisable(GL_DEPTH_TEST);
    };
    for (float barTime : {0.7f, 2.3f}) {
      const std::vector<uint8_t> batched = RenderPixelize(*pixelize, false, barTime, before);
      const std::vector<uint8_t> single = RenderPixelize(*pixelize, true, barTime, before);
      EXPECT_GT(CoveredBox(batched)[2], 0) << c.name;
      EXPECT_LE(ShareOfDifferentPixels(batched, single), 0.005) << c.name << " at " << barTime;
    }
  }
}
