#include "effects/VoxelGrid.h"

#include <cmath>
#include <cstring>

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
  const long n = std::lrint(v);
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

TVec3 Transformed(const TVec3& p) {
  TVec3 rotated = p;
  RotatePointXYZ(rotated, VoxelAngles);
  TVec3 moved;
  AddVec3(rotated, VoxelOffset, moved);
  return moved;
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

int32_t CountSetCells(const T3DFramebuffer& grid) {
  int32_t count = 0;
  for (int32_t x = 0; x < kCellsX; ++x)
    for (int32_t y = 0; y < kCellsY; ++y)
      for (int32_t z = 0; z < kCellsZ; ++z) count += grid.Cells[x][y][z] != 0;
  return count;
}
