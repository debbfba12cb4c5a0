// Meshes: normals (area weighting, zero sums), welding against a literal pairwise reference,
// growing and copying, and the mesh-wide transforms.
#include "engine/KGL2Classes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace {

TVec3 V(float x, float y, float z) { return TVec3{x, y, z}; }

void ExpectVec(const TVec3& v, float x, float y, float z, float tolerance = 1e-6f) {
  EXPECT_NEAR(v.X, x, tolerance);
  EXPECT_NEAR(v.Y, y, tolerance);
  EXPECT_NEAR(v.Z, z, tolerance);
}

bool SameBits(const TVec3& a, const TVec3& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TMeshDataN MeshOf(const std::vector<TVec3>& vertices, const std::vector<TFace>& faces) {
  TMeshDataN mesh;
  for (const TVec3& v : vertices) mesh.AddVertex(v, TTexCoord2{v.X, v.Y});
  mesh.Faces = faces;
  mesh.FaceCount = static_cast<int32_t>(faces.size());
  return mesh;
}

// The weld as a pairwise loop over every ordered pair of vertices.
void ReferenceWeld(TMeshData& mesh) {
  for (int32_t i = 0; i < mesh.VertexCount; ++i)
    for (int32_t j = 0; j < mesh.VertexCount; ++j) {
      if (i == j) continue;
      const TVec3& a = mesh.Vertices[i];
      const TVec3& b = mesh.Vertices[j];
      if (!(a.X == b.X && a.Y == b.Y && a.Z == b.Z)) continue;
      for (TFace& f : mesh.Faces)
        for (uint32_t* c : {&f.A, &f.B, &f.C})
          if (*c == static_cast<uint32_t>(j)) *c = static_cast<uint32_t>(i);
    }
}

// A random mesh whose positions come from a small set, so many vertices share a position;
// some coordinates are -0 where others are +0, and a few vertices hold a NaN.
TMeshDataN RandomMesh(std::mt19937& rng, int vertexCount, int faceCount) {
  std::uniform_int_distribution<int> coord(-1, 1);
  std::uniform_int_distribution<int> pick(0, 19);
  std::uniform_int_distribution<int> index(0, vertexCount - 1);
  std::vector<TVec3> vertices;
  for (int i = 0; i < vertexCount; ++i) {
    const int kind = pick(rng);
    TVec3 v = V(static_cast<float>(coord(rng)), static_cast<float>(coord(rng)), static_cast<float>(coord(rng)));
    if (kind == 0) v.X = -0.0f;
    if (kind == 1) v.Y = std::nanf("");
    if (kind > 15) v = V(static_cast<float>(pick(rng)), 0.5f, static_cast<float>(pick(rng)));
    vertices.push_back(v);
  }
  std::vector<TFace> faces;
  for (int f = 0; f < faceCount; ++f)
    faces.push_back(TFace{static_cast<uint32_t>(index(rng)), static_cast<uint32_t>(index(rng)),
                          static_cast<uint32_t>(index(rng))});
  return MeshOf(vertices, faces);
}

}  // namespace

TEST(MeshData, NormalsOfTwoTrianglesAndAreaWeighting) {
  // Two counter-clockwise triangles seen from +Z sharing an edge: every normal is +Z.
  TMeshDataN flat = MeshOf({V(0, 0, 0), V(1, 0, 0), V(0, 1, 0), V(1, 1, 0)}, {{0, 1, 2}, {1, 3, 2}});
  flat.ComputeNormals();
  ASSERT_EQ(flat.Normals.size(), 4u);
  for (const TVec3& n : flat.Normals) ExpectVec(n, 0, 0, 1);

  // A large face in the XY plane and a small one in the XZ plane meet at vertex 0: its normal
  // leans towards the large face's +Z, not the bisector of the two.
  TMeshDataN bent = MeshOf({V(0, 0, 0), V(10, 0, 0), V(0, 10, 0), V(0, 0, 1), V(-1, 0, 0)},
                           {{0, 1, 2}, {0, 3, 4}});
  bent.ComputeNormals();
  const TVec3& shared = bent.Normals[0];  // (0, -1, 100) normalised: areas 0.5 and 50
  ExpectVec(shared, 0, -0.01f, 0.99995f, 1e-4f);
  EXPECT_LT(shared.Y, -0.005f);
  ExpectVec(bent.Normals[1], 0, 0, 1);
  ExpectVec(bent.Normals[3], 0, -1, 0);

  // The per-vertex computation gives the same normals, bit for bit, on a random mesh.
  std::mt19937 rng(7);
  TMeshDataN random = RandomMesh(rng, 60, 90);
  for (TVec3& v : random.Vertices)
    if (std::isnan(v.Y)) v.Y = 3;
  random.ComputeNormals();
  const TVertexArray byFaces = random.Normals;
  random.ComputeNormalsPerVertex();
  for (size_t k = 0; k < byFaces.size(); ++k) EXPECT_TRUE(SameBits(byFaces[k], random.Normals[k])) << k;
}

