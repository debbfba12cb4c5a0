// Marching cubes without GL: the tables against the standard ones, the closed surface they give
// on random fields, the interpolation rules, the field normals, and the metaball field of the
// "fuck" effect (ball paths, the accumulation box, a ball on a grid point, the picture index
// limit).
#include "effects/KGL2ScalarField.h"
#include "effects/Metaballs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace {

struct TEmitted {
  TVec3 Position;
  TVec3 Normal;
  int32_t X, Y, Z;
  int Edge;
};

std::vector<TEmitted> Surface(const TKGLScalarField& field) {
  std::vector<TEmitted> out;
  field.Polygonise([&](const TVec3& p, const TVec3& n, int32_t x, int32_t y, int32_t z, int e) {
    out.push_back({p, n, x, y, z, e});
  });
  return out;
}

std::unique_ptr<TKGLScalarField> FieldOfSize(int32_t size, float value) {
  auto field = std::make_unique<TKGLScalarField>();
  field->Size = size;
  field->SetupGrid();
  for (int32_t x = 0; x <= size; ++x)
    for (int32_t y = 0; y <= size; ++y)
      for (int32_t z = 0; z <= size; ++z) field->Points[x][y][z].Value = value;
  return field;
}

// A grid edge as the pair of its grid points' flat indices, smaller first.
std::pair<int32_t, int32_t> GridEdge(const TEmitted& v) {
  const auto point = [&](int corner) {
    const int32_t stride = kMaxFieldSize + 1;
    return ((v.X + kCubeCornerOffsets[corner][0]) * stride + v.Y + kCubeCornerOffsets[corner][1]) *
               stride +
           v.Z + kCubeCornerOffsets[corner][2];
  };
  const int32_t a = point(kCubeEdgeCorners[v.Edge][0]), b = point(kCubeEdgeCorners[v.Edge][1]);
  return {std::min(a, b), std::max(a, b)};
}

TVec3 Minus(const TVec3& a, const TVec3& b) { return {a.X - b.X, a.Y - b.Y, a.Z - b.Z}; }
float Dot(const TVec3& a, const TVec3& b) { return a.X * b.X + a.Y * b.Y + a.Z * b.Z; }

// The triangles of a row, each rotated to start at its smallest edge (winding kept).
std::set<std::vector<int>> RowTriangles(const int8_t* row) {
  std::set<std::vector<int>> triangles;
  for (int i = 0; row[i] >= 0; i += 3) {
    std::vector<int> t = {row[i], row[i + 1], row[i + 2]};
    while (t[0] > t[1] || t[0] > t[2]) t = {t[1], t[2], t[0]};
    triangles.insert(t);
  }
  return triangles;
}

}  // namespace

