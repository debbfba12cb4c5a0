// Vector arithmetic, point rotation and the shared random generator.
#include "engine/Vectors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace {

void ExpectVec(const TVec3& v, float x, float y, float z, float tolerance = 0.0f) {
  EXPECT_NEAR(v.X, x, tolerance);
  EXPECT_NEAR(v.Y, y, tolerance);
  EXPECT_NEAR(v.Z, z, tolerance);
}

}  // namespace

TEST(Vectors, CrossProductTriangleNormalsAndDifferenceOrder) {
  TVec3 r;
  CrossVec3({1, 0, 0}, {0, 1, 0}, r);
  ExpectVec(r, 0, 0, 1);
  CrossVec3({0, 1, 0}, {1, 0, 0}, r);
  ExpectVec(r, 0, 0, -1);
  CrossVec3({2, 3, 4}, {5, 6, 7}, r);
  ExpectVec(r, -3, 6, -3);

  TVec3 n;
  TriangleNormal({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, n);
  ExpectVec(n, 0, 0, 1);
  // The length is twice the area: it grows with the square of the size.
  TriangleNormal({{0, 0, 0}, {2, 0, 0}, {0, 2, 0}}, n);
  ExpectVec(n, 0, 0, 4);
  // Measured from V0, not from the origin.
  TriangleNormal({{1, 1, 1}, {3, 1, 1}, {1, 3, 1}}, n);
  ExpectVec(n, 0, 0, 4);

  VecFromTo({1, 1, 1}, {4, 5, 6}, r);
  ExpectVec(r, 3, 4, 5);
  AddVec3({1, 2, 3}, {0.5f, -2, 10}, r);
  ExpectVec(r, 1.5f, 0, 13);
}

TEST(Vectors, RecordLayoutsAreTheMemoryOrderGlReads) {
  TColor4 col;
  MakeColor4(col, 1, 0.5f, 0.25f, 1);
  float raw[4];
  std::memcpy(raw, &col, sizeof raw);
  EXPECT_EQ(raw[0], 1.0f);
  EXPECT_EQ(raw[1], 0.5f);
  EXPECT_EQ(raw[2], 0.25f);
  EXPECT_EQ(raw[3], 1.0f);

  TVec3 v;
  const TVec3 returned = MakeVec3(v, 7, 8, 9);
  ExpectVec(returned, 7, 8, 9);
  std::memcpy(raw, &v, sizeof(TVec3));
  EXPECT_EQ(raw[0], 7.0f);
  EXPECT_EQ(raw[2], 9.0f);
}

TEST(Vectors, NormalizeScalesToUnitAndLeavesZeroAlone) {
  TVec3 v = {3, 0, 4};
  NormalizeVec3(v);
  ExpectVec(v, 0.6f, 0, 0.8f, 1e-7f);
  TVec3 zero = {0, 0, 0};
  NormalizeVec3(zero);
  EXPECT_FALSE(std::isnan(zero.X) || std::isnan(zero.Y) || std::isnan(zero.Z));
  ExpectVec(zero, 0, 0, 0);
}

TEST(Vectors, RotationsTurnEachAxisTheDocumentedWay) {
  TVec3 p = {1, 0, 0};
  RotatePointXYZ(p, {0, 0, 90});
  ExpectVec(p, 0, 1, 0, 1e-6f);
  // About Y, positive angles turn X towards Z.
  p = {1, 0, 0};
  RotatePointXYZ(p, {0, 90, 0});
  ExpectVec(p, 0, 0, 1, 1e-6f);
  p = {0, 1, 0};
  RotatePointXYZ(p, {90, 0, 0});
  ExpectVec(p, 0, 0, 1, 1e-6f);
  // X first, then Y: (0, 1, 0) goes to (0, 0, 1), which Y then turns to (-1, 0, 0).
  p = {0, 1, 0};
  RotatePointXYZ(p, {90, 90, 0});
  ExpectVec(p, -1, 0, 0, 1e-6f);

  // The angle is rounded to a float before use.
  EXPECT_EQ(DegToRadF(180.0f), static_cast<float>(3.14159265358979323846L));
  EXPECT_EQ(DegToRadF(90.0f), 1.5707963705062866f);

  // The precomputed rotation gives what the point object gives, bit for bit.
  uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(static_cast<int32_t>(state >> 8) - (1 << 23)) / 4096.0f;
  };
  for (int i = 0; i < 2000; ++i) {
    const TVec3 angles = {next(), next(), next()};
    TVec3 fast = {next(), next(), next()};
    T3DPoint slow(fast.X, fast.Y, fast.Z);
    slow.RotateX(DegToRadF(angles.X));
    slow.RotateY(DegToRadF(angles.Y));
    slow.RotateZ(DegToRadF(angles.Z));
    RotatePointBy(fast, MakeRotationXYZ(angles));
    ASSERT_EQ(fast.X, static_cast<float>(slow.GetX())) << i;
    ASSERT_EQ(fast.Y, static_cast<float>(slow.GetY())) << i;
    ASSERT_EQ(fast.Z, static_cast<float>(slow.GetZ())) << i;
  }

  TFloatVector vector(1, 2, 3);
  ASSERT_EQ(vector.Count(), 4u);
  EXPECT_EQ(vector.At(3), 1.0L);
  std::unique_ptr<TExtendedArray> empty(vector.NewEmpty());
  EXPECT_EQ(empty->Count(), 0u);
  EXPECT_NE(dynamic_cast<TFloatVector*>(empty.get()), nullptr);
}

TEST(Vectors, UniformRandomIsTheFixedSequence) {
  RandomSeed = 0;
  EXPECT_EQ(UniformRandom(), 1.0L / 4294967296.0L);
  EXPECT_EQ(UniformRandom(), 134775814.0L / 4294967296.0L);
  // The seed wraps modulo 2^32: the third value is (134775814 x 134775813 + 1) mod 2^32.
  const uint32_t third = static_cast<uint32_t>((134775814ull * 134775813ull + 1ull) & 0xffffffffull);
  EXPECT_EQ(UniformRandom(), static_cast<long double>(third) / 4294967296.0L);
  for (int i = 0; i < 97; ++i) UniformRandom();
  // The hundredth value.
  EXPECT_EQ(RandomSeed, 3176944188u);

  for (int i = 0; i < 1000; ++i) {
    const long double value = UniformRandom();
    ASSERT_GE(value, 0.0L);
    ASSERT_LT(value, 1.0L);
  }
}

TEST(Vectors, RandomVec3DrawsTwoPerAxisEvenAtScaleZero) {
  RandomSeed = 0;
  long double draws[6];
  for (long double& d : draws) d = UniformRandom();
  const uint32_t afterSix = RandomSeed;

  RandomSeed = 0;
  TVec3 v;
  RandomVec3(v, 2, 0, 5);
  EXPECT_EQ(RandomSeed, afterSix);
  EXPECT_EQ(v.X, static_cast<float>((draws[0] - draws[1]) * 2));
  EXPECT_EQ(v.Y, 0.0f);
  EXPECT_EQ(v.Z, static_cast<float>((draws[4] - draws[5]) * 5));
  EXPECT_NE(v.Z, 0.0f);
}
