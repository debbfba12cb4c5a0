#include "engine/Vectors.h"

#include <cmath>

uint32_t RandomSeed = 0;

namespace {

constexpr long double kPi = 3.14159265358979323846264338327950288L;

float Round32(long double value) { return static_cast<float>(value); }

// Turns element a towards element b: a' = cos·a - sin·b, b' = sin·a + cos·b.
void RotatePair(TFloatVector& v, size_t a, size_t b, long double angle) {
  const long double sinA = sinl(angle);
  const long double cosA = cosl(angle);
  const long double oldA = v.At(a);
  const long double oldB = v.At(b);
  v.Set(a, cosA * oldA - sinA * oldB);
  v.Set(b, sinA * oldA + cosA * oldB);
}

}  // namespace

TVec3 MakeVec3(TVec3& v, float x, float y, float z) {
  v.X = x;
  v.Y = y;
  v.Z = z;
  return v;
}

void MakeColor4(TColor4& col, float r, float g, float b, float a) {
  col.R = r;
  col.G = g;
  col.B = b;
  col.A = a;
}

void AddVec3(const TVec3& a, const TVec3& b, TVec3& r) {
  r.X = Round32(static_cast<long double>(a.X) + b.X);
  r.Y = Round32(static_cast<long double>(a.Y) + b.Y);
  r.Z = Round32(static_cast<long double>(a.Z) + b.Z);
}

void VecFromTo(const TVec3& a, const TVec3& b, TVec3& r) {
  r.X = Round32(static_cast<long double>(b.X) - a.X);
  r.Y = Round32(static_cast<long double>(b.Y) - a.Y);
  r.Z = Round32(static_cast<long double>(b.Z) - a.Z);
}

void CrossVec3(const TVec3& a, const TVec3& b, TVec3& r) {
  const long double ax = a.X, ay = a.Y, az = a.Z;
  const long double bx = b.X, by = b.Y, bz = b.Z;
  // Computed into locals first so that r may alias a or b.
  const float x = Round32(ay * bz - az * by);
  const float y = Round32(az * bx - ax * bz);
  const float z = Round32(ax * by - ay * bx);
  r.X = x;
  r.Y = y;
  r.Z = z;
}

void NormalizeVec3(TVec3& v) {
  const long double x = v.X, y = v.Y, z = v.Z;
  const float length = Round32(sqrtl(x * x + y * y + z * z));
  // A zero vector has no direction; dividing would hand NaNs to OpenGL.
  if (length == 0.0f) return;
  v.X = Round32(x / length);
  v.Y = Round32(y / length);
  v.Z = Round32(z / length);
}

void TriangleNormal(const TTriangle3& t, TVec3& n) {
  TVec3 e1, e2;
  VecFromTo(t.V0, t.V1, e1);
  VecFromTo(t.V0, t.V2, e2);
  CrossVec3(e1, e2, n);
}

void RandomVec3(TVec3& v, float sx, float sy, float sz) {
  // Each pair is drawn in order before its difference is taken.
  long double first = UniformRandom();
  long double second = UniformRandom();
  v.X = Round32((first - second) * sx);
  first = UniformRandom();
  second = UniformRandom();
  v.Y = Round32((first - second) * sy);
  first = UniformRandom();
  second = UniformRandom();
  v.Z = Round32((first - second) * sz);
}

float DegToRadF(float degrees) {
  return Round32(static_cast<long double>(degrees) / 360.0L * (2.0L * kPi));
}

void RotatePointXYZ(TVec3& p, const TVec3& angles) { RotatePointBy(p, MakeRotationXYZ(angles)); }

TRotationXYZ MakeRotationXYZ(const TVec3& angles) {
  const long double x = DegToRadF(angles.X), y = DegToRadF(angles.Y), z = DegToRadF(angles.Z);
  return {sinl(x), cosl(x), sinl(y), cosl(y), sinl(z), cosl(z)};
}

void RotatePointBy(TVec3& p, const TRotationXYZ& r) {
  // The steps of T3DPoint's RotateX, RotateY and RotateZ, kept in extended precision throughout
  // and rounded once at the end, without the point object's heap storage.
  long double x = p.X, y = p.Y, z = p.Z;
  long double a = r.CosX * y - r.SinX * z;
  z = r.SinX * y + r.CosX * z;
  y = a;
  a = r.CosY * x - r.SinY * z;
  z = r.SinY * x + r.CosY * z;
  x = a;
  a = r.CosZ * x - r.SinZ * y;
  y = r.SinZ * x + r.CosZ * y;
  x = a;
  p.X = Round32(x);
  p.Y = Round32(y);
  p.Z = Round32(z);
}

long double UniformRandom() {
  RandomSeed = RandomSeed * 134775813u + 1u;
  return static_cast<long double>(RandomSeed) * static_cast<long double>(1.0 / 4294967296.0);
}

TFloatVector::TFloatVector(long double x, long double y, long double z) {
  Assign({x, y, z, 1.0L});
}

void TFloatVector::RotateX(long double angle) { RotatePair(*this, 1, 2, angle); }
void TFloatVector::RotateY(long double angle) { RotatePair(*this, 0, 2, angle); }
void TFloatVector::RotateZ(long double angle) { RotatePair(*this, 0, 1, angle); }
