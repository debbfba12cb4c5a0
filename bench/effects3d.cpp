// CPU cost of the 3D effects' per-frame work without GL: scan-converting the duck into the
// voxel grid as the pixelize effect does, filling the metaball field from 32 balls, its
// normals, and marching cubes over the 50^3 field (the vertices counted, not drawn).
#include "common/Models3DS.h"
#include "effects/KGL2ScalarField.h"
#include "effects/Metaballs.h"
#include "effects/VoxelGrid.h"
#include "engine/KGL2Classes.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

struct TDuckTriangle {
  TVec3 A, B, C;
};

// The duck's faces in file coordinates scaled by 0.008, as the pixelize effect's model.
const std::vector<TDuckTriangle>& DuckTriangles() {
  static const std::vector<TDuckTriangle> triangles = [] {
    std::vector<TDuckTriangle> out;
    for (const TModelMesh& mesh : ModelFileMeshes("duck")) {
      const auto corner = [&](uint16_t i) {
        const auto& v = mesh.Vertices.at(i);
        return TVec3{v[0] * 0.008f, v[1] * 0.008f, v[2] * 0.008f};
      };
      for (const auto& f : mesh.Faces) out.push_back({corner(f[0]), corner(f[1]), corner(f[2])});
    }
    if (out.empty()) {
      std::fprintf(stderr, "no duck model\n");
      std::exit(1);
    }
    return out;
  }();
  return triangles;
}

// The field of the metaball effect at bar time t, normals included.
std::unique_ptr<TKGLScalarField> MetaballField(float t) {
  auto field = std::make_unique<TKGLScalarField>();
  field->Size = kMetaballFieldSize;
  field->SetupGrid();
  TVec3 balls[kMetaballCount];
  PlaceMetaballs(t, balls);
  AccumulateMetaballs(*field, balls, kMetaballCount);
  field->ComputeFieldNormals();
  return field;
}

void BM_VoxelizeDuck(benchmark::State& state) {
  const std::vector<TDuckTriangle>& triangles = DuckTriangles();
  auto grid = std::make_unique<T3DFramebuffer>();
  const float barTime = 1.3f;  // the pixelize effect's rotation at this bar time
  VoxelOffset = {25, 25, 25};
  VoxelAngles = {0, 150 * barTime, 35 * barTime};
  for (auto _ : state) {
    ClearGrid(*grid);
    for (const TDuckTriangle& t : triangles) VoxelizeTriangle(*grid, t.A, t.B, t.C, 0.125f);
    benchmark::DoNotOptimize(grid->Cells);
  }
  state.counters["triangles"] = static_cast<double>(triangles.size());
  state.counters["cells_on"] = CountSetCells(*grid);
}
BENCHMARK(BM_VoxelizeDuck)->Unit(benchmark::kMillisecond);

// The same sweep as the pixelize effect runs it: the faces split over two threads.
void BM_VoxelizeDuckFaces(benchmark::State& state) {
  const std::vector<TDuckTriangle>& triangles = DuckTriangles();
  std::vector<TVec3> vertices;
  std::vector<TFace> faces;
  for (const TDuckTriangle& t : triangles) {
    const uint32_t base = static_cast<uint32_t>(vertices.size());
    vertices.insert(vertices.end(), {t.A, t.B, t.C});
    faces.push_back({base, base + 1, base + 2});
  }
  auto grid = std::make_unique<T3DFramebuffer>();
  auto scratch = std::make_unique<T3DFramebuffer>();
  const float barTime = 1.3f;
  VoxelOffset = {25, 25, 25};
  VoxelAngles = {0, 150 * barTime, 35 * barTime};
  for (auto _ : state) {
    ClearGrid(*grid);
    VoxelizeFaces(*grid, vertices, faces.data(), static_cast<int32_t>(faces.size()), 0.125f,
                  *scratch);
    benchmark::DoNotOptimize(grid->Cells);
  }
  state.counters["cells_on"] = CountSetCells(*grid);
}
BENCHMARK(BM_VoxelizeDuckFaces)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_AccumulateMetaballs(benchmark::State& state) {
  auto field = std::make_unique<TKGLScalarField>();
  field->Size = kMetaballFieldSize;
  field->SetupGrid();
  TVec3 balls[kMetaballCount];
  float t = 0;
  for (auto _ : state) {
    PlaceMetaballs(t, balls);
    AccumulateMetaballs(*field, balls, kMetaballCount);
    benchmark::DoNotOptimize(field->Points[25][25][25].Value);
    t += 1.0f / 60;
  }
}
BENCHMARK(BM_AccumulateMetaballs)->Unit(benchmark::kMillisecond);

void BM_FieldNormals(benchmark::State& state) {
  auto field = MetaballField(3.7f);
  for (auto _ : state) {
    field->ComputeFieldNormals();
    benchmark::DoNotOptimize(field->Points[25][25][25].Normal);
  }
}
BENCHMARK(BM_FieldNormals)->Unit(benchmark::kMillisecond);

void BM_PolygoniseMetaballs(benchmark::State& state) {
  auto field = MetaballField(3.7f);
  int64_t vertices = 0;
  for (auto _ : state) {
    vertices = 0;
    field->Polygonise([&](const TVec3& p, const TVec3&, int32_t, int32_t, int32_t, int) {
      benchmark::DoNotOptimize(p);
      ++vertices;
    });
  }
  state.counters["vertices"] = static_cast<double>(vertices);
}
BENCHMARK(BM_PolygoniseMetaballs)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
