#include "effects/VoxelGrid.h"

#include "engine/KGL2Classes.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

TVec3 VoxelAngles = {0, 0, 0};
TVec3 VoxelOffset = {0, 0, 0};

namespace {

constexpr int32_t kMaxTriangleSteps = 1024;

constexpr int32_t kCellsX = sizeof(T3DFramebuffer::Cells) / sizeof(T3DFramebuffer::Cells[0]);
constexpr int32_t kCellsY =
    sizeof(T3DFramebuffer::Cells[0]) / sizeof(T3DFramebuffer::Cells[0][0]);
constexpr int32_t kCellsZ =
    sizeof(T3DFramebuffer::Cells[0][0]) / sizeof(T3DFramebuffer::Cells[0][0][0]);

// The cell index of a coordinate, nearest with ties to even, or -1 when it lies outside
// 0 .. cells - 1 or is not a finite number. The range test comes before the conversion so that
// a huge value never reaches lrint.
int32_t CellIndex(float v, int32_t cells) {
  if (!(v > -1.0f && v < static_cast<float>(cells))) return -1;
#if defined(__SSE__)
  // One conversion instruction in the default rounding mode (nearest, ties to even): the same
  // value lrint gives, without its library call on every one of the frame's half million samples.
  const long n = _mm_cvtss_si32(_mm_set_ss(v));
#else
  const long n = std::lrint(v);
#endif
  return n >= 0 && n < cells ? static_cast<int32_t>(n) : -1;
}

void SetCell(T3DFramebuffer& grid, float x, float y, float z) {
  const int32_t i = CellIndex(x, kCellsX), j = CellIndex(y, kCellsY), k = CellIndex(z, kCellsZ);
  if (i >= 0 && j >= 0 && k >= 0) grid.Cells[i][j][k] = 1;
}

TVec3 Along(const TVec3& start, const TVec3& delta, float n) {
  return {start.X + n * delta.X, start.Y + n * delta.Y, start.Z + n * delta.Z};
}

TVec3 Scaled(const TVec3& from, const TVec3& to, float factor) {
  return {(to.X - from.X) * factor, (to.Y - from.Y) * factor, (to.Z - from.Z) * factor};
}

// Alpha blending and a black ambient material: what every cell of the grid is drawn with.
void BeginGrid() {
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  const GLfloat black[4] = {0, 0, 0, 1};
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, black);
}

// The rotation by VoxelAngles, worked out again only when the angles change: a frame turns
// thousands of triangles by the same angles.
const TRotationXYZ& VoxelRotation() {
  static TVec3 angles = {0, 0, 0};
  static TRotationXYZ rotation = MakeRotationXYZ(angles);
  if (std::memcmp(&angles, &VoxelAngles, sizeof angles) != 0) {
    angles = VoxelAngles;
    rotation = MakeRotationXYZ(angles);
  }
  return rotation;
}

TVec3 Transformed(const TVec3& p) {
  TVec3 rotated = p;
  RotatePointBy(rotated, VoxelRotation());
  TVec3 moved;
  AddVec3(rotated, VoxelOffset, moved);
  return moved;
}

