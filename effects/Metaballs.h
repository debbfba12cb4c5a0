// "fuck" (also "metaballs"): three full-screen pictures added onto the screen, chosen from
// 1.jpg ... 39.jpg and switched to a random one while spectrum value 1 is above 0.14, under a
// cluster of 32 metaballs drawn as a sphere-mapped marching-cubes surface, seen by a camera
// that swings with spectrum value 2. Reads no parameter and no input, only the frame's BarTime,
// FrameTime and Spectrum. The pictures are loaded by the constructor, that is by the LOAD line.
//
// Leaves behind: lighting off, sphere mapping off, texturing on with the current picture bound,
// the modelview matrix looking from Eye at (0.5, 0.5, 0.5).
#pragma once
#include "effects/KGL2ScalarField.h"
#include "effects/VEffect.h"
#include "engine/Vectors.h"

#include <cstdint>
#include <memory>
#include <string>

constexpr int kMetaballCount = 32;
constexpr int kMetaballImageCount = 39;  // Images[1] .. Images[39]; Images[0] stays 0
constexpr int32_t kMetaballFieldSize = 50;

class TFuck : public TVEffect {
 public:
  // Loads the 39 pictures (names resolved by `files`), sets CurrentImage to 9, Eye to (1, 1, 1)
  // and builds the field.
  explicit TFuck(const TReadContext& files = TReadContext());
  // The 39 pictures.
  static std::vector<TEffectFile> CreationFiles();
  void Render(const TFrameContext& frame, const float* inputs) override;
  // Switches the picture (a random draw while spectrum value 1 is high) and swings the eye.
  void Advance(const TFrameContext& frame, const float* inputs) override;

  uint32_t Images[kMetaballImageCount + 1] = {};
  int32_t CurrentImage = 9;
  std::unique_ptr<TKGLScalarField> Field;  // on the heap: it holds about 14 MB
  TVec3 Balls[kMetaballCount] = {};        // centres in grid cells (0 .. 50)
  TVec3 Eye = {1, 1, 1};
  // Draw the surface's cubes nearest the eye first: the same picture, fewer fragments textured.
  // Off only for comparisons.
  bool FrontToBack = true;
  // Draw the three picture layers after the surface, only where it is not (needs a stencil
  // buffer): the same picture, a fraction of the fill. Off only for comparisons.
  bool LayersAroundSurface = true;
  // Sum the three pictures in one pass where the context can (the same picture for a third of
  // the blending). Off only for comparisons.
  bool LayersInOnePass = true;

 private:
  // The three additive full-screen pictures at bar time t.
  void DrawPictureLayers(const TFrameContext& frame, float t);
};

// The file of picture n (1 to 39): "n.jpg".
std::string MetaballImageName(int n);
// The ball centres at bar time t: 25 + 20 sin(...) per axis, in grid cells.
void PlaceMetaballs(float t, TVec3 (&balls)[kMetaballCount]);
// Values of points 0..49 per axis := 0, then each ball adds 17 / d^2 to the points of its box
// (13 points per axis around its nearest point, cut at 0 and 49). A ball closer than 1e-6
// cells to a point counts as 1e-6 cells away, so every value stays finite.
void AccumulateMetaballs(TKGLScalarField& field, const TVec3* balls, int count);
// The picture index nearest to v (ties to even), limited to 0 .. 39: the random draw and the
// third layer's sine can both reach 40, which has no picture.
int32_t MetaballImageIndex(double v);