TEST(ScalarField, TablesFollowTheCornerAndEdgeNumbering) {
  const TMarchingCubesTables& tables = MarchingCubesTables();
  int triangleTotal = 0;
  for (int index = 0; index < kCubeCaseCount; ++index) {
    uint16_t expectedMask = 0;
    for (int e = 0; e < kCubeEdgeCount; ++e) {
      const bool belowA = (index >> kCubeEdgeCorners[e][0]) & 1;
      const bool belowB = (index >> kCubeEdgeCorners[e][1]) & 1;
      if (belowA != belowB) expectedMask |= 1u << e;
    }
    EXPECT_EQ(tables.EdgeTable[index], expectedMask) << index;

    const int8_t* row = tables.TriangleTable[index];
    int length = 0;
    while (length < kTriangleRowLength && row[length] >= 0) ++length;
    ASSERT_LT(length, kTriangleRowLength) << index;  // always ended by -1
    ASSERT_EQ(length % 3, 0) << index;
    for (int i = length; i < kTriangleRowLength; ++i) EXPECT_EQ(row[i], -1) << index;
    triangleTotal += length / 3;
    uint16_t usedMask = 0;
    for (int i = 0; i < length; i += 3) {
      EXPECT_NE(row[i], row[i + 1]);
      EXPECT_NE(row[i], row[i + 2]);
      EXPECT_NE(row[i + 1], row[i + 2]);
      for (int k = 0; k < 3; ++k) usedMask |= 1u << row[i + k];
    }
    EXPECT_EQ(usedMask, expectedMask) << "row " << index << " uses other edges than its entry";
  }
  EXPECT_EQ(triangleTotal, 820);
  EXPECT_EQ(tables.EdgeTable[1], 0x109);
  EXPECT_EQ(tables.EdgeTable[2], 0x203);
  EXPECT_EQ(tables.EdgeTable[3], 0x30A);
  EXPECT_EQ(tables.TriangleTable[0][0], -1);
  EXPECT_EQ(tables.TriangleTable[255][0], -1);
  using Rows = std::set<std::vector<int>>;
  EXPECT_EQ(RowTriangles(tables.TriangleTable[1]), (Rows{{0, 8, 3}}));
  EXPECT_EQ(RowTriangles(tables.TriangleTable[2]), (Rows{{0, 1, 9}}));
  EXPECT_EQ(RowTriangles(tables.TriangleTable[3]), (Rows{{1, 8, 3}, {1, 9, 8}}));
  EXPECT_EQ(RowTriangles(tables.TriangleTable[4]), (Rows{{1, 2, 10}}));
  EXPECT_EQ(RowTriangles(tables.TriangleTable[254]), (Rows{{0, 3, 8}}));

  // Every cube without an ambiguous face (two diagonally opposite corners of a face below, the
  // other two not) takes the published standard row as it stands: 136 rows, checked by an
  // FNV-1a sum of their 16 entries in index order, and two of them in full.
  const auto hasAmbiguousFace = [](int index) {
    for (int axis = 0; axis < 3; ++axis)
      for (int side = 0; side < 2; ++side) {
        std::vector<int> below;
        for (int c = 0; c < kCubeCornerCount; ++c)
          if (kCubeCornerOffsets[c][axis] == side && ((index >> c) & 1)) below.push_back(c);
        if (below.size() != 2) continue;
        int differing = 0;
        for (int k = 0; k < 3; ++k)
          differing += kCubeCornerOffsets[below[0]][k] != kCubeCornerOffsets[below[1]][k];
        if (differing == 2) return true;
      }
    return false;
  };
  uint32_t checksum = 2166136261u;
  int plainRows = 0;
  for (int index = 0; index < kCubeCaseCount; ++index) {
    if (hasAmbiguousFace(index)) continue;
    ++plainRows;
    for (int8_t entry : tables.TriangleTable[index])
      checksum = (checksum ^ static_cast<uint8_t>(entry)) * 16777619u;
  }
  EXPECT_EQ(plainRows, 136);
  EXPECT_EQ(checksum, 0x6d4dc86bu) << "rows differ from the standard table";
  using Row = std::vector<int>;
  const auto fullRow = [&](int index) {
    return Row(tables.TriangleTable[index], tables.TriangleTable[index] + kTriangleRowLength);
  };
  EXPECT_EQ(fullRow(11), (Row{1, 11, 2, 1, 9, 11, 9, 8, 11, -1, -1, -1, -1, -1, -1, -1}));
  EXPECT_EQ(fullRow(23), (Row{2, 10, 9, 2, 9, 7, 2, 7, 3, 7, 9, 4, -1, -1, -1, -1}));
}

TEST(ScalarField, RandomFieldsGiveAClosedConsistentlyWoundSurface) {
  const int32_t size = 14;
  for (unsigned seed : {1u, 7u, 2024u}) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(0.4f, 1.6f);
    auto field = FieldOfSize(size, 0.5f);
    for (int32_t x = 1; x < size; ++x)
      for (int32_t y = 1; y < size; ++y)
        for (int32_t z = 1; z < size; ++z) field->Points[x][y][z].Value = value(random);
    const std::vector<TEmitted> vertices = Surface(*field);
    ASSERT_EQ(vertices.size() % 3, 0u);
    ASSERT_GT(vertices.size(), 300u) << seed;

    // Each directed triangle side must be met once, and its reverse once, by its neighbour.
    std::map<std::pair<std::pair<int32_t, int32_t>, std::pair<int32_t, int32_t>>, int> sides;
    for (size_t t = 0; t < vertices.size(); t += 3)
      for (int k = 0; k < 3; ++k)
        ++sides[{GridEdge(vertices[t + k]), GridEdge(vertices[t + (k + 1) % 3])}];
    int bad = 0;
    for (const auto& [side, count] : sides) {
      const auto reverse = sides.find({side.second, side.first});
      const int reverseCount = reverse == sides.end() ? 0 : reverse->second;
      if (count != 1 || reverseCount != 1) ++bad;
    }
    EXPECT_EQ(bad, 0) << "seed " << seed << ": sides not shared by exactly two triangles";
  }
}

