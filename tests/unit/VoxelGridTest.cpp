// The 3D pixel framebuffer: rounding of samples, lines, the triangle sweep, the transform of
// the corners, and samples that fall outside the grid or are not numbers.
#include "effects/VoxelGrid.h"
#include "engine/KGL2Classes.h"
#include "common/Models3DS.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

namespace {

// A fresh grid with no rotation and no offset (the module globals are reset for each test).
std::unique_ptr<T3DFramebuffer> NewGrid() {
  VoxelAngles = {0, 0, 0};
  VoxelOffset = {0, 0, 0};
  return std::make_unique<T3DFramebuffer>();
}

bool On(const T3DFramebuffer& grid, int x, int y, int z) { return grid.Cells[x][y][z] != 0; }

}  // namespace

TEST(VoxelGrid, SamplesRoundToNearestWithTiesToEven) {
  auto grid = NewGrid();
  VoxelizeLine(*grid, {2.5f, 3.5f, -0.5f}, {9, 9, 9}, 0);
  EXPECT_TRUE(On(*grid, 2, 4, 0));
  EXPECT_EQ(CountSetCells(*grid), 1);

  ClearGrid(*grid);
  VoxelizeLine(*grid, {0, 0, 0}, {10, 5, 0}, 10);  // 11 samples, y at 0, 0.5, 1, 1.5, ...
  EXPECT_EQ(CountSetCells(*grid), 11);
  EXPECT_TRUE(On(*grid, 1, 0, 0));   // y 0.5 -> 0
  EXPECT_TRUE(On(*grid, 3, 2, 0));   // y 1.5 -> 2
  EXPECT_TRUE(On(*grid, 5, 2, 0));   // y 2.5 -> 2
  EXPECT_TRUE(On(*grid, 7, 4, 0));   // y 3.5 -> 4
  EXPECT_TRUE(On(*grid, 10, 5, 0));

  ClearGrid(*grid);
  VoxelizeLine(*grid, {1, 1, 1}, {4, 4, 4}, -1);
  EXPECT_EQ(CountSetCells(*grid), 0);
}

TEST(VoxelGrid, SamplesOutsideTheGridAreSkipped) {
  auto grid = NewGrid();
  // 91 samples along x from -20 to 70: only the 50 inside land.
  VoxelizeLine(*grid, {-20, 25, 25}, {70, 25, 25}, 90);
  EXPECT_EQ(CountSetCells(*grid), 50);
  for (int x = 0; x < kVoxelGridSize; ++x) EXPECT_TRUE(On(*grid, x, 25, 25));

  ClearGrid(*grid);
  EXPECT_EQ(CountSetCells(*grid), 0);
  // Just outside on each side, in each axis.
  VoxelizeLine(*grid, {49.5f, 3, 3}, {-0.6f, 3, 3}, 1);
  VoxelizeLine(*grid, {3, 49.6f, 3}, {3, 3, -1e30f}, 1);
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  VoxelizeLine(*grid, {nan, 3, 3}, {nan, 3, 3}, 4);
  VoxelizeLine(*grid, {3, inf, 3}, {3, 3, 3}, 4);  // inf - inf is NaN for the other samples
  EXPECT_EQ(CountSetCells(*grid), 0);

  // A whole triangle far outside writes nothing (the sanitizer build checks the memory too).
  VoxelOffset = {1000, -1000, 25};
  VoxelizeTriangle(*grid, {0, 0, 0}, {40, 0, 0}, {0, 40, 0}, 0.125f);
  VoxelOffset = {30, 30, 30};
  VoxelizeTriangle(*grid, {0, 0, 0}, {40, 0, 0}, {0, 40, 0}, 0.125f);
  const int count = CountSetCells(*grid);
  EXPECT_GT(count, 1);
  for (int x = 0; x < kVoxelGridSize; ++x)
    for (int y = 0; y < kVoxelGridSize; ++y)
      for (int z = 0; z < kVoxelGridSize; ++z)
        if (On(*grid, x, y, z)) {
          EXPECT_EQ(z, 30);
          EXPECT_GE(x, 30);
          EXPECT_GE(y, 30);
        }
}

