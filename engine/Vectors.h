// Vectors, colours, texture coordinates and triangles: the value records of all 3D code, their
// arithmetic, point rotation and the program's one pseudo-random generator.
//
// Contract: records have fixed layouts (handed to OpenGL unchanged). Arithmetic reads the 32-bit
// components, computes in 80-bit extended precision and rounds each result to 32 bits when
// storing it. The random generator starts at seed 0 and is shared by every caller, so the order
// of draws decides the values each caller gets.
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

struct TVec3 {
  float X, Y, Z;
};
struct TColor4 {
  float R, G, B, A;
};
struct TTexCoord2 {
  float U, V;
};
struct TTriangle3 {
  TVec3 V0, V1, V2;
};
static_assert(sizeof(TVec3) == 12, "TVec3 is three packed floats");
static_assert(sizeof(TColor4) == 16, "TColor4 is four packed floats");
static_assert(sizeof(TTexCoord2) == 8, "TTexCoord2 is two packed floats");
static_assert(sizeof(TTriangle3) == 36, "TTriangle3 is three packed TVec3");

// The state of the generator: 0 at program start, advanced by every UniformRandom.
extern uint32_t RandomSeed;

// v = (x, y, z); also returns v.
TVec3 MakeVec3(TVec3& v, float x, float y, float z);
// col = (r, g, b, a).
void MakeColor4(TColor4& col, float r, float g, float b, float a);
// r = a + b.
void AddVec3(const TVec3& a, const TVec3& b, TVec3& r);
// r = b - a: the vector from a to b.
void VecFromTo(const TVec3& a, const TVec3& b, TVec3& r);
// r = a x b.
void CrossVec3(const TVec3& a, const TVec3& b, TVec3& r);
// Scales v to unit length; a zero vector is left unchanged.
void NormalizeVec3(TVec3& v);
// n = (V1 - V0) x (V2 - V0), not normalised: its length is twice the triangle's area.
void TriangleNormal(const TTriangle3& t, TVec3& n);
// Six draws, two per axis in X, Y, Z order: each component is (first - second) x scale.
void RandomVec3(TVec3& v, float sx, float sy, float sz);
// Degrees to radians, rounded to a 32-bit float.
float DegToRadF(float degrees);
// Rotates p about X, then Y, then Z by the angles (degrees) in extended precision.
void RotatePointXYZ(TVec3& p, const TVec3& angles);
// The sines and cosines of one RotatePointXYZ, for turning many points by the same angles.
struct TRotationXYZ {
  long double SinX, CosX, SinY, CosY, SinZ, CosZ;
};
// The rotation by the angles (degrees), each rounded to a 32-bit float in radians first.
TRotationXYZ MakeRotationXYZ(const TVec3& angles);
// Rotates p like RotatePointXYZ with the rotation's angles, bit for bit, without the trigonometry.
void RotatePointBy(TVec3& p, const TRotationXYZ& rotation);
// Next value in [0, 1): seed = seed x 134775813 + 1 (mod 2^32), times 2^-32.
long double UniformRandom();

// A growable array of 80-bit floats with a count.
class TExtendedArray {
 public:
  TExtendedArray() = default;
  virtual ~TExtendedArray() = default;
  // A new, empty array of the receiver's class.
  virtual TExtendedArray* NewEmpty() const { return new TExtendedArray(); }
  // Replaces the contents with the values.
  void Assign(std::initializer_list<long double> values) { items_.assign(values); }
  // Number of elements.
  size_t Count() const { return items_.size(); }
  // Element read and write by index (the index must be below Count).
  long double At(size_t i) const { return items_[i]; }
  void Set(size_t i, long double value) { items_[i] = value; }

 private:
  std::vector<long double> items_;
};

// A homogeneous point (x, y, z, 1) in extended precision with in-place rotations.
class TFloatVector : public TExtendedArray {
 public:
  TFloatVector() = default;
  TFloatVector(long double x, long double y, long double z);
  TExtendedArray* NewEmpty() const override { return new TFloatVector(); }

  long double GetX() const { return At(0); }
  long double GetY() const { return At(1); }
  long double GetZ() const { return At(2); }
  // Rotations by an angle in radians. Each turns the first named axis towards the second:
  // RotateX turns Y towards Z, RotateY turns X towards Z, RotateZ turns X towards Y.
  void RotateX(long double angle);
  void RotateY(long double angle);
  void RotateZ(long double angle);
};

// The point object RotatePointXYZ works on.
class T3DPoint : public TFloatVector {
 public:
  using TFloatVector::TFloatVector;
};