TEST(MeshData, UnusedVerticesAndDegenerateFacesGetZeroNormals) {
  // Vertex 3 is used by no face; face 1 has no area (two corners at one place, all in a line).
  TMeshDataN mesh = MeshOf({V(0, 0, 0), V(1, 0, 0), V(2, 0, 0), V(5, 5, 5), V(1, 0, 0)},
                           {{0, 1, 2}, {1, 4, 2}});
  mesh.ComputeNormals();
  for (const TVec3& n : mesh.Normals) {
    EXPECT_FALSE(std::isnan(n.X) || std::isnan(n.Y) || std::isnan(n.Z));
    ExpectVec(n, 0, 0, 0, 0);
  }
  EXPECT_TRUE(SameBits(mesh.VertexNormal(3), V(0, 0, 0)));

  // SetSize recomputes the normals while the new faces are all (0, 0, 0): zero, not NaN.
  mesh.SetSize(8, 4);
  ASSERT_EQ(mesh.VertexCount + mesh.FaceCount, 12);
  ASSERT_EQ(mesh.Normals.size() + mesh.TexCoords.size(), 16u);
  ExpectVec(mesh.Vertices[3], 5, 5, 5, 0);  // existing elements stay
  ExpectVec(mesh.Vertices[7], 0, 0, 0, 0);  // new ones are zero
  EXPECT_EQ(mesh.Faces[3].A + mesh.Faces[3].B + mesh.Faces[3].C, 0u);
  for (const TVec3& n : mesh.Normals) EXPECT_FALSE(std::isnan(n.X) || std::isnan(n.Y) || std::isnan(n.Z));

  // A negative size is taken as empty rather than as a huge one.
  mesh.SetSize(-1, -5);
  EXPECT_EQ(mesh.VertexCount + mesh.FaceCount, 0);
  EXPECT_TRUE(mesh.Vertices.empty() && mesh.Faces.empty() && mesh.Normals.empty());
}

TEST(MeshData, WeldKeepsTheHighestIndexOfEachGroup) {
  // Vertices 2, 5 and 7 share a position; 0 has the same position with -0 for X.
  std::vector<TVec3> vertices(9);
  for (size_t i = 0; i < vertices.size(); ++i) vertices[i] = V(static_cast<float>(i), 1, 2);
  vertices[2] = vertices[5] = vertices[7] = V(0, 4, 4);
  vertices[0] = V(-0.0f, 4, 4);
  TMeshDataN mesh = MeshOf(vertices, {{2, 5, 7}, {1, 2, 3}, {5, 6, 0}, {8, 7, 4}});
  const TTexCoord2 survivorTex = mesh.TexCoords[7];
  mesh.WeldVertices();
  EXPECT_EQ(mesh.VertexCount, 9);  // nothing removed
  for (const TFace& f : mesh.Faces)
    for (uint32_t c : {f.A, f.B, f.C}) EXPECT_TRUE(c != 0 && c != 2 && c != 5) << c;
  EXPECT_EQ(mesh.Faces[0].A, 7u);
  EXPECT_EQ(mesh.Faces[1].B, 7u);
  EXPECT_EQ(mesh.Faces[2].A, 7u);
  EXPECT_EQ(mesh.Faces[2].C, 7u);
  EXPECT_EQ(mesh.Faces[1].A, 1u);
  EXPECT_EQ(mesh.Faces[3].C, 4u);
  EXPECT_EQ(mesh.TexCoords[7].U, survivorTex.U);
  // The welded mesh has its normals recomputed: the corners now meet at vertex 7.
  TMeshDataN expected = mesh;
  expected.ComputeNormals();
  for (size_t k = 0; k < mesh.Normals.size(); ++k) EXPECT_TRUE(SameBits(mesh.Normals[k], expected.Normals[k]));

  // Random meshes with many shared positions, signed zeros and NaNs weld exactly as the
  // pairwise loop does.
  std::mt19937 rng(1234);
  for (int round = 0; round < 40; ++round) {
    TMeshDataN random = RandomMesh(rng, 5 + round * 3, 10 + round * 4);
    TMeshDataN reference = random;
    random.WeldVertices();
    ReferenceWeld(reference);
    ASSERT_EQ(random.Faces.size(), reference.Faces.size());
    for (size_t f = 0; f < random.Faces.size(); ++f) {
      EXPECT_EQ(random.Faces[f].A, reference.Faces[f].A) << "round " << round << " face " << f;
      EXPECT_EQ(random.Faces[f].B, reference.Faces[f].B) << "round " << round << " face " << f;
      EXPECT_EQ(random.Faces[f].C, reference.Faces[f].C) << "round " << round << " face " << f;
    }
  }
}

