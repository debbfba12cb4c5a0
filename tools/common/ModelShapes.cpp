#include "common/ModelShapes.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

constexpr double kPi = 3.14159265358979323846;

using TPos = std::array<float, 3>;

// A (columns + 1) x (rows + 1) grid of vertices over a surface given by pos(column, row) with
// column in [0, columns) and row in [0, rows] (row `rows` is asked for only when rows do not wrap).
// The last column repeats column 0's position exactly, and with wrapRows the last row repeats
// row 0's, so seams close by position. Each cell gives the triangles (v00, v01, v11) and
// (v00, v11, v10): outward when d(pos)/d(row) x d(pos)/d(column) points out. Triangles whose
// corners share a position (at poles) are left out.
template <class PosFn>
TModelMesh GridSurface(const std::string& name, int32_t columns, int32_t rows, bool wrapRows,
                       PosFn pos) {
  const size_t vertexCount = static_cast<size_t>(columns + 1) * static_cast<size_t>(rows + 1);
  if (columns < 3 || rows < 2 || vertexCount > 65535)
    throw std::invalid_argument("surface grid of " + std::to_string(columns) + " x " +
                                std::to_string(rows) + " cells cannot be written");
  TModelMesh mesh;
  mesh.Name = name;
  for (int32_t j = 0; j <= rows; ++j)
    for (int32_t i = 0; i <= columns; ++i) {
      mesh.Vertices.push_back(pos(i % columns, wrapRows ? j % rows : j));
      mesh.TexCoords.push_back({static_cast<float>(i) / static_cast<float>(columns),
                                1.0f - static_cast<float>(j) / static_cast<float>(rows)});
    }
  auto at = [columns](int32_t i, int32_t j) { return static_cast<uint16_t>(j * (columns + 1) + i); };
  auto distinct = [&mesh](uint16_t a, uint16_t b, uint16_t c) {
    const TPos& pa = mesh.Vertices[a];
    const TPos& pb = mesh.Vertices[b];
    const TPos& pc = mesh.Vertices[c];
    return pa != pb && pb != pc && pa != pc;
  };
  for (int32_t j = 0; j < rows; ++j)
    for (int32_t i = 0; i < columns; ++i) {
      const uint16_t v00 = at(i, j), v10 = at(i + 1, j), v01 = at(i, j + 1), v11 = at(i + 1, j + 1);
      if (distinct(v00, v01, v11)) mesh.Faces.push_back({v00, v01, v11});
      if (distinct(v00, v11, v10)) mesh.Faces.push_back({v00, v11, v10});
    }
  return mesh;
}

// Unit-sphere point for longitude column i of `slices` and row j of `stacks` from the north pole.
// The poles are exact so every vertex of a pole row has the same position.
TPos SpherePoint(int32_t i, int32_t j, int32_t slices, int32_t stacks) {
  if (j == 0) return {0.0f, 0.0f, 1.0f};
  if (j == stacks) return {0.0f, 0.0f, -1.0f};
  const double theta = 2.0 * kPi * i / slices;
  const double phi = kPi * j / stacks;
  return {static_cast<float>(std::sin(phi) * std::cos(theta)),
          static_cast<float>(std::sin(phi) * std::sin(theta)), static_cast<float>(std::cos(phi))};
}

}  // namespace