TEST(ScalarField, UniformFieldsDrawNothingAndOneHighPointGivesEightTriangles) {
  for (float level : {0.0f, 0.999f, 1.0f, 5.0f}) {
    auto field = FieldOfSize(6, level);
    EXPECT_TRUE(Surface(*field).empty()) << level;
  }

  auto field = FieldOfSize(6, 0.5f);
  field->Points[3][3][3].Value = 2.0f;
  field->ComputeFieldNormals();
  const std::vector<TEmitted> vertices = Surface(*field);
  ASSERT_EQ(vertices.size(), 8u * 3u);
  std::set<std::vector<int32_t>> cubes;
  const TVec3 high = field->Points[3][3][3].Position;
  for (size_t t = 0; t < vertices.size(); t += 3) {
    cubes.insert({vertices[t].X, vertices[t].Y, vertices[t].Z});
    // The triangle faces away from the high point, towards the low values.
    TVec3 n;
    CrossVec3(Minus(vertices[t + 1].Position, vertices[t].Position),
              Minus(vertices[t + 2].Position, vertices[t].Position), n);
    EXPECT_GT(Dot(n, Minus(vertices[t].Position, high)), 0) << t / 3;
    // Value 1 lies two thirds of the way from 2 down to 0.5: 2/3 of a cell of 2/6.
    for (int k = 0; k < 3; ++k) {
      const TVec3 d = Minus(vertices[t + k].Position, high);
      EXPECT_NEAR(std::sqrt(Dot(d, d)), (2.0f / 3.0f) * (2.0f / 6.0f), 1e-6f);
    }
  }
  EXPECT_EQ(cubes.size(), 8u);
  for (const auto& cube : cubes)
    for (int32_t c : cube) EXPECT_TRUE(c == 2 || c == 3);
}

TEST(ScalarField, VertexInterpolationRules) {
  TFieldPoint p, q;
  p.Position = {0, 0, 0};
  p.Normal = {1, 0, 0};
  q.Position = {2, 4, 6};
  q.Normal = {0, 1, 0};
  TVec3 position, normal;
  const auto vertex = [&](float a, float b) {
    p.Value = a;
    q.Value = b;
    SurfaceVertex(p, q, position, normal);
  };
  vertex(1.0f, 3.0f);
  EXPECT_EQ(position.Z, 0.0f);
  vertex(-1.0f, 0.5f);  // |a| = 1 also takes P
  EXPECT_EQ(position.Z, 0.0f);
  vertex(0.5f, 1.0f);
  EXPECT_EQ(position.Z, 6.0f);
  EXPECT_EQ(normal.Y, 1.0f);
  vertex(0.25f, 0.25f);
  EXPECT_EQ(position.Z, 0.0f);
  vertex(0.5f, 1.5f);  // mu = 0.5; the normal is interpolated, not renormalised
  EXPECT_FLOAT_EQ(position.X, 1.0f);
  EXPECT_FLOAT_EQ(position.Y, 2.0f);
  EXPECT_FLOAT_EQ(position.Z, 3.0f);
  EXPECT_FLOAT_EQ(normal.X, 0.5f);
  EXPECT_FLOAT_EQ(normal.Y, 0.5f);

  // A point exactly at the level is the surface vertex of every edge it shares.
  auto field = FieldOfSize(4, 0.5f);
  field->Points[2][2][2].Value = 1.0f;
  const std::vector<TEmitted> vertices = Surface(*field);
  ASSERT_FALSE(vertices.empty());
  const TVec3 corner = field->Points[2][2][2].Position;
  for (const TEmitted& v : vertices) {
    EXPECT_EQ(v.Position.X, corner.X);
    EXPECT_EQ(v.Position.Y, corner.Y);
    EXPECT_EQ(v.Position.Z, corner.Z);
  }
}

TEST(ScalarField, GridPositionsCornersAndNormals) {
  auto field = FieldOfSize(4, 0.0f);
  EXPECT_EQ(field->Points[0][0][0].Position.X, -1.0f);
  EXPECT_EQ(field->Points[0][0][0].Position.Z, 1.0f);  // z runs the other way
  EXPECT_EQ(field->Points[4][4][4].Position.Y, 1.0f);
  EXPECT_EQ(field->Points[4][4][4].Position.Z, -1.0f);
  EXPECT_EQ(field->Points[1][2][3].Position.X, -0.5f);
  for (int k = 0; k < kCubeCornerCount; ++k)
    EXPECT_EQ(field->Cubes[1][2][3].Corners[k],
              &field->Points[1 + kCubeCornerOffsets[k][0]][2 + kCubeCornerOffsets[k][1]]
                            [3 + kCubeCornerOffsets[k][2]]);

  // A field rising along x: interior normals point to -x; face points keep what they had.
  for (int32_t x = 0; x <= 4; ++x)
    for (int32_t y = 0; y <= 4; ++y)
      for (int32_t z = 0; z <= 4; ++z) field->Points[x][y][z].Value = 3.0f * x;
  field->Points[0][2][2].Normal = {7, 7, 7};
  field->Points[2][4][2].Normal = {7, 7, 7};
  field->ComputeFieldNormals();
  EXPECT_EQ(field->Points[2][2][2].Normal.X, -1.0f);
  EXPECT_EQ(field->Points[3][1][3].Normal.Y, 0.0f);
  EXPECT_EQ(field->Points[0][2][2].Normal.X, 7.0f);
  EXPECT_EQ(field->Points[2][4][2].Normal.Y, 7.0f);
  EXPECT_EQ(field->Points[4][2][2].Normal.X, 0.0f);

  // A flat field leaves zero normals, not NaN.
  auto flat = FieldOfSize(4, 2.0f);
  flat->Points[2][2][2].Normal = {7, 7, 7};
  flat->ComputeFieldNormals();
  EXPECT_EQ(flat->Points[2][2][2].Normal.X, 0.0f);
  EXPECT_EQ(flat->Points[2][2][2].Normal.Y, 0.0f);
  EXPECT_EQ(flat->Points[2][2][2].Normal.Z, 0.0f);

  auto big = std::make_unique<TKGLScalarField>();
  big->Size = 60;
  big->SetupGrid();
  EXPECT_EQ(big->Size, kMaxFieldSize);
  EXPECT_EQ(big->Points[50][0][0].Position.X, 1.0f);
  EXPECT_NE(big->Cubes[49][49][49].Corners[6], nullptr);
}

