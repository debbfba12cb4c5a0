// TKGLScalarField: a scalar field sampled on a regular grid of up to 50 cubes per axis, turned
// into the triangle surface at the level 1.0 by marching cubes and drawn with per-vertex
// normals (which also serve as texture coordinates, for sphere mapping).
//
// Contract: all storage is fixed inside the object (about 14 MB: create it on the heap) and
// starts zeroed; nothing is allocated afterwards. The owner sets Size, calls SetupGrid once,
// then writes the Values of Points, ComputeFieldNormals and DrawSurface every frame. A Size
// above 50 is clamped to 50 by SetupGrid, one below 0 to 0. The grid spans -1 to 1 on each
// axis, z reversed. The object holds pointers into itself and cannot be copied.
#pragma once
#include "effects/MarchingCubesTables.h"
#include "engine/Vectors.h"

#include <cmath>
#include <cstdint>

constexpr int32_t kMaxFieldSize = 50;
// The surface is drawn where the field crosses this value.
constexpr float kSurfaceLevel = 1.0f;

struct TFieldPoint {
  TVec3 Position = {0, 0, 0};
  TVec3 Normal = {0, 0, 0};
  float Value = 0;
};

// One vertex as DrawSurface hands it to GL (the GL_T2F_N3F_V3F interleaved layout).
struct TSurfaceVertex {
  float S, T;
  TVec3 Normal;
  TVec3 Position;
};
static_assert(sizeof(TSurfaceVertex) == 32, "T2F_N3F_V3F is 8 packed floats");
// DrawSurface hands the vertices over in batches of this many (a whole number of triangles).
constexpr int32_t kSurfaceBatchVertices = 3 * 21846;
// Grid edges: three per point (along x, y and z), for finding a vertex already made on an edge.
constexpr int32_t kFieldEdgeCount = (kMaxFieldSize + 1) * (kMaxFieldSize + 1) * (kMaxFieldSize + 1) * 3;

// A cube's eight corners, numbered as in MarchingCubesTables.h.
struct TFieldCube {
  TFieldPoint* Corners[kCubeCornerCount] = {};
};

// The order DrawSurface visits the cubes in: each axis from 0 up (the default), or from the far
// end down. The triangles are the same; drawing the ones nearer the eye first lets the depth
// test turn away hidden fragments before they are textured.
struct TCubeOrder {
  bool DownX = false, DownY = false, DownZ = false;
};

class TKGLScalarField {
 public:
  TKGLScalarField() = default;
  TKGLScalarField(const TKGLScalarField&) = delete;
  TKGLScalarField& operator=(const TKGLScalarField&) = delete;

  // Point positions and the corner pointers of every cube for the current Size.
  void SetupGrid();
  // Normal of each interior point: the central difference from high values to low ones,
  // normalised (a zero vector stays zero). Points on the outer faces are left alone.
  void ComputeFieldNormals();
  // The level-1.0 surface as GL_TRIANGLES: per vertex a texture coordinate (normal x, y), the
  // normal and the position. Each grid edge's vertex is made once and shared by the triangles
  // of the cubes around it (so the renderer transforms each once): the vertices are gathered
  // into Batch, the corners into BatchIndices, and drawn with one glDrawElements per full batch
  // (one for any surface of the metaball effect); the client array state is restored afterwards.
  // Leaves the current normal and texture coordinate DrawSurfaceImmediate leaves (its last
  // vertex's, whatever the order).
  void DrawSurface(TCubeOrder order = {});
  // The same triangles between one glBegin(GL_TRIANGLES) and glEnd, a vertex at a time
  // (several times slower under a software renderer).
  void DrawSurfaceImmediate() const;

  // Marching cubes over every cube, z innermost, calling
  // emit(position, normal, cubeX, cubeY, cubeZ, edge) for each triangle vertex in order (three
  // calls make one triangle). DrawSurface draws exactly these vertices.
  template <class Emit>
  void Polygonise(Emit&& emit, TCubeOrder order = {}) const;

  int32_t Size = 0;
  TFieldPoint Points[kMaxFieldSize + 1][kMaxFieldSize + 1][kMaxFieldSize + 1];
  TFieldCube Cubes[kMaxFieldSize + 1][kMaxFieldSize + 1][kMaxFieldSize + 1];
  TSurfaceVertex Batch[kSurfaceBatchVertices];  // DrawSurface's vertex array
  uint32_t BatchIndices[kSurfaceBatchVertices];  // DrawSurface's triangle corners