// For each face of the cube, the side of the cell it lies on, when every face lies on a side of
// the box -0.5 .. 0.5 (so that neighbouring cells' boxes touch); empty otherwise. Coordinates
// within a hair of a side count as on it: the model's turn from Z up to Y up rounds them.
std::vector<int8_t> CubeFaceSides(const TMeshDataN& cube) {
  constexpr float kHair = 1e-5f;
  auto near = [](float a, float b) { return std::fabs(a - b) <= kHair; };
  std::vector<int8_t> sides;
  const int32_t vertexCount = std::min<int32_t>(cube.VertexCount, static_cast<int32_t>(cube.Vertices.size()));
  if (cube.FaceCount <= 0 || static_cast<size_t>(cube.FaceCount) > cube.Faces.size()) return sides;
  float low[3] = {1e30f, 1e30f, 1e30f}, high[3] = {-1e30f, -1e30f, -1e30f};
  for (int32_t v = 0; v < vertexCount; ++v) {
    const float p[3] = {cube.Vertices[v].X, cube.Vertices[v].Y, cube.Vertices[v].Z};
    for (int a = 0; a < 3; ++a) {
      low[a] = std::min(low[a], p[a]);
      high[a] = std::max(high[a], p[a]);
    }
  }
  for (int a = 0; a < 3; ++a)
    if (!near(low[a], -0.5f) || !near(high[a], 0.5f)) return sides;
  for (int32_t f = 0; f < cube.FaceCount; ++f) {
    const TFace& face = cube.Faces[static_cast<size_t>(f)];
    const uint32_t corners[3] = {face.A, face.B, face.C};
    int8_t side = -1;
    for (int a = 0; a < 3 && side < 0; ++a)
      for (int end = 0; end < 2 && side < 0; ++end) {
        const float plane = end ? 0.5f : -0.5f;
        bool onPlane = true;
        for (uint32_t k : corners) {
          if (k >= static_cast<uint32_t>(vertexCount)) return {};
          const TVec3& p = cube.Vertices[k];
          const float c = a == 0 ? p.X : a == 1 ? p.Y : p.Z;
          onPlane = onPlane && near(c, plane);
        }
        if (onPlane) side = static_cast<int8_t>(2 * a + end);
      }
    if (side < 0) return {};
    sides.push_back(side);
  }
  return sides;
}

}  // namespace

void ClearGrid(T3DFramebuffer& grid) { std::memset(grid.Cells, 0, sizeof(grid.Cells)); }

void VoxelizeLine(T3DFramebuffer& grid, const TVec3& p, const TVec3& q, int32_t steps) {
  if (steps < 0) return;
  if (steps == 0) {  // one sample; (q - p) / 0 would turn p itself into NaN
    SetCell(grid, p.X, p.Y, p.Z);
    return;
  }
  const float count = static_cast<float>(steps);
  const TVec3 d = {(q.X - p.X) / count, (q.Y - p.Y) / count, (q.Z - p.Z) / count};
  for (int32_t k = 0; k <= steps; ++k) {
    const float kf = static_cast<float>(k);
    SetCell(grid, p.X + kf * d.X, p.Y + kf * d.Y, p.Z + kf * d.Z);
  }
}

void VoxelizeTriangle(T3DFramebuffer& grid, const TVec3& a, const TVec3& b, const TVec3& c,
                      float step) {
  const TVec3 ta = Transformed(a), tb = Transformed(b), tc = Transformed(c);
  const double inverse = 1.0 / static_cast<double>(step);
  // u would be 0 or less, or undefined (a step of 0, NaN or a negative step).
  if (!(inverse >= 0.5) || !std::isfinite(inverse)) return;
  const int32_t u = inverse >= kMaxTriangleSteps ? kMaxTriangleSteps
                                                 : static_cast<int32_t>(std::nearbyint(inverse));
  if (u <= 0) return;  // 0.5 itself rounds to 0
  const TVec3 dAB = Scaled(ta, tb, step);
  const TVec3 dAC = Scaled(ta, tc, step / 2);
  const TVec3 dBC = Scaled(tb, tc, step);
  for (int32_t n = 1; n <= u; ++n) {
    const float nf = static_cast<float>(n);
    VoxelizeLine(grid, Along(ta, dAB, nf), Along(ta, dAC, nf), u);
  }
  for (int32_t n = 1; n <= u; ++n) {
    const float nf = static_cast<float>(n);
    VoxelizeLine(grid, Along(tb, dBC, nf), Along(ta, dAC, static_cast<float>(u) + nf), u);
  }
}

