// "pixelize": a model rebuilt from small cubes. Every frame the triangles of "duck.3ds" (scaled
// by 0.008) are turned by the bar time, scan-converted into the 50 x 50 x 50 voxel grid around
// (25, 25, 25), and the cube of "boxpixel.3ds" is drawn at every cell that is on, lit by a yellow
// light. Over it lies "hvit.jpg" with the alpha of "inyourface.jpg", as opaque as 30 times
// spectrum value 2. Reads no parameter and no input. The files are loaded by the constructor,
// that is by the LOAD line; a model that cannot be loaded is a script error and leaves nothing
// to draw.
//
// State left behind: back-face culling on, light 0 on with the yellow colours, lighting and
// normalisation on, and what the overlay's quad leaves.
#pragma once
#include "effects/VEffect.h"
#include "effects/VoxelGrid.h"
#include "engine/KGL2Classes.h"

#include <cstdint>
#include <memory>
#include <vector>

// The fixed files the constructor reads.
constexpr const char* kPixelizeCubeModel = "boxpixel.3ds";
constexpr const char* kPixelizeModel = "duck.3ds";
constexpr const char* kPixelizeOverlayColour = "hvit.jpg";
constexpr const char* kPixelizeOverlayAlpha = "inyourface.jpg";

class TPixelize : public TVEffect {
 public:
  // Allocates the grid, loads the cube and the model, scales the model, copies its first mesh
  // and loads the overlay, in this order (names resolved by `files`).
  explicit TPixelize(const TReadContext& files = TReadContext());
  // The two models and the overlay pair.
  static std::vector<TEffectFile> CreationFiles();
  // Gives back the overlay's pair texture.
  ~TPixelize() override;
  void Render(const TFrameContext& frame, const float* inputs) override;

  std::unique_ptr<TKGLBrush> CubeBrush;
  std::unique_ptr<T3DFramebuffer> Grid;
  std::unique_ptr<T3DFramebuffer> SecondGrid;  // the second thread's half of the sweep
  std::unique_ptr<TKGLBrush> ModelBrush;
  std::unique_ptr<TMeshDataNM> ModelMesh;
  uint32_t Overlay = 0;
  // Draw the cells one by one, as DrawGrid does, instead of in one batch (for comparisons).
  bool DrawCellByCell = false;
  // The batch of the last frame drawn in one batch: its Indices tell how many faces were drawn.
  const TGridBatch& Batch() const { return batch_; }

 private:
  TGridBatch batch_;
};
