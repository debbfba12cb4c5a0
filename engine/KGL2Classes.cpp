#include "engine/KGL2Classes.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

size_t Count(int32_t n) { return n > 0 ? static_cast<size_t>(n) : 0; }

// Adds the face's unnormalised normal once per corner that is k.
void AddCornerNormal(const TFace& face, uint32_t k, const TVec3& n, TVec3& sum) {
  if (face.A == k) AddVec3(sum, n, sum);
  if (face.B == k) AddVec3(sum, n, sum);
  if (face.C == k) AddVec3(sum, n, sum);
}

bool FaceInRange(const TFace& face, uint32_t vertexCount) {
  return face.A < vertexCount && face.B < vertexCount && face.C < vertexCount;
}

// The first count elements of source, zero-filled where source is shorter.
template <typename T>
std::vector<T> Prefix(const std::vector<T>& source, size_t count) {
  std::vector<T> result(source.begin(), source.begin() + std::min(count, source.size()));
  result.resize(count, T{});
  return result;
}

}  // namespace

// ---- TMeshData ----

TMeshData::TMeshData() = default;

TMeshData::~TMeshData() { Clear(); }

uint32_t TMeshData::AddVertex(const TVec3& p, const TTexCoord2& t) {
  const size_t index = Count(VertexCount);
  Vertices.resize(index + 1);
  TexCoords.resize(index + 1);
  Vertices[index] = p;
  TexCoords[index] = t;
  VertexCount = static_cast<int32_t>(index + 1);
  return static_cast<uint32_t>(index);
}

void TMeshData::DrawImmediate() {
  const uint32_t vertexCount = static_cast<uint32_t>(Count(VertexCount));
  glBegin(GL_TRIANGLES);
  for (size_t i = 0; i < Count(FaceCount); ++i) {
    if (!FaceInRange(Faces[i], vertexCount)) continue;
    for (uint32_t k : {Faces[i].A, Faces[i].B, Faces[i].C}) {
      glTexCoord2f(TexCoords[k].U, TexCoords[k].V);
      glVertex3f(Vertices[k].X, Vertices[k].Y, Vertices[k].Z);
    }
  }
  glEnd();
}

void TMeshData::SetSize(int32_t n, int32_t m) {
  Vertices.resize(Count(n));
  TexCoords.resize(Count(n));
  Faces.resize(Count(m));
  VertexCount = static_cast<int32_t>(Count(n));
  FaceCount = static_cast<int32_t>(Count(m));
}

void TMeshData::Draw() {
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, Vertices.data());
  glTexCoordPointer(2, GL_FLOAT, 0, TexCoords.data());
  glDrawElements(GL_TRIANGLES, FaceCount * 3, GL_UNSIGNED_INT, Faces.data());
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

void TMeshData::WeldVertices() {
  // Every pair of vertices at one position (exact float equality, so -0 equals +0 and a NaN
  // equals nothing) ends up at the highest index of its group. Sorting by position finds the
  // groups in n log n instead of comparing every pair.
  const size_t count = Count(VertexCount);
  auto canonical = [this](size_t i) {
    const TVec3& v = Vertices[i];
    return TVec3{v.X + 0.0f, v.Y + 0.0f, v.Z + 0.0f};  // -0 + 0 is +0
  };
  auto less = [&](uint32_t a, uint32_t b) {
    const TVec3 va = canonical(a), vb = canonical(b);
    if (va.X != vb.X) return va.X < vb.X;
    if (va.Y != vb.Y) return va.Y < vb.Y;
    return va.Z < vb.Z;
  };
  std::vector<uint32_t> order;
  order.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const TVec3& v = Vertices[i];
    if (!std::isnan(v.X) && !std::isnan(v.Y) && !std::isnan(v.Z)) order.push_back(static_cast<uint32_t>(i));
  }
  std::sort(order.begin(), order.end(), less);

  std::vector<uint32_t> survivor(count);
  std::iota(survivor.begin(), survivor.end(), 0u);
  for (size_t first = 0; first < order.size();) {
    size_t last = first + 1;
    uint32_t highest = order[first];
    while (last < order.size() && !less(order[first], order[last])) {
      highest = std::max(highest, order[last]);
      ++last;
    }
    for (size_t g = first; g < last; ++g) survivor[order[g]] = highest;
    first = last;
  }
  for (size_t f = 0; f < Count(FaceCount); ++f) {
    for (uint32_t* corner : {&Faces[f].A, &Faces[f].B, &Faces[f].C})
      if (*corner < count) *corner = survivor[*corner];
  }
}

void TMeshData::Clear() {
  Vertices.clear();
  Faces.clear();
  TexCoords.clear();
  VertexCount = 0;
  FaceCount = 0;
}

TTriangle3 TMeshData::GetFaceTriangle(int32_t i) const {
  const TFace& face = Faces[static_cast<size_t>(i)];
  return TTriangle3{Vertices[face.A], Vertices[face.B], Vertices[face.C]};
}

// ---- TMeshDataN ----

TMeshDataN::TMeshDataN() = default;

TMeshDataN::~TMeshDataN() { Normals.clear(); }

uint32_t TMeshDataN::AddVertex(const TVec3& p, const TTexCoord2& t) {
  const uint32_t index = TMeshData::AddVertex(p, t);
  Normals.resize(Count(VertexCount));
  Normals[index] = TVec3{0, 0, 0};
  return index;
}

