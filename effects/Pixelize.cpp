#include "effects/Pixelize.h"

#include "effects/Draw2D.h"
#include "effects/ModelLoading.h"
#include "engine/KGL2Lights.h"
#include "engine/KGL2Materials.h"
#include "engine/KGL2Textures.h"
#include "engine/PairTextures.h"

#include <GL/glu.h>

namespace {

constexpr float kVoxelStep = 0.125f;
constexpr float kModelScale = 0.008f;

}  // namespace

std::vector<TEffectFile> TPixelize::CreationFiles() {
  return {ModelFile(kPixelizeCubeModel, ""), ModelFile(kPixelizeModel, ""),
          JpegPairFile(kPixelizeOverlayColour, kPixelizeOverlayAlpha, "")};
}

TPixelize::TPixelize(const TReadContext& files) : TVEffect(NoBaseDefaults{}) {
  Grid = std::make_unique<T3DFramebuffer>();
  SecondGrid = std::make_unique<T3DFramebuffer>();
  CubeBrush = LoadEffectModel(*this, kPixelizeCubeModel, files);
  if (CubeBrush) PrepareGridBatch(batch_, *CubeBrush->Meshes[0]);
  ModelBrush = LoadEffectModel(*this, kPixelizeModel, files);
  if (ModelBrush) {
    ModelBrush->ScaleAll({kModelScale, kModelScale, kModelScale});
    ModelMesh = std::make_unique<TMeshDataNM>();
    ModelMesh->CopyFrom(*ModelBrush->Meshes[0]);
  }
  Overlay = AcquirePairTexture(kPixelizeOverlayColour, kPixelizeOverlayAlpha, files);
}

TPixelize::~TPixelize() { ReleasePairTexture(Overlay); }

void TPixelize::Render(const TFrameContext& frame, const float* /*inputs*/) {
  if (!CubeBrush || !ModelMesh) return;  // a model could not be loaded: nothing to draw
  VoxelOffset = {25, 25, 25};
  VoxelAngles = {0, 150 * frame.BarTime, 35 * frame.BarTime};
  ClearGrid(*Grid);
  VoxelizeFaces(*Grid, ModelMesh->Vertices, ModelMesh->Faces.data(), ModelMesh->FaceCount,
                kVoxelStep, *SecondGrid);
  SelectLight(GL_LIGHT0);
  SetupDefaultLight();
  SetLightPosition({100, 100, 100});
  SetLightColors({1, 1, 0, 1}, {4, 4, 0, 1});
  ApplyColor({1, 1, 1, 1});
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(30, 70, 35, 5, -25, 5, 0, 1, 0);
  if (DrawCellByCell)
    DrawGrid(*Grid, CubeBrush->Meshes);
  else
    DrawGridBatched(*Grid, batch_);
  PushCenterView();
  DrawBlendQuad(Overlay, {1, 1, 1, 30 * frame.Spectrum[2]}, 0, 88, 512, 512);
  PopView();
}