 private:
  // The Size SetupGrid resolved corners for: cubes beyond it have none, whatever Size says now.
  int32_t setupSize_ = 0;
  // The Batch index of each grid edge's vertex, valid while its stamp equals batchStamp_; side
  // by side so that looking an edge up touches one cache line.
  struct TEdgeVertex {
    uint32_t Stamp;
    uint32_t Vertex;
  };
  TEdgeVertex edgeVertex_[kFieldEdgeCount];
  uint32_t batchStamp_ = 0;
  // Polygonise's record of the points below the level (rebuilt on every call).
  mutable uint8_t below_[kMaxFieldSize + 1][kMaxFieldSize + 1][kMaxFieldSize + 1];
};

// The surface vertex on the edge from p (value a) to q (value b): p itself when |a| is exactly
// 1, else q when |b| is exactly 1, else p when a equals b, else linear interpolation of
// position and normal (the normal is not renormalised).
inline void SurfaceVertex(const TFieldPoint& p, const TFieldPoint& q, TVec3& position,
                          TVec3& normal) {
  const float a = p.Value, b = q.Value;
  const TFieldPoint* corner = nullptr;
  if (std::fabs(a) == kSurfaceLevel)
    corner = &p;
  else if (std::fabs(b) == kSurfaceLevel)
    corner = &q;
  else if (a == b)
    corner = &p;
  if (corner) {
    position = corner->Position;
    normal = corner->Normal;
    return;
  }
  const float mu = (kSurfaceLevel - a) / (b - a);
  position = {p.Position.X + mu * (q.Position.X - p.Position.X),
              p.Position.Y + mu * (q.Position.Y - p.Position.Y),
              p.Position.Z + mu * (q.Position.Z - p.Position.Z)};
  normal = {p.Normal.X + mu * (q.Normal.X - p.Normal.X),
            p.Normal.Y + mu * (q.Normal.Y - p.Normal.Y),
            p.Normal.Z + mu * (q.Normal.Z - p.Normal.Z)};
}

template <class Emit>
void TKGLScalarField::Polygonise(Emit&& emit, TCubeOrder order) const {
  const TMarchingCubesTables& tables = MarchingCubesTables();
  const int32_t n = Size < setupSize_ ? Size : setupSize_;
  TVec3 positions[kCubeEdgeCount];
  TVec3 normals[kCubeEdgeCount];
  // Which points lie below the level, one byte each: a cube's case then comes from a small
  // array rather than from eight points scattered over the grid.
  for (int32_t x = 0; x <= n; ++x)
    for (int32_t y = 0; y <= n; ++y)
      for (int32_t z = 0; z <= n; ++z) below_[x][y][z] = Points[x][y][z].Value < kSurfaceLevel;
  for (int32_t i = 0; i < n; ++i)
    for (int32_t j = 0; j < n; ++j) {
      const int32_t x = order.DownX ? n - 1 - i : i;
      const int32_t y = order.DownY ? n - 1 - j : j;
      const uint8_t* b00 = below_[x][y];
      const uint8_t* b10 = below_[x + 1][y];
      const uint8_t* b01 = below_[x][y + 1];
      const uint8_t* b11 = below_[x + 1][y + 1];
      for (int32_t k = 0; k < n; ++k) {
        const int32_t z = order.DownZ ? n - 1 - k : k;
        // Corners 0, 1, 4, 5 lie in the square at z, corners 3, 2, 7, 6 in the one at z + 1.
        const unsigned cubeIndex =
            (b00[z] << 0) | (b10[z] << 1) | (b00[z + 1] << 3) | (b10[z + 1] << 2) |
            (b01[z] << 4) | (b11[z] << 5) | (b01[z + 1] << 7) | (b11[z + 1] << 6);
        const unsigned edges = tables.EdgeTable[cubeIndex];
        if (edges == 0) continue;
        // The same points SetupGrid resolved into Cubes[x][y][z], found without its pointers.
        const TFieldPoint* corners[kCubeCornerCount];
        for (int c = 0; c < kCubeCornerCount; ++c)
          corners[c] = &Points[x + kCubeCornerOffsets[c][0]][y + kCubeCornerOffsets[c][1]]
                              [z + kCubeCornerOffsets[c][2]];
        for (int e = 0; e < kCubeEdgeCount; ++e)
          if (edges & (1u << e))
            SurfaceVertex(*corners[kCubeEdgeCorners[e][0]], *corners[kCubeEdgeCorners[e][1]],
                          positions[e], normals[e]);
        const int8_t* row = tables.TriangleTable[cubeIndex];
        for (int r = 0; row[r] >= 0; ++r) emit(positions[row[r]], normals[row[r]], x, y, z, row[r]);
      }
    }
}
