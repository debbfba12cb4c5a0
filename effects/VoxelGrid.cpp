// glActiveTexture (OpenGL 1.3) comes through GlEntryPoints.h.
#include "platform/GlEntryPoints.h"
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

// The corner transform of VoxelizeTriangle: the rotation by VoxelAngles, then VoxelOffset. A
// sweep takes it once, so that its threads read only their own copy and not the globals.
struct TVoxelTransform {
  TRotationXYZ Rotation;
  TVec3 Offset;
};

TVoxelTransform CurrentTransform() { return {MakeRotationXYZ(VoxelAngles), VoxelOffset}; }

TVec3 Transformed(const TVec3& p, const TVoxelTransform& transform) {
  TVec3 rotated = p;
  RotatePointBy(rotated, transform.Rotation);
  TVec3 moved;
  AddVec3(rotated, transform.Offset, moved);
  return moved;
}

void SweepTriangle(T3DFramebuffer& grid, const TVec3& a, const TVec3& b, const TVec3& c,
                   float step, const TVoxelTransform& transform) {
  const TVec3 ta = Transformed(a, transform), tb = Transformed(b, transform),
              tc = Transformed(c, transform);
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

// The determinant of a 4 x 4 matrix (the same in either storage order), by elimination.
double Determinant4(const float* matrix) {
  double a[4][4];
  for (int i = 0; i < 16; ++i) a[i / 4][i % 4] = matrix[i];
  double determinant = 1;
  for (int c = 0; c < 4; ++c) {
    int pivot = c;
    for (int r = c + 1; r < 4; ++r)
      if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) pivot = r;
    if (a[pivot][c] == 0) return 0;
    if (pivot != c) {
      std::swap(a[pivot], a[c]);
      determinant = -determinant;
    }
    determinant *= a[c][c];
    for (int r = c + 1; r < 4; ++r) {
      const double factor = a[r][c] / a[c][c];
      for (int k = c; k < 4; ++k) a[r][k] -= factor * a[c][k];
    }
  }
  return determinant;
}

// A face of the cube flattened onto its side of the cell: the coordinates along the two axes
// after the side's axis, in turn, corners counter-clockwise seen from outside the cell.
struct TFlatFace {
  double P[3][2];
};

// (q - p) x (r - p): positive when p, q, r turn counter-clockwise.
double Turn(const double* p, const double* q, const double* r) {
  return (q[0] - p[0]) * (r[1] - p[1]) - (q[1] - p[1]) * (r[0] - p[0]);
}

// True when the insides of two counter-clockwise triangles overlap: no edge of either has the
// other wholly on its outer side. Triangles that only touch along an edge or at a corner do not.
bool InsidesOverlap(const TFlatFace& f, const TFlatFace& g) {
  constexpr double kTouch = 1e-9;
  auto edgeSeparates = [](const TFlatFace& t, const TFlatFace& other) {
    for (int e = 0; e < 3; ++e) {
      bool outside = true;
      for (const double* r : other.P) outside = outside && Turn(t.P[e], t.P[(e + 1) % 3], r) <= kTouch;
      if (outside) return true;
    }
    return false;
  };
  return !edgeSeparates(f, g) && !edgeSeparates(g, f);
}

