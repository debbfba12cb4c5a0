#include "effects/Metaballs.h"

#include "effects/Draw2D.h"
#include "engine/KGL2Materials.h"
#include "engine/KGL2Textures.h"

#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

// Points 0..49 per axis take values; the points with index 50 stay 0.
constexpr int32_t kLastValuePoint = kMetaballFieldSize - 1;
constexpr int32_t kBallReach = 6;          // box half-width in points
constexpr float kBallStrength = 17.0f;     // a lone ball reaches 1.0 at sqrt(17) cells
constexpr float kNearestDistanceSquared = 1e-12f;  // (1e-6 cells)^2
constexpr float kImageSwitchLevel = 0.14f;

// The box of points a ball reaches on one axis, cut at the grid's faces; empty (lo > hi) when
// the ball is far outside or not a finite number.
void BallRange(float centre, int32_t& lo, int32_t& hi) {
  lo = 1;
  hi = 0;
  if (!(std::fabs(centre) < 1e6f)) return;
  const int32_t nearest = static_cast<int32_t>(std::lrint(centre));
  lo = std::max(nearest - kBallReach, int32_t{0});
  hi = std::min(nearest + kBallReach, kLastValuePoint);
}

}  // namespace

void PlaceMetaballs(float t, TVec3 (&balls)[kMetaballCount]) {
  const double time = t;
  for (int i = 0; i < kMetaballCount; ++i)
    balls[i] = {static_cast<float>(25 + 20 * std::sin(time + 123.0 * i)),
                static_cast<float>(25 + 20 * std::sin(1.4 * time + 213.0 * i)),
                static_cast<float>(25 + 20 * std::sin(1.3 * time + 42.0 * i))};
}

void AccumulateMetaballs(TKGLScalarField& field, const TVec3* balls, int count) {
  for (int32_t x = 0; x <= kLastValuePoint; ++x)
    for (int32_t y = 0; y <= kLastValuePoint; ++y)
      for (int32_t z = 0; z <= kLastValuePoint; ++z) field.Points[x][y][z].Value = 0;
  for (int b = 0; b < count; ++b) {
    const TVec3& ball = balls[b];
    int32_t loX, hiX, loY, hiY, loZ, hiZ;
    BallRange(ball.X, loX, hiX);
    BallRange(ball.Y, loY, hiY);
    BallRange(ball.Z, loZ, hiZ);
    for (int32_t x = loX; x <= hiX; ++x) {
      const float dx = ball.X - static_cast<float>(x);
      for (int32_t y = loY; y <= hiY; ++y) {
        const float dy = ball.Y - static_cast<float>(y);
        for (int32_t z = loZ; z <= hiZ; ++z) {
          const float dz = ball.Z - static_cast<float>(z);
          const float d2 = std::max(dx * dx + dy * dy + dz * dz, kNearestDistanceSquared);
          field.Points[x][y][z].Value += kBallStrength / d2;
        }
      }
    }
  }
}

std::string MetaballImageName(int n) { return std::to_string(n) + ".jpg"; }

int32_t MetaballImageIndex(double v) {
  if (!(v > 0)) return 0;  // NaN and negative values as well
  if (v >= kMetaballImageCount) return kMetaballImageCount;
  return static_cast<int32_t>(std::nearbyint(v));
}

std::vector<TEffectFile> TFuck::CreationFiles() {
  std::vector<TEffectFile> files;
  for (int n = 1; n <= kMetaballImageCount; ++n)
    files.push_back(PictureFile(MetaballImageName(n), ""));
  return files;
}

TFuck::TFuck(const TReadContext& files) : TVEffect(NoBaseDefaults{}) {
  for (int n = 1; n <= kMetaballImageCount; ++n)
    Images[n] = TextureByName(MetaballImageName(n), files);
  CurrentImage = 9;
  Field = std::make_unique<TKGLScalarField>();
  Field->Size = kMetaballFieldSize;
  Field->SetupGrid();
  Eye = {1, 1, 1};
}

void TFuck::Advance(const TFrameContext& frame, const float*) {
  if (frame.Spectrum[1] > kImageSwitchLevel)
    CurrentImage = MetaballImageIndex(static_cast<double>(UniformRandom() * 39 + 1));
  const double t = frame.BarTime;
  const float swing = 100 * frame.FrameTime * frame.Spectrum[2];
  const TVec3 angles = {static_cast<float>(swing * std::sin(t)),
                        static_cast<float>(swing * std::sin(1.2 * t)),
                        static_cast<float>(swing * std::sin(1.6 * t))};
  RotatePointXYZ(Eye, angles);
}

void TFuck::Render(const TFrameContext& frame, const float* inputs) {
  const float t = frame.BarTime;
  PlaceMetaballs(t, Balls);
  AccumulateMetaballs(*Field, Balls, kMetaballCount);

  Advance(frame, inputs);
  // The surface is opaque and replaces whatever lies under it, so the picture layers are only
  // needed around it: drawn after it where the stencil says it is not, they cost a fraction of
  // the fill. Without a stencil buffer they are drawn first, under it, as they always were.
  GLint stencilBits = 0;
  if (LayersAroundSurface) glGetIntegerv(GL_STENCIL_BITS, &stencilBits);
  const bool layersAfter = stencilBits > 0;
  if (!layersAfter) DrawPictureLayers(frame, t);

  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(Eye.X, Eye.Y, Eye.Z, 0.5, 0.5, 0.5, 0, 1, 0);

  ApplyTexture(Images[CurrentImage]);
  glDisable(GL_LIGHTING);
  Field->ComputeFieldNormals();
  EnableSphereMap();
  // Cubes nearer the eye first (the grid's z runs against its index).
  TCubeOrder order;
  order.DownX = Eye.X > 0.5f;
  order.DownY = Eye.Y > 0.5f;
  order.DownZ = Eye.Z < 0.5f;
  if (layersAfter) {
    // What the layers leave behind when they come first: the perspective projection, the depth
    // test on and blending off.
    OrthoEnd();
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glClearStencil(0);
    glClear(GL_STENCIL_BUFFER_BIT);
    glEnable(GL_STENCIL_TEST);
    glStencilFunc(GL_ALWAYS, 1, 1);
    glStencilOp(GL_KEEP, GL_KEEP, GL_REPLACE);
  }
  Field->DrawSurface(FrontToBack ? order : TCubeOrder{});
  DisableSphereMap();
  if (layersAfter) {
    glStencilFunc(GL_EQUAL, 0, 1);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    DrawPictureLayers(frame, t);
    glDisable(GL_STENCIL_TEST);
    // The state the surface leaves, as when the layers come first.
    ApplyTexture(Images[CurrentImage]);
    glDisable(GL_LIGHTING);
  }
}

void TFuck::DrawPictureLayers(const TFrameContext& frame, float t) {
  const float brightness = 50 * frame.Spectrum[3];
  const int32_t flicker = MetaballImageIndex(std::fabs(40 * std::sin(static_cast<double>(t))));
  const TAddLayer layers[3] = {
      {Images[CurrentImage], {1, 1, 1, 1}, 0},
      {Images[CurrentImage], {brightness, brightness, brightness, brightness}, frame.Spectrum[4]},
      {Images[flicker], {0.3f, 0.3f, 0.3f, 1}, 0}};
  PushCenterView();
  if (!LayersInOnePass || !DrawAddQuadsInOnePass(layers, 3, 0, 800, 600))
    for (const TAddLayer& layer : layers)
      DrawAddQuad(layer.Texture, layer.Color, layer.X, 0, 800, 600);
  PopView();
}