TEST(VoxelGrid, DegenerateTrianglesAndTheStepLimit) {
  auto grid = NewGrid();
  // At bar time 0 the pixelize transform is no rotation and (25, 25, 25): the origin lands there.
  VoxelOffset = {25, 25, 25};
  VoxelizeTriangle(*grid, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, 0.125f);
  EXPECT_EQ(CountSetCells(*grid), 1);
  EXPECT_TRUE(On(*grid, 25, 25, 25));

  ClearGrid(*grid);
  VoxelizeTriangle(*grid, {3, -4, 7}, {3, -4, 7}, {3, -4, 7}, 0.1f);
  EXPECT_EQ(CountSetCells(*grid), 1);
  EXPECT_TRUE(On(*grid, 28, 21, 32));

  // u = N(1 / step) of 0 or less sets nothing: 1/3 -> 0, 1/2 -> 0 (tie to even); and steps
  // that give no u at all.
  ClearGrid(*grid);
  for (float step : {3.0f, 2.0f, -0.125f, 0.0f, std::numeric_limits<float>::quiet_NaN()})
    VoxelizeTriangle(*grid, {0, 0, 0}, {10, 0, 0}, {0, 10, 0}, step);
  EXPECT_EQ(CountSetCells(*grid), 0);
  // 1 / 0.8 = 1.25 -> u = 1: one line per half, two samples each.
  VoxelizeTriangle(*grid, {0, 0, 0}, {10, 0, 0}, {0, 10, 0}, 0.8f);
  EXPECT_GT(CountSetCells(*grid), 0);
  EXPECT_LE(CountSetCells(*grid), 4);
}

TEST(VoxelGrid, TriangleSweepCoversTheTriangle) {
  auto grid = NewGrid();
  VoxelOffset = {5, 5, 10};
  // A right triangle with legs of 30 cells in the plane z = 10 (grid cells), A at (5, 5).
  const TVec3 a = {0, 0, 0}, b = {30, 0, 0}, c = {0, 30, 0};
  VoxelizeTriangle(*grid, a, b, c, 0.02f);  // u = 50: samples closer than a cell
  for (int x = 0; x < kVoxelGridSize; ++x)
    for (int y = 0; y < kVoxelGridSize; ++y) {
      const int i = x - 5, j = y - 5;
      const bool inside = i >= 1 && j >= 1 && i + j <= 28;
      const bool near = i >= -1 && j >= -1 && i + j <= 31;
      if (inside) {
        EXPECT_TRUE(On(*grid, x, y, 10)) << i << "," << j;
      }
      if (!near) {
        EXPECT_FALSE(On(*grid, x, y, 10)) << i << "," << j;
      }
    }
  int onPlane = 0;
  for (int x = 0; x < kVoxelGridSize; ++x)
    for (int y = 0; y < kVoxelGridSize; ++y) onPlane += On(*grid, x, y, 10);
  EXPECT_EQ(CountSetCells(*grid), onPlane);  // nothing off the plane

  // At the pixelize step the sweep ends exactly on B and C.
  ClearGrid(*grid);
  VoxelizeTriangle(*grid, a, b, c, 0.125f);
  EXPECT_TRUE(On(*grid, 35, 5, 10));
  EXPECT_TRUE(On(*grid, 5, 35, 10));

  // The corners are rotated (degrees, x then y then z) before the offset is added.
  ClearGrid(*grid);
  VoxelOffset = {25, 25, 25};
  VoxelAngles = {0, 0, 90};
  VoxelizeTriangle(*grid, {5, 0, 0}, {5, 0, 0}, {5, 0, 0}, 0.125f);
  EXPECT_TRUE(On(*grid, 25, 30, 25));
  EXPECT_EQ(CountSetCells(*grid), 1);
}