// For each face of the cube, the side of the cell it lies on, when the cube is a closed box of
// one cell seen from outside: its corners span -0.5 .. 0.5 on every axis (so that neighbouring
// cells' boxes touch), every face lies on a side of that box with its front (counter-clockwise)
// towards the outside, and the faces of each side cover the side once: no two overlap and their
// areas add up to the side's. Empty otherwise: an open box, a box wound inwards, or anything
// else. Coordinates within a hair of a side count as on it: the model's turn from Z up to Y up
// rounds them.
std::vector<int8_t> CellBoxFaceSides(const TMeshDataN& cube) {
  constexpr float kHair = 1e-5f;
  auto nearly = [](float a, float b) { return std::fabs(a - b) <= kHair; };
  auto coordinate = [](const TVec3& p, int axis) { return axis == 0 ? p.X : axis == 1 ? p.Y : p.Z; };
  const int32_t vertexCount = std::min<int32_t>(cube.VertexCount, static_cast<int32_t>(cube.Vertices.size()));
  if (cube.FaceCount <= 0 || static_cast<size_t>(cube.FaceCount) > cube.Faces.size()) return {};
  float low[3] = {1e30f, 1e30f, 1e30f}, high[3] = {-1e30f, -1e30f, -1e30f};
  for (int32_t v = 0; v < vertexCount; ++v)
    for (int a = 0; a < 3; ++a) {
      low[a] = std::min(low[a], coordinate(cube.Vertices[v], a));
      high[a] = std::max(high[a], coordinate(cube.Vertices[v], a));
    }
  for (int a = 0; a < 3; ++a)
    if (!nearly(low[a], -0.5f) || !nearly(high[a], 0.5f)) return {};
  std::vector<int8_t> sides;
  std::vector<TFlatFace> onSide[6];
  for (int32_t f = 0; f < cube.FaceCount; ++f) {
    const TFace& face = cube.Faces[static_cast<size_t>(f)];
    const uint32_t corners[3] = {face.A, face.B, face.C};
    for (uint32_t k : corners)
      if (k >= static_cast<uint32_t>(vertexCount)) return {};
    int side = -1;
    for (int s = 0; s < 6 && side < 0; ++s) {
      const float plane = s % 2 ? 0.5f : -0.5f;
      bool onPlane = true;
      for (uint32_t k : corners) onPlane = onPlane && nearly(coordinate(cube.Vertices[k], s / 2), plane);
      if (onPlane) side = s;
    }
    if (side < 0) return {};
    sides.push_back(static_cast<int8_t>(side));
    const int u = (side / 2 + 1) % 3, v = (side / 2 + 2) % 3;
    TFlatFace flat;
    for (int k = 0; k < 3; ++k) {
      flat.P[k][0] = coordinate(cube.Vertices[corners[k]], u);
      flat.P[k][1] = coordinate(cube.Vertices[corners[k]], v);
    }
    // Seen from the + end of the axis, (u, v) are right-handed: a front face of a - side turns
    // clockwise there.
    double turn = Turn(flat.P[0], flat.P[1], flat.P[2]);
    if (side % 2 == 0) {
      std::swap(flat.P[1], flat.P[2]);
      turn = -turn;
    }
    if (turn == 0) continue;  // a face without area draws nothing
    if (turn < 0) return {};   // its back is turned to the outside
    onSide[side].push_back(flat);
  }
  for (const std::vector<TFlatFace>& flats : onSide) {
    double area = 0;
    for (size_t i = 0; i < flats.size(); ++i) {
      area += Turn(flats[i].P[0], flats[i].P[1], flats[i].P[2]) / 2;
      for (size_t j = 0; j < i; ++j)
        if (InsidesOverlap(flats[i], flats[j])) return {};
    }
    if (std::fabs(area - 1.0) > 1e-4) return {};
  }
  return sides;
}