void VoxelizeFaces(T3DFramebuffer& grid, const std::vector<TVec3>& vertices, const TFace* faces,
                   int32_t faceCount, float step, T3DFramebuffer& scratch) {
  auto sweep = [&](T3DFramebuffer& into, int32_t first, int32_t end) {
    for (int32_t f = first; f < end; ++f) {
      const TFace& face = faces[f];
      VoxelizeTriangle(into, vertices[face.A], vertices[face.B], vertices[face.C], step);
    }
  };
  // Below this a second thread costs more than it saves.
  constexpr int32_t kFacesWorthAThread = 512;
  if (faceCount < kFacesWorthAThread) {
    sweep(grid, 0, faceCount);
    return;
  }
  // The frame's rendering waits for this sweep, and the software renderer's threads are idle
  // while it runs: half of the faces go to the other core.
  const int32_t half = faceCount / 2;
  ClearGrid(scratch);
  std::thread second([&] { sweep(scratch, half, faceCount); });
  sweep(grid, 0, half);
  second.join();
  uint8_t* cells = &grid.Cells[0][0][0];
  const uint8_t* more = &scratch.Cells[0][0][0];
  for (size_t i = 0; i < sizeof(grid.Cells); ++i) cells[i] |= more[i];
}

void DrawGrid(const T3DFramebuffer& grid, const std::vector<std::unique_ptr<TMeshDataNM>>& meshes) {
  BeginGrid();
  if (meshes.empty() || !meshes.front()) return;
  TMeshDataNM& cube = *meshes.front();
  for (int32_t x = 0; x < kCellsX; ++x)
    for (int32_t y = 0; y < kCellsY; ++y)
      for (int32_t z = 0; z < kCellsZ; ++z) {
        if (!grid.Cells[x][y][z]) continue;
        glPushMatrix();
        glTranslatef(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
        cube.Draw();
        glPopMatrix();
      }
}

void DrawGridBatched(const T3DFramebuffer& grid, const TMeshDataN& cube, TGridBatch& batch) {
  BeginGrid();
  if (batch.CubeOf != &cube) {
    batch.FaceSides = CubeFaceSides(cube);
    batch.CubeOf = &cube;
  }
  batch.Vertices.clear();
  batch.Normals.clear();
  batch.TexCoords.clear();
  batch.Indices.clear();
  const size_t vertexCount = static_cast<size_t>(cube.VertexCount);
  const size_t faceCount = static_cast<size_t>(cube.FaceCount);
  const bool leaveOutInnerFaces = !batch.FaceSides.empty();
  auto isOn = [&grid](int32_t x, int32_t y, int32_t z) {
    return x >= 0 && y >= 0 && z >= 0 && x < kCellsX && y < kCellsY && z < kCellsZ &&
           grid.Cells[x][y][z] != 0;
  };
  for (int32_t x = 0; x < kCellsX; ++x)
    for (int32_t y = 0; y < kCellsY; ++y)
      for (int32_t z = 0; z < kCellsZ; ++z) {
        if (!grid.Cells[x][y][z]) continue;
        bool neighbourOn[6] = {false, false, false, false, false, false};
        if (leaveOutInnerFaces) {
          neighbourOn[0] = isOn(x - 1, y, z);
          neighbourOn[1] = isOn(x + 1, y, z);
          neighbourOn[2] = isOn(x, y - 1, z);
          neighbourOn[3] = isOn(x, y + 1, z);
          neighbourOn[4] = isOn(x, y, z - 1);
          neighbourOn[5] = isOn(x, y, z + 1);
          // A cell closed in on all six sides shows nothing.
          if (neighbourOn[0] && neighbourOn[1] && neighbourOn[2] && neighbourOn[3] &&
              neighbourOn[4] && neighbourOn[5])
            continue;
        }
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
          if (leaveOutInnerFaces && neighbourOn[batch.FaceSides[f]]) continue;
          const TFace& face = cube.Faces[f];
          batch.Indices.insert(batch.Indices.end(), {base + face.A, base + face.B, base + face.C});
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

int32_t CountSetCells(const T3DFramebuffer& grid) {
  int32_t count = 0;
  for (int32_t x = 0; x < kCellsX; ++x)
    for (int32_t y = 0; y < kCellsY; ++y)
      for (int32_t z = 0; z < kCellsZ; ++z) count += grid.Cells[x][y][z] != 0;
  return count;
}
