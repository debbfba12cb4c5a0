#include "effects/KGL2ScalarField.h"

#include <GL/gl.h>

#include <algorithm>

void TKGLScalarField::SetupGrid() {
  Size = std::clamp(Size, int32_t{0}, kMaxFieldSize);
  const int32_t n = Size;
  setupSize_ = n;
  if (n == 0) return;  // no cubes, and the positions would divide by zero
  const float cells = static_cast<float>(n);
  for (int32_t x = 0; x <= n; ++x)
    for (int32_t y = 0; y <= n; ++y)
      for (int32_t z = 0; z <= n; ++z)
        Points[x][y][z].Position = {2.0f * static_cast<float>(x) / cells - 1.0f,
                                    2.0f * static_cast<float>(y) / cells - 1.0f,
                                    1.0f - 2.0f * static_cast<float>(z) / cells};
  for (int32_t x = 0; x < n; ++x)
    for (int32_t y = 0; y < n; ++y)
      for (int32_t z = 0; z < n; ++z)
        for (int k = 0; k < kCubeCornerCount; ++k)
          Cubes[x][y][z].Corners[k] = &Points[x + kCubeCornerOffsets[k][0]]
                                             [y + kCubeCornerOffsets[k][1]]
                                             [z + kCubeCornerOffsets[k][2]];
}

void TKGLScalarField::ComputeFieldNormals() {
  const int32_t n = std::clamp(Size, int32_t{0}, kMaxFieldSize);
  for (int32_t x = 1; x < n; ++x)
    for (int32_t y = 1; y < n; ++y)
      for (int32_t z = 1; z < n; ++z) {
        TVec3 normal = {Points[x - 1][y][z].Value - Points[x + 1][y][z].Value,
                        Points[x][y - 1][z].Value - Points[x][y + 1][z].Value,
                        Points[x][y][z - 1].Value - Points[x][y][z + 1].Value};
        const float length =
            std::sqrt(normal.X * normal.X + normal.Y * normal.Y + normal.Z * normal.Z);
        if (length != 0) normal = {normal.X / length, normal.Y / length, normal.Z / length};
        Points[x][y][z].Normal = normal;
      }
}

void TKGLScalarField::DrawSurface(TCubeOrder order) {
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glInterleavedArrays(GL_T2F_N3F_V3F, 0, Batch);
  int32_t vertices = 0, corners = 0;
  auto startBatch = [&] {
    vertices = corners = 0;
    // A new stamp forgets every edge's vertex without clearing the table; after 2^32 batches
    // the stamps could repeat, so the table is cleared then.
    if (++batchStamp_ == 0) {
      for (TEdgeVertex& edge : edgeVertex_) edge.Stamp = 0;
      batchStamp_ = 1;
    }
  };
  auto flush = [&] {
    if (corners > 0) glDrawElements(GL_TRIANGLES, corners, GL_UNSIGNED_INT, BatchIndices);
    startBatch();
  };
  startBatch();
  // The vertex the default cube order ends on: the last one of the last cube in that order.
  int32_t lastCube = -1;
  TVec3 lastNormal = {0, 0, 0};
  Polygonise([&](const TVec3& position, const TVec3& normal, int32_t x, int32_t y, int32_t z,
                 int edge) {
    const int32_t cube = (x * (kMaxFieldSize + 1) + y) * (kMaxFieldSize + 1) + z;
    if (cube >= lastCube) {
      lastCube = cube;
      lastNormal = normal;
    }
    // Corners of a triangle stay in one batch: start a new one before a triangle's first corner
    // when a whole triangle might not fit.
    if (corners % 3 == 0 && corners + 3 > kSurfaceBatchVertices) flush();
    const int* ends = kCubeEdgeCorners[edge];
    const int* a = kCubeCornerOffsets[ends[0]];
    const int* b = kCubeCornerOffsets[ends[1]];
    const int32_t axis = a[0] != b[0] ? 0 : a[1] != b[1] ? 1 : 2;
    const int32_t px = x + std::min(a[0], b[0]), py = y + std::min(a[1], b[1]),
                  pz = z + std::min(a[2], b[2]);
    const int32_t key = ((px * (kMaxFieldSize + 1) + py) * (kMaxFieldSize + 1) + pz) * 3 + axis;
    TEdgeVertex& made = edgeVertex_[key];
    if (made.Stamp != batchStamp_) {
      made = {batchStamp_, static_cast<uint32_t>(vertices)};
      Batch[vertices++] = {normal.X, normal.Y, normal, position};
    }
    BatchIndices[corners++] = made.Vertex;
  }, order);
  flush();
  glPopClientAttrib();
  // Drawing from arrays leaves the current normal and texture coordinate undefined; leave the
  // ones the vertex-by-vertex path leaves, for later drawing with lighting or texturing and
  // none of its own.
  if (lastCube >= 0) {
    glTexCoord2f(lastNormal.X, lastNormal.Y);
    glNormal3fv(&lastNormal.X);
  }
}

void TKGLScalarField::DrawSurfaceImmediate() const {
  glBegin(GL_TRIANGLES);
  Polygonise([](const TVec3& position, const TVec3& normal, int32_t, int32_t, int32_t, int) {
    glTexCoord2f(normal.X, normal.Y);
    glNormal3fv(&normal.X);
    glVertex3fv(&position.X);
  });
  glEnd();
}