// True when a face of a cell against a neighbouring cell that is on cannot show in DrawGrid's
// picture: the nearest fragment wins whatever the order (depth test and writes on, less or
// less-or-equal, nothing else keeping or dropping fragments), every fragment is opaque (no
// texture, colour and diffuse alpha 1: the grid's blending replaces), a face towards the eye is
// a front face whenever faces are culled, and the whole grid lies between the near and the far
// plane. Then the line of sight to such a face runs through the neighbour's box first and
// enters it through a nearer face of that box that is drawn.
bool InnerFacesHidden() {
  GLboolean depthWrites = GL_FALSE;
  GLint depthFunc = 0, polygonMode[2] = {0, 0}, equation = 0;
  GLfloat depthRange[2] = {0, 0};
  glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
  glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
  glGetFloatv(GL_DEPTH_RANGE, depthRange);
  glGetIntegerv(GL_POLYGON_MODE, polygonMode);
  glGetIntegerv(GL_BLEND_EQUATION_RGB, &equation);
  if (!glIsEnabled(GL_DEPTH_TEST) || !depthWrites || (depthFunc != GL_LESS && depthFunc != GL_LEQUAL) ||
      !(depthRange[0] < depthRange[1]) || polygonMode[0] != GL_FILL || equation != GL_FUNC_ADD)
    return false;
  for (GLenum test : {GL_STENCIL_TEST, GL_ALPHA_TEST, GL_COLOR_LOGIC_OP, GL_POLYGON_OFFSET_FILL})
    if (glIsEnabled(test)) return false;

  GLfloat colour[4] = {0, 0, 0, 0}, diffuse[4] = {0, 0, 0, 0};
  glGetFloatv(GL_CURRENT_COLOR, colour);
  glGetMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
  if (colour[3] < 1 || (glIsEnabled(GL_LIGHTING) && diffuse[3] < 1)) return false;
  GLint units = 1, active = GL_TEXTURE0;
  glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
  glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
  bool textured = false;
  for (GLint k = 0; k < units && !textured; ++k) {
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(k));
    for (GLenum target : {GL_TEXTURE_1D, GL_TEXTURE_2D, GL_TEXTURE_3D, GL_TEXTURE_CUBE_MAP})
      textured = textured || glIsEnabled(target);
  }
  glActiveTexture(static_cast<GLenum>(active));
  if (textured) return false;

  // Cell coordinates to clip coordinates: projection x modelview (column-major).
  GLfloat projection[16], modelview[16], m[16];
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
  for (int col = 0; col < 4; ++col)
    for (int row = 0; row < 4; ++row) {
      float sum = 0;
      for (int k = 0; k < 4; ++k) sum += projection[k * 4 + row] * modelview[col * 4 + k];
      m[col * 4 + row] = sum;
    }
  for (int corner = 0; corner < 8; ++corner) {
    const float top = static_cast<float>(kVoxelGridSize) - 0.5f;
    const float p[3] = {corner & 1 ? top : -0.5f, corner & 2 ? top : -0.5f, corner & 4 ? top : -0.5f};
    const float z = m[2] * p[0] + m[6] * p[1] + m[10] * p[2] + m[14];
    const float w = m[3] * p[0] + m[7] * p[1] + m[11] * p[2] + m[15];
    if (!(w > 0 && -w < z && z < w)) return false;
  }
  if (glIsEnabled(GL_CULL_FACE)) {
    GLint cull = 0, front = 0;
    glGetIntegerv(GL_CULL_FACE_MODE, &cull);
    glGetIntegerv(GL_FRONT_FACE, &front);
    // The standard projections mirror depth, so a face towards the eye turns counter-clockwise
    // on the screen exactly when the whole transform has a negative determinant.
    if (cull != GL_BACK || front != GL_CCW || !(Determinant4(m) < 0)) return false;
  }
  return true;
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
  SweepTriangle(grid, a, b, c, step, CurrentTransform());
}

void VoxelizeFaces(T3DFramebuffer& grid, const std::vector<TVec3>& vertices, const TFace* faces,
                   int32_t faceCount, float step, T3DFramebuffer& scratch) {
  // Both threads turn the faces by this one copy, which nothing writes while they run.
  const TVoxelTransform transform = CurrentTransform();
  auto sweep = [&](T3DFramebuffer& into, int32_t first, int32_t end) {
    for (int32_t f = first; f < end; ++f) {
      const TFace& face = faces[f];
      SweepTriangle(into, vertices[face.A], vertices[face.B], vertices[face.C], step, transform);
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

void PrepareGridBatch(TGridBatch& batch, const TMeshDataN& cube) {
  batch.Cube = &cube;
  batch.FaceSides = CellBoxFaceSides(cube);
}

void DrawGridBatched(const T3DFramebuffer& grid, TGridBatch& batch) {
  BeginGrid();
  batch.Vertices.clear();
  batch.Normals.clear();
  batch.TexCoords.clear();
  batch.Indices.clear();
  if (!batch.Cube) return;
  const TMeshDataN& cube = *batch.Cube;
  const size_t vertexCount = std::min({static_cast<size_t>(std::max(cube.VertexCount, 0)),
                                       cube.Vertices.size(), cube.Normals.size(), cube.TexCoords.size()});
  const size_t faceCount = std::min(static_cast<size_t>(std::max(cube.FaceCount, 0)), cube.Faces.size());
  const bool leaveOutInnerFaces = !batch.FaceSides.empty() && InnerFacesHidden();
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
          if (face.A >= vertexCount || face.B >= vertexCount || face.C >= vertexCount) continue;
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