TEST(VoxelGrid, FacesSweptOnTwoThreadsSetTheCellsOfOneSweep) {
  // The duck as the pixelize effect holds it: file coordinates scaled by 0.008.
  std::vector<TVec3> vertices;
  std::vector<TFace> faces;
  for (const TModelMesh& mesh : ModelFileMeshes("duck")) {
    const uint32_t base = static_cast<uint32_t>(vertices.size());
    for (const auto& v : mesh.Vertices) vertices.push_back({v[0] * 0.008f, v[1] * 0.008f, v[2] * 0.008f});
    for (const auto& f : mesh.Faces) faces.push_back({base + f[0], base + f[1], base + f[2]});
  }
  ASSERT_GT(faces.size(), 1000u) << "the duck is large enough to be split";
  auto grid = NewGrid();
  auto serial = std::make_unique<T3DFramebuffer>();
  auto scratch = std::make_unique<T3DFramebuffer>();
  VoxelOffset = {25, 25, 25};
  for (const float t : {0.0f, 0.37f, 2.9f}) {
    VoxelAngles = {0, 150 * t, 35 * t};
    ClearGrid(*serial);
    for (const TFace& face : faces)
      VoxelizeTriangle(*serial, vertices[face.A], vertices[face.B], vertices[face.C], 0.125f);
    // Whatever the scratch grid held before, and with one cell on beforehand that no face sets.
    std::memset(scratch->Cells, 1, sizeof(scratch->Cells));
    ClearGrid(*grid);
    grid->Cells[0][0][0] = 1;
    serial->Cells[0][0][0] = 1;
    VoxelizeFaces(*grid, vertices, faces.data(), static_cast<int32_t>(faces.size()), 0.125f, *scratch);
    EXPECT_EQ(std::memcmp(grid->Cells, serial->Cells, sizeof(grid->Cells)), 0) << "t = " << t;
    int on = 0;
    for (const auto& plane : grid->Cells)
      for (const auto& row : plane)
        for (const uint8_t cell : row) on += cell;
    EXPECT_GT(on, 1000) << "t = " << t;
  }
  // The angles change right before every threaded sweep (as they do every frame): each sweep
  // still turns every face by its own angles, in both threads.
  constexpr int kAngleSets = 5;
  std::vector<std::unique_ptr<T3DFramebuffer>> expected;
  for (int k = 0; k < kAngleSets; ++k) {
    VoxelAngles = {3.0f * k, 41.0f * k, 17.0f * k};
    expected.push_back(std::make_unique<T3DFramebuffer>());
    for (const TFace& face : faces)
      VoxelizeTriangle(*expected.back(), vertices[face.A], vertices[face.B], vertices[face.C], 0.125f);
  }
  int wrongSweeps = 0;
  for (int i = 0; i < 300; ++i) {
    const int k = i % kAngleSets;
    VoxelAngles = {3.0f * k, 41.0f * k, 17.0f * k};
    ClearGrid(*grid);
    VoxelizeFaces(*grid, vertices, faces.data(), static_cast<int32_t>(faces.size()), 0.125f, *scratch);
    wrongSweeps += std::memcmp(grid->Cells, expected[k]->Cells, sizeof(grid->Cells)) != 0;
  }
  EXPECT_EQ(wrongSweeps, 0) << "of 300 sweeps";

  // A mesh too small to split: the same cells as well.
  ClearGrid(*grid);
  ClearGrid(*serial);
  VoxelizeFaces(*grid, vertices, faces.data(), 3, 0.125f, *scratch);
  for (int f = 0; f < 3; ++f)
    VoxelizeTriangle(*serial, vertices[faces[f].A], vertices[faces[f].B], vertices[faces[f].C], 0.125f);
  EXPECT_EQ(std::memcmp(grid->Cells, serial->Cells, sizeof(grid->Cells)), 0);
}