TEST(MeshData, AddVertexClearAndCopyFrom) {
  TMeshDataN empty;
  EXPECT_EQ(empty.AddVertex(V(1, 2, 3), TTexCoord2{0.5f, 0.25f}), 0u);
  EXPECT_EQ(empty.VertexCount, 1);
  ASSERT_EQ(empty.Normals.size(), 1u);
  ASSERT_EQ(empty.TexCoords.size(), 1u);
  EXPECT_TRUE(SameBits(empty.Normals[0], V(0, 0, 0)));
  EXPECT_EQ(empty.TexCoords[0].V, 0.25f);
  EXPECT_EQ(empty.AddVertex(V(4, 5, 6), TTexCoord2{0, 0}), 1u);
  empty.Clear();
  EXPECT_EQ(empty.VertexCount, 0);
  EXPECT_TRUE(empty.Vertices.empty() && empty.TexCoords.empty() && empty.Faces.empty());

  // The source's arrays are longer than its counts: only the counted elements come over.
  TMeshDataN source = MeshOf({V(0, 0, 0), V(1, 0, 0), V(0, 1, 0), V(9, 9, 9)}, {{0, 1, 2}, {1, 2, 3}});
  source.ComputeNormals();
  source.VertexCount = 3;
  source.FaceCount = 1;
  source.Name = "source";
  TMeshDataNM copy;
  copy.Name = "copy";
  copy.Material->Kind = 1;
  copy.CopyFrom(source);
  EXPECT_EQ(copy.VertexCount, 3);
  EXPECT_EQ(copy.FaceCount, 1);
  EXPECT_EQ(copy.Vertices.size(), 3u);
  EXPECT_EQ(copy.Normals.size(), 3u);
  EXPECT_EQ(copy.TexCoords.size(), 3u);
  EXPECT_EQ(copy.Faces.size(), 1u);
  ExpectVec(copy.Normals[0], 0, 0, 1);  // vertex 0 lies on the flat face only
  EXPECT_TRUE(SameBits(copy.Normals[2], source.Normals[2]));
  ExpectVec(copy.Vertices[1], 1, 0, 0, 0);
  EXPECT_EQ(copy.Name, "copy");
  EXPECT_EQ(copy.Material->Kind, 1);
}

TEST(MeshData, ScaleAndRotateTouchOnlyCountedVertices) {
  TMeshDataN mesh = MeshOf({V(0, 0, 0), V(1, 0, 0), V(0, 1, 0), V(1, 2, 3)}, {{0, 1, 2}});
  mesh.ComputeNormals();
  const TVertexArray normals = mesh.Normals;
  mesh.VertexCount = 3;  // vertex 3 lies beyond the count
  ScaleMesh(mesh, V(2, 2, 2));
  ExpectVec(mesh.Vertices[1], 2, 0, 0, 0);
  ExpectVec(mesh.Vertices[2], 0, 2, 0, 0);
  ExpectVec(mesh.Vertices[3], 1, 2, 3, 0);
  for (size_t k = 0; k < normals.size(); ++k) EXPECT_TRUE(SameBits(mesh.Normals[k], normals[k]));

  // The mesh rotation is the point rotation, bit for bit, for any angles.
  std::mt19937 rng(99);
  std::uniform_real_distribution<float> value(-1000, 1000);
  TMeshData cloud;
  for (int i = 0; i < 500; ++i) cloud.AddVertex(V(value(rng), value(rng), value(rng)), TTexCoord2{0, 0});
  for (const TVec3& angles : {V(270, 0, 0), V(90, 0, 0), V(12.5f, -33, 181), V(value(rng), value(rng), value(rng))}) {
    TMeshData rotated = cloud;
    RotateMesh(rotated, angles);
    for (size_t k = 0; k < cloud.Vertices.size(); ++k) {
      TVec3 expected = cloud.Vertices[k];
      RotatePointXYZ(expected, angles);
      ASSERT_TRUE(SameBits(rotated.Vertices[k], expected)) << "vertex " << k;
    }
  }
  TMeshDataN up = MeshOf({V(1, 2, 3)}, {});
  RotateMesh(up, V(270, 0, 0));
  ExpectVec(up.Vertices[0], 1, 3, -2, 1e-5f);
  EXPECT_TRUE(SameBits(up.Normals[0], V(0, 0, 0)));  // normals are not touched
}
