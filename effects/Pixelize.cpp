#include "effects/Pixelize.h"

#include "demo/Frame.h"
#include "effects/Draw2D.h"
#include "effects/ModelLoading.h"
#include "engine/KGL2Lights.h"
#include "engine/KGL2Materials.h"
#include "engine/KGL2Textures.h"

#include <GL/glu.h>

namespace {

constexpr int32_t kCells = kVoxelGridSize;
constexpr float kVoxelStep = 0.125f;
constexpr float kModelScale = 0.008f;

// Alpha blending and a black ambient material: what every cell of the grid is drawn with.
void BeginGrid() {
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  const GLfloat black[4] = {0, 0, 0, 1};
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, black);
}

}  // namespace

void DrawGrid(const T3DFramebuffer& grid, const std::vector<std::unique_ptr<TMeshDataNM>>& meshes) {
  BeginGrid();
  if (meshes.empty()) return;
  TMeshDataNM& cube = *meshes[0];
  for (int32_t x = 0; x < kCells; ++x)
    for (int32_t y = 0; y < kCells; ++y)
      for (int32_t z = 0; z < kCells; ++z) {
        if (!grid.Cells[x][y][z]) continue;
        glPushMatrix();
        glTranslatef(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
        cube.Draw();
        glPopMatrix();
      }
}

void DrawGridBatched(const T3DFramebuffer& grid, const TMeshDataN& cube, TGridBatch& batch) {
  BeginGrid();
  batch.Vertices.clear();
  batch.Normals.clear();
  batch.TexCoords.clear();
  batch.Indices.clear();
  const size_t vertexCount = static_cast<size_t>(cube.VertexCount);
  const size_t faceCount = static_cast<size_t>(cube.FaceCount);
  for (int32_t x = 0; x < kCells; ++x)
    for (int32_t y = 0; y < kCells; ++y)
      for (int32_t z = 0; z < kCells; ++z) {
        if (!grid.Cells[x][y][z]) continue;
        const uint32_t base = static_cast<uint32_t>(batch.Vertices.size());
        const float cx = static_cast<float>(x), cy = static_cast<float>(y), cz = static_cast<float>(z);
        for (size_t v = 0; v < vertexCount; ++v) {
          const TVec3& p = cube.Vertices[v];
          batch.Vertices.push_back({p.X + cx, p.Y + cy, p.Z + cz});
        }
        batch.Normals.insert(batch.Normals.end(), cube.Normals.begin(),
                             cube.Normals.begin() + static_cast<std::ptrdiff_t>(vertexCount));
        batch.TexCoords.insert(batch.TexCoords.end(), cube.TexCoords.begin(),
                               cube.TexCoords.begin() + static_cast<std::ptrdiff_t>(vertexCount));
        for (size_t f = 0; f < faceCount; ++f) {
          const TFace& face = cube.Faces[f];
          batch.Indices.push_back(base + face.A);
          batch.Indices.push_back(base + face.B);
          batch.Indices.push_back(base + face.C);
        }
      }
  if (batch.Indices.empty()) return;
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, batch.Vertices.data());
  glNormalPointer(GL_FLOAT, 0, batch.Normals.data());
  glTexCoordPointer(2, GL_FLOAT, 0, batch.TexCoords.data());
  glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(batch.Indices.size()), GL_UNSIGNED_INT,
                 batch.Indices.data());
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

TPixelize::TPixelize() : TVEffect(NoBaseDefaults{}) {
  Grid = std::make_unique<T3DFramebuffer>();
  CubeBrush = LoadEffectModel(*this, "boxpixel.3ds");
  ModelBrush = LoadEffectModel(*this, "duck.3ds");
  if (ModelBrush) {
    ModelBrush->ScaleAll({kModelScale, kModelScale, kModelScale});
    ModelMesh = std::make_unique<TMeshDataNM>();
    ModelMesh->CopyFrom(*ModelBrush->Meshes[0]);
  }
  Overlay = TextureFromJpegPair("hvit.jpg", "inyourface.jpg");
}

void TPixelize::Render(const float* /*inputs*/) {
  if (!CubeBrush || !ModelMesh) return;  // a model could not be loaded: nothing to draw
  VoxelOffset = {25, 25, 25};
  VoxelAngles = {0, 150 * BarTime, 35 * BarTime};
  ClearGrid(*Grid);
  const std::vector<TVec3>& vertices = ModelMesh->Vertices;
  for (int32_t f = 0; f < ModelMesh->FaceCount; ++f) {
    const TFace& face = ModelMesh->Faces[static_cast<size_t>(f)];
    VoxelizeTriangle(*Grid, vertices[face.A], vertices[face.B], vertices[face.C], kVoxelStep);
  }
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
    DrawGridBatched(*Grid, *CubeBrush->Meshes[0], batch_);
  PushCenterView();
  DrawBlendQuad(Overlay, {1, 1, 1, 30 * SpectrumData[2]}, 0, 88, 512, 512);
  PopView();
}