void TMeshDataN::DrawImmediate() {
  const uint32_t vertexCount = static_cast<uint32_t>(Count(VertexCount));
  for (size_t i = 0; i < Count(FaceCount); ++i) {
    if (!FaceInRange(Faces[i], vertexCount)) continue;
    glBegin(GL_TRIANGLES);
    for (uint32_t k : {Faces[i].A, Faces[i].B, Faces[i].C}) {
      glTexCoord2f(TexCoords[k].U, TexCoords[k].V);
      glNormal3f(Normals[k].X, Normals[k].Y, Normals[k].Z);
      glVertex3f(Vertices[k].X, Vertices[k].Y, Vertices[k].Z);
    }
    glEnd();
  }
}

void TMeshDataN::SetSize(int32_t n, int32_t m) {
  TMeshData::SetSize(n, m);
  Normals.resize(Count(n));
  ComputeNormalsPerVertex();
}

void TMeshDataN::Draw() {
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, Vertices.data());
  glNormalPointer(GL_FLOAT, 0, Normals.data());
  glTexCoordPointer(2, GL_FLOAT, 0, TexCoords.data());
  glDrawElements(GL_TRIANGLES, FaceCount * 3, GL_UNSIGNED_INT, Faces.data());
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

void TMeshDataN::WeldVertices() {
  TMeshData::WeldVertices();
  ComputeNormals();
}

void TMeshDataN::ComputeNormals() {
  const size_t count = Count(VertexCount);
  Normals.resize(std::max(Normals.size(), count));
  for (size_t k = 0; k < count; ++k) Normals[k] = TVec3{0, 0, 0};
  for (size_t i = 0; i < Count(FaceCount); ++i) {
    const TFace& face = Faces[i];
    // A face that points past the vertices would read outside the arrays; it adds nothing.
    if (!FaceInRange(face, static_cast<uint32_t>(count))) continue;
    TVec3 n;
    TriangleNormal(GetFaceTriangle(static_cast<int32_t>(i)), n);
    AddVec3(Normals[face.A], n, Normals[face.A]);
    AddVec3(Normals[face.B], n, Normals[face.B]);
    AddVec3(Normals[face.C], n, Normals[face.C]);
  }
  for (size_t k = 0; k < count; ++k) NormalizeVec3(Normals[k]);
}

void TMeshDataN::ComputeNormalsPerVertex() {
  const size_t count = Count(VertexCount);
  Normals.resize(std::max(Normals.size(), count));
  for (size_t k = 0; k < count; ++k) Normals[k] = VertexNormal(static_cast<int32_t>(k));
}

TVec3 TMeshDataN::VertexNormal(int32_t k) const {
  TVec3 sum{0, 0, 0};
  const uint32_t vertexCount = static_cast<uint32_t>(Count(VertexCount));
  for (size_t i = 0; i < Count(FaceCount); ++i) {
    const TFace& face = Faces[i];
    if (!FaceInRange(face, vertexCount)) continue;
    if (face.A != static_cast<uint32_t>(k) && face.B != static_cast<uint32_t>(k) &&
        face.C != static_cast<uint32_t>(k))
      continue;
    TVec3 n;
    TriangleNormal(GetFaceTriangle(static_cast<int32_t>(i)), n);
    AddCornerNormal(face, static_cast<uint32_t>(k), n, sum);
  }
  NormalizeVec3(sum);
  return sum;
}

// ---- TMeshDataNM ----

TMeshDataNM::TMeshDataNM() : Material(std::make_unique<::Material>()) {}

TMeshDataNM::~TMeshDataNM() { Material.reset(); }

void TMeshDataNM::DrawImmediate() {
  Material->Apply();
  TMeshDataN::DrawImmediate();
}

void TMeshDataNM::Draw() { TMeshDataN::Draw(); }

void TMeshDataNM::CopyFrom(const TMeshDataN& source) {
  const size_t vertices = Count(source.VertexCount);
  const size_t faces = Count(source.FaceCount);
  Vertices = Prefix(source.Vertices, vertices);
  Normals = Prefix(source.Normals, vertices);
  TexCoords = Prefix(source.TexCoords, vertices);
  Faces = Prefix(source.Faces, faces);
  VertexCount = static_cast<int32_t>(vertices);
  FaceCount = static_cast<int32_t>(faces);
}

// ---- Mesh transforms ----

void RotateMesh(TMeshData& mesh, const TVec3& angles) {
  // RotatePointXYZ's result for every vertex, with the sines and cosines taken once.
  const TRotationXYZ rotation = MakeRotationXYZ(angles);
  const size_t count = std::min(Count(mesh.VertexCount), mesh.Vertices.size());
  for (size_t k = 0; k < count; ++k) RotatePointBy(mesh.Vertices[k], rotation);
}

void ScaleMesh(TMeshData& mesh, const TVec3& s) {
  const size_t count = std::min(Count(mesh.VertexCount), mesh.Vertices.size());
  for (size_t k = 0; k < count; ++k) {
    TVec3& v = mesh.Vertices[k];
    v.X *= s.X;
    v.Y *= s.Y;
    v.Z *= s.Z;
  }
}