TEST(Metaballs, BallPathsAndTheAccumulationBox) {
  TVec3 balls[kMetaballCount];
  PlaceMetaballs(2.0f, balls);
  EXPECT_FLOAT_EQ(balls[3].X, static_cast<float>(25 + 20 * std::sin(2.0 + 369.0)));
  EXPECT_FLOAT_EQ(balls[3].Y, static_cast<float>(25 + 20 * std::sin(2.8 + 639.0)));
  EXPECT_FLOAT_EQ(balls[3].Z, static_cast<float>(25 + 20 * std::sin(2.6 + 126.0)));
  for (const TVec3& b : balls)
    for (float c : {b.X, b.Y, b.Z}) EXPECT_TRUE(c >= 5 && c <= 45);

  auto field = FieldOfSize(kMetaballFieldSize, 9.0f);  // old values must all go
  field->Points[50][3][3].Value = 0;
  const TVec3 ball = {2.0f, 25.0f, 47.4f};
  AccumulateMetaballs(*field, &ball, 1);
  // x: 0 .. 8 (cut at 0); y: 19 .. 31; z: 41 .. 49 (cut at 49).
  EXPECT_FLOAT_EQ(field->Points[0][25][47].Value, 17.0f / (4.0f + 0.4f * 0.4f));
  EXPECT_GT(field->Points[8][19][41].Value, 0.0f);
  EXPECT_GT(field->Points[8][31][49].Value, 0.0f);
  EXPECT_EQ(field->Points[9][25][47].Value, 0.0f);
  EXPECT_EQ(field->Points[2][18][47].Value, 0.0f);
  EXPECT_EQ(field->Points[2][32][47].Value, 0.0f);
  EXPECT_EQ(field->Points[2][25][40].Value, 0.0f);
  EXPECT_EQ(field->Points[2][25][50].Value, 9.0f);  // index 50 is never written
  EXPECT_EQ(field->Points[40][40][0].Value, 0.0f);

  // Two balls add up.
  const TVec3 two[2] = {{10, 10, 10.5f}, {10, 12, 10.5f}};
  AccumulateMetaballs(*field, two, 2);
  EXPECT_FLOAT_EQ(field->Points[10][11][10].Value, 2 * 17.0f / 1.25f);

  // A ball exactly on a grid point stays finite, and so does everything drawn from it.
  const TVec3 onPoint = {20, 21, 22};
  AccumulateMetaballs(*field, &onPoint, 1);
  const float peak = field->Points[20][21][22].Value;
  EXPECT_TRUE(std::isfinite(peak));
  EXPECT_GT(peak, 1e12f);
  field->ComputeFieldNormals();
  const std::vector<TEmitted> vertices = Surface(*field);
  ASSERT_FALSE(vertices.empty());
  for (const TEmitted& v : vertices)
    for (float c : {v.Position.X, v.Position.Y, v.Position.Z, v.Normal.X, v.Normal.Y, v.Normal.Z})
      ASSERT_TRUE(std::isfinite(c));
}

TEST(Metaballs, PictureIndexStaysWithinTheImages) {
  EXPECT_EQ(MetaballImageIndex(0.0), 0);
  EXPECT_EQ(MetaballImageIndex(1.5), 2);
  EXPECT_EQ(MetaballImageIndex(2.5), 2);
  EXPECT_EQ(MetaballImageIndex(38.5), 38);
  EXPECT_EQ(MetaballImageIndex(39.4), 39);
  EXPECT_EQ(MetaballImageIndex(39.5), 39);
  EXPECT_EQ(MetaballImageIndex(40.0), 39);
  EXPECT_EQ(MetaballImageIndex(std::nan("")), 0);
  // The largest draw of the generator, 1 - 2^-32, still picks 39.
  EXPECT_EQ(MetaballImageIndex(static_cast<double>((1.0L - 0x1p-32L) * 39 + 1)), 39);
  EXPECT_EQ(MetaballImageIndex(std::fabs(40 * std::sin(1.5707963))), 39);
}
