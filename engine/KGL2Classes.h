// Indexed triangle meshes and the brush, the multi-mesh model object built from a 3DS file.
//
// Contract: a mesh keeps Vertices, TexCoords (and Normals) at VertexCount elements and Faces at
// FaceCount elements, and every face index below VertexCount. The element layouts are the ones
// OpenGL reads, so Draw hands the arrays over in place. Draw and DrawImmediate need a current
// OpenGL context; everything else is plain arithmetic. A vertex no face uses, and a degenerate
// face, leave a (0, 0, 0) normal: no NaN reaches OpenGL.
//
// The brush reads every mesh of one 3DS file through the loader (engine/KGL2_3ds.h), turns
// them from the file's Z-up to the engine's Y-up with a rotation of 270 degrees about X and
// computes their normals. Reader failures pass through as exceptions; the brush catches nothing.
#pragma once
#include "engine/KGL2Materials.h"
#include "engine/Vectors.h"
#include "platform/ReadContext.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One triangle, wound A -> B -> C.
struct TFace {
  uint32_t A, B, C;
};
static_assert(sizeof(TFace) == 12, "TFace is three packed 32-bit indices");

using TVertexArray = std::vector<TVec3>;

// Positions, texture coordinates and triangles.
class TMeshData {
 public:
  TMeshData();
  // Appends a vertex and returns its index (the old VertexCount).
  virtual uint32_t AddVertex(const TVec3& p, const TTexCoord2& t);
  virtual ~TMeshData();
  // Draws with glBegin/glEnd, one corner at a time.
  virtual void DrawImmediate();
  // Sets n vertices and m faces; existing elements stay, new ones are zero.
  virtual void SetSize(int32_t n, int32_t m);
  // Draws the arrays with one glDrawElements (a fixed set of calls whatever the size).
  virtual void Draw();
  // Makes every face corner that refers to a group of vertices at one position refer to the
  // group's highest index. No vertex is removed.
  virtual void WeldVertices();
  // Empties all arrays and sets both counts to 0.
  void Clear();
  // The corners of face i.
  TTriangle3 GetFaceTriangle(int32_t i) const;

  TVertexArray Vertices;
  std::vector<TFace> Faces;
  std::vector<TTexCoord2> TexCoords;
  int32_t VertexCount = 0;
  int32_t FaceCount = 0;
  std::string Name;
};

// A mesh with one normal per vertex.
class TMeshDataN : public TMeshData {
 public:
  TMeshDataN();
  uint32_t AddVertex(const TVec3& p, const TTexCoord2& t) override;
  ~TMeshDataN() override;
  void DrawImmediate() override;
  // Also sizes Normals and recomputes them with ComputeNormalsPerVertex (slow: vertices x faces).
  void SetSize(int32_t n, int32_t m) override;
  void Draw() override;
  // Welds, then recomputes the normals.
  void WeldVertices() override;
  // Area-weighted vertex normals: the sum of the unnormalised normals of the faces at each
  // corner, normalised.
  void ComputeNormals();
  // Normals[k] = VertexNormal(k) for every vertex; the same directions as ComputeNormals.
  void ComputeNormalsPerVertex();
  // The area-weighted normal of vertex k alone.
  TVec3 VertexNormal(int32_t k) const;

  TVertexArray Normals;
};

// A mesh with normals and a material of its own.
class TMeshDataNM : public TMeshDataN {
 public:
  TMeshDataNM();
  ~TMeshDataNM() override;
  // Applies the material, then draws as TMeshDataN does.
  void DrawImmediate() override;
  // The same steps as TMeshDataN: the material is not applied here.
  void Draw() override;
  // Takes the source's counted vertices, normals, texture coordinates and faces; name and
  // material stay.
  void CopyFrom(const TMeshDataN& source);

  std::unique_ptr<::Material> Material;
};

// Rotates the first VertexCount vertices about X, then Y, then Z (degrees); normals untouched.
void RotateMesh(TMeshData& mesh, const TVec3& angles);
// Scales the first VertexCount vertices per axis; normals untouched.
void ScaleMesh(TMeshData& mesh, const TVec3& s);

// All meshes of one 3DS file, Y up, with normals.
class TKGLBrush {
 public:
  // A brush without meshes.
  TKGLBrush() = default;
  // Loads the model (LoadModel); throws what the reader throws.
  explicit TKGLBrush(const std::string& fileName, const TReadContext& files = TReadContext());
  // A deep copy: every mesh with its name and material, so the copy can be transformed alone.
  std::unique_ptr<TKGLBrush> Clone() const;
  // Reads the meshes, rotates them from Z up to Y up and computes their normals.
  void LoadModel(const std::string& fileName, const TReadContext& files = TReadContext());
  // Replaces Meshes with the file's meshes in file order, each with its normals.
  void ReadMeshes(const std::string& fileName, const TReadContext& files = TReadContext());
  // Rotates every mesh and recomputes its normals.
  void RotateAll(const TVec3& angles);
  // Scales every mesh; normals are not recomputed.
  void ScaleAll(const TVec3& s);

  std::vector<std::unique_ptr<TMeshDataNM>> Meshes;
  int32_t MeshCount = 0;
};