TModelMesh BoxPixelCube(const std::string& name) {
  // Per side: a corner and two edge vectors u, v with u x v pointing out of the cube.
  struct TSide {
    TPos Corner, U, V;
  };
  static const TSide kSides[6] = {
      {{0.5f, -0.5f, -0.5f}, {0, 1, 0}, {0, 0, 1}},    // +X
      {{-0.5f, -0.5f, -0.5f}, {0, 0, 1}, {0, 1, 0}},   // -X
      {{-0.5f, 0.5f, -0.5f}, {0, 0, 1}, {1, 0, 0}},    // +Y
      {{-0.5f, -0.5f, -0.5f}, {1, 0, 0}, {0, 0, 1}},   // -Y
      {{-0.5f, -0.5f, 0.5f}, {1, 0, 0}, {0, 1, 0}},    // +Z
      {{-0.5f, -0.5f, -0.5f}, {0, 1, 0}, {1, 0, 0}},   // -Z
  };
  TModelMesh mesh;
  mesh.Name = name;
  for (const TSide& side : kSides) {
    const uint16_t first = static_cast<uint16_t>(mesh.Vertices.size());
    const float steps[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (const auto& s : steps) {
      TPos p;
      for (int k = 0; k < 3; ++k) p[k] = side.Corner[k] + s[0] * side.U[k] + s[1] * side.V[k];
      mesh.Vertices.push_back(p);
      mesh.TexCoords.push_back({s[0], s[1]});
    }
    mesh.Faces.push_back({first, static_cast<uint16_t>(first + 1), static_cast<uint16_t>(first + 2)});
    mesh.Faces.push_back({first, static_cast<uint16_t>(first + 2), static_cast<uint16_t>(first + 3)});
  }
  return mesh;
}

TModelMesh UvSphere(const std::string& name, float radius, int32_t slices, int32_t stacks) {
  return Ellipsoid(name, {0, 0, 0}, {radius, radius, radius}, slices, stacks);
}

TModelMesh Ellipsoid(const std::string& name, const std::array<float, 3>& centre,
                     const std::array<float, 3>& semiAxes, int32_t slices, int32_t stacks) {
  // Columns run east around Z, rows south from the pole: d/d(row) x d/d(column) points out.
  return GridSurface(name, slices, stacks, false, [&](int32_t i, int32_t j) {
    const TPos unit = SpherePoint(i, j, slices, stacks);
    return TPos{centre[0] + semiAxes[0] * unit[0], centre[1] + semiAxes[1] * unit[1],
                centre[2] + semiAxes[2] * unit[2]};
  });
}

TModelMesh Torus(const std::string& name, float major, float minor, int32_t segments,
                 int32_t sides) {
  // Columns run around Z, rows run around the tube downwards from its outer equator, which makes
  // d/d(row) x d/d(column) point away from the tube's centre line.
  return GridSurface(name, segments, sides, true, [&](int32_t i, int32_t j) {
    const double theta = 2.0 * kPi * i / segments;
    const double phi = -2.0 * kPi * j / sides;
    const double ring = major + minor * std::cos(phi);
    return TPos{static_cast<float>(ring * std::cos(theta)), static_cast<float>(ring * std::sin(theta)),
                static_cast<float>(minor * std::sin(phi))};
  });
}

TModelMesh DuckMesh(const std::string& name) {
  TModelMesh duck;
  duck.Name = name;
  // Body, head above its front, flat beak in front of the head, small raised tail at the back.
  AppendMesh(duck, Ellipsoid("", {0, 0, 0}, {1900, 1300, 1100}, 48, 24));
  AppendMesh(duck, Ellipsoid("", {1300, 0, 1400}, {800, 760, 800}, 32, 16));
  AppendMesh(duck, Ellipsoid("", {2100, 0, 1300}, {550, 350, 150}, 24, 12));
  AppendMesh(duck, Ellipsoid("", {-1750, 0, 550}, {550, 380, 260}, 16, 8));
  // Centre on the bounding box so the model's origin is the middle of the duck.
  TPos low = duck.Vertices.front(), high = low;
  for (const TPos& p : duck.Vertices)
    for (int k = 0; k < 3; ++k) {
      low[k] = std::min(low[k], p[k]);
      high[k] = std::max(high[k], p[k]);
    }
  MoveMesh(duck, -(low[0] + high[0]) / 2, -(low[1] + high[1]) / 2, -(low[2] + high[2]) / 2);
  return duck;
}

void AppendMesh(TModelMesh& target, const TModelMesh& part) {
  const size_t base = target.Vertices.size();
  if (base + part.Vertices.size() > 65535)
    throw std::invalid_argument("mesh \"" + target.Name + "\" would exceed 65535 vertices");
  // Texture coordinates stay parallel to the vertices: when either side has them, vertices
  // without any get (0, 0).
  const bool withTexCoords = !target.TexCoords.empty() || !part.TexCoords.empty();
  target.Vertices.insert(target.Vertices.end(), part.Vertices.begin(), part.Vertices.end());
  if (withTexCoords) {
    target.TexCoords.resize(base, {0.0f, 0.0f});
    if (part.TexCoords.size() == part.Vertices.size())
      target.TexCoords.insert(target.TexCoords.end(), part.TexCoords.begin(), part.TexCoords.end());
    target.TexCoords.resize(target.Vertices.size(), {0.0f, 0.0f});
  }
  for (const auto& f : part.Faces)
    target.Faces.push_back({static_cast<uint16_t>(f[0] + base), static_cast<uint16_t>(f[1] + base),
                            static_cast<uint16_t>(f[2] + base)});
}

void MoveMesh(TModelMesh& mesh, float dx, float dy, float dz) {
  for (TPos& p : mesh.Vertices) {
    p[0] += dx;
    p[1] += dy;
    p[2] += dz;
  }
}
