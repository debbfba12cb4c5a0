// Brushes loaded from 3DS files written into a temporary folder: the turn from Z up to Y up,
// scaling, several meshes in file order, index widening, missing texture coordinates, faces
// that point past the vertices, and the failures that reach the caller.
#include "common/Models3DS.h"
#include "engine/KGL2Classes.h"
#include "engine/KGL2_3ds.h"
#include "support/TestSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>

namespace {

struct THandMesh {
  std::string Name;
  std::vector<TVec3> Vertices;
  std::vector<TTexCoord2> TexCoords;  // written as given (any count), none when empty
  std::vector<std::array<uint16_t, 3>> Faces;  // written as given, valid or not
};

// A model file with the meshes as written, checked by nothing (the writer of the tools refuses
// bad indices and short texture coordinate lists).
std::vector<uint8_t> HandModelBytes(const std::vector<THandMesh>& meshes) {
  TChunkWriter w;
  w.Begin(0x4D4D);
  w.Begin(0x0002);
  w.U32(3);
  w.End();
  w.Begin(0x3D3D);
  for (const THandMesh& mesh : meshes) {
    w.Begin(0x4000);
    w.Str(mesh.Name);
    w.Begin(0x4100);
    w.Begin(0x4110);
    w.U16(static_cast<uint16_t>(mesh.Vertices.size()));
    for (const TVec3& v : mesh.Vertices) w.Vec(v.X, v.Y, v.Z);
    w.End();
    if (!mesh.TexCoords.empty()) {
      w.Begin(0x4140);
      w.U16(static_cast<uint16_t>(mesh.TexCoords.size()));
      for (const TTexCoord2& t : mesh.TexCoords) {
        w.F32(t.U);
        w.F32(t.V);
      }
      w.End();
    }
    w.Begin(0x4120);
    w.U16(static_cast<uint16_t>(mesh.Faces.size()));
    for (const auto& f : mesh.Faces) {
      w.U16(f[0]);
      w.U16(f[1]);
      w.U16(f[2]);
      w.U16(0);
    }
    w.End();
    w.End();
    w.End();
  }
  w.End();
  w.End();
  return w.Bytes();
}

std::string WriteBytes(const std::string& folder, const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = folder + "/" + name;
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::string WriteKind(const std::string& folder, const std::string& kind) {
  const std::string path = folder + "/" + kind + ".3ds";
  std::string error;
  EXPECT_TRUE(WriteModelFile(kind, path, error)) << error;
  return path;
}

void ExpectVec(const TVec3& v, float x, float y, float z, float tolerance = 1e-5f) {
  EXPECT_NEAR(v.X, x, tolerance);
  EXPECT_NEAR(v.Y, y, tolerance);
  EXPECT_NEAR(v.Z, z, tolerance);
}

bool SameBits(const TVec3& a, const TVec3& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(Brush, TurnsZUpToYUpWithNormalsAndScales) {
  const std::string folder = MakeTempFolder();
  // A triangle in the file's z = 3 plane, facing +Z (up in the file).
  const std::string path = WriteBytes(folder, "tri.3ds", HandModelBytes({{"Tri",
      {{1, 2, 3}, {2, 2, 3}, {1, 3, 3}}, {{0.5f, 0.5f}, {1, 0}, {0, 1}}, {{0, 1, 2}}}}));
  TKGLBrush brush(path);
  EXPECT_EQ(ModelLoader, nullptr);  // the loader exists only during the load
  ASSERT_EQ(brush.MeshCount, 1);
  ASSERT_EQ(brush.Meshes.size(), 1u);
  TMeshDataNM& mesh = *brush.Meshes[0];
  EXPECT_EQ(mesh.Name, "Tri");
  ASSERT_EQ(mesh.VertexCount, 3);
  ExpectVec(mesh.Vertices[0], 1, 3, -2);
  ExpectVec(mesh.Vertices[1], 2, 3, -2);
  ExpectVec(mesh.Vertices[2], 1, 3, -3);
  // The normals follow the rotation: the file's up is the engine's +Y.
  for (const TVec3& n : mesh.Normals) ExpectVec(n, 0, 1, 0);
  EXPECT_EQ(mesh.TexCoords[0].U, 0.5f);
  EXPECT_EQ(mesh.TexCoords[2].V, 1.0f);
  ASSERT_EQ(mesh.FaceCount, 1);
  EXPECT_EQ(mesh.Faces[0].A + mesh.Faces[0].B * 10 + mesh.Faces[0].C * 100, 210u);

  const TVertexArray vertices = mesh.Vertices;
  const TVertexArray normals = mesh.Normals;
  brush.ScaleAll(TVec3{0.5f, 0.5f, 0.5f});
  for (size_t k = 0; k < vertices.size(); ++k) {
    EXPECT_EQ(mesh.Vertices[k].X, vertices[k].X * 0.5f);
    EXPECT_EQ(mesh.Vertices[k].Y, vertices[k].Y * 0.5f);
    EXPECT_EQ(mesh.Vertices[k].Z, vertices[k].Z * 0.5f);
    EXPECT_TRUE(SameBits(mesh.Normals[k], normals[k]));
  }
  // RotateAll recomputes the normals: back to Z up.
  brush.RotateAll(TVec3{90, 0, 0});
  for (const TVec3& n : mesh.Normals) ExpectVec(n, 0, 0, 1);
}

TEST(Brush, MeshesInFileOrderEachWithItsOwnMaterial) {
  const std::string folder = MakeTempFolder();
  TKGLBrush brush(WriteKind(folder, "multi"));
  const std::vector<TModelMesh> written = ModelFileMeshes("multi");
  ASSERT_EQ(written.size(), 3u);
  ASSERT_EQ(brush.MeshCount, 3);
  for (size_t m = 0; m < written.size(); ++m) {
    const TMeshDataNM& mesh = *brush.Meshes[m];
    EXPECT_EQ(mesh.Name, written[m].Name);
    ASSERT_EQ(mesh.VertexCount, static_cast<int32_t>(written[m].Vertices.size()));
    ASSERT_EQ(mesh.FaceCount, static_cast<int32_t>(written[m].Faces.size()));
    ASSERT_TRUE(mesh.Material);
    EXPECT_EQ(mesh.Material->Kind, 0);
    EXPECT_EQ(mesh.Material->Texture, 0u);
    for (size_t other = 0; other < m; ++other) EXPECT_NE(mesh.Material.get(), brush.Meshes[other]->Material.get());
    for (size_t v = 0; v < written[m].Vertices.size(); ++v) {
      const auto& p = written[m].Vertices[v];
      ExpectVec(mesh.Vertices[v], p[0], p[2], -p[1]);
    }
    for (size_t f = 0; f < written[m].Faces.size(); ++f) {
      EXPECT_EQ(mesh.Faces[f].A, written[m].Faces[f][0]);
      EXPECT_EQ(mesh.Faces[f].C, written[m].Faces[f][2]);
    }
    // Every vertex a face uses has a unit normal (the seam column of a sphere's pole rows
    // is used by no face and keeps a zero one).
    std::vector<bool> used(static_cast<size_t>(mesh.VertexCount), false);
    for (const TFace& f : mesh.Faces) used[f.A] = used[f.B] = used[f.C] = true;
    for (int32_t k = 0; k < mesh.VertexCount; ++k) {
      const TVec3& n = mesh.Normals[k];
      EXPECT_NEAR(n.X * n.X + n.Y * n.Y + n.Z * n.Z, used[k] ? 1.0f : 0.0f, 1e-4f) << mesh.Name << " vertex " << k;
    }
  }
}

TEST(Brush, WidensIndicesAndFillsMissingTextureCoordinates) {
  const std::string folder = MakeTempFolder();
  // 65535 vertices is the most a mesh can hold, so 65534 is the largest index that can be valid
  // (an index of 65535 always points past the vertices). Indices above 32767 must not come out
  // sign-extended.
  THandMesh big{"Big", {}, {{0.25f, 0.75f}, {1, 1}}, {{0, 32768, 65534}, {65534, 65533, 40000}}};
  for (int i = 0; i < 65535; ++i) big.Vertices.push_back(TVec3{static_cast<float>(i % 256), static_cast<float>(i / 256), 0});
  THandMesh bare{"Bare", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {}, {{0, 1, 2}}};
  const std::string path = WriteBytes(folder, "wide.3ds", HandModelBytes({big, bare}));
  TKGLBrush brush(path);
  ASSERT_EQ(brush.MeshCount, 2);
  const TMeshDataNM& wide = *brush.Meshes[0];
  ASSERT_EQ(wide.VertexCount, 65535);
  ASSERT_EQ(wide.FaceCount, 2);
  EXPECT_EQ(wide.Faces[0].B, 32768u);
  EXPECT_EQ(wide.Faces[0].C, 65534u);
  EXPECT_EQ(wide.Faces[1].A, 65534u);
  EXPECT_EQ(wide.Faces[1].C, 40000u);
  // Two texture coordinates for 65535 vertices: the rest are (0, 0).
  ASSERT_EQ(wide.TexCoords.size(), 65535u);
  EXPECT_EQ(wide.TexCoords[0].U, 0.25f);
  EXPECT_EQ(wide.TexCoords[1].V, 1.0f);
  for (size_t k = 2; k < wide.TexCoords.size(); ++k)
    ASSERT_TRUE(wide.TexCoords[k].U == 0 && wide.TexCoords[k].V == 0) << k;
  // No texture coordinates at all: every vertex gets (0, 0).
  const TMeshDataNM& plain = *brush.Meshes[1];
  ASSERT_EQ(plain.TexCoords.size(), 3u);
  for (const TTexCoord2& t : plain.TexCoords) EXPECT_TRUE(t.U == 0 && t.V == 0);
}

TEST(Brush, FacesPointingPastTheVerticesAreDroppedAndReported) {
  const std::string folder = MakeTempFolder();
  THandMesh bad{"Bad\x1b", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {}, {{0, 1, 2}, {0, 1, 3}, {65535, 1, 2}, {2, 1, 0}}};
  THandMesh good{"Good", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {}, {{0, 1, 2}}};
  const std::string path = WriteBytes(folder, "bad.3ds", HandModelBytes({bad, good}));
  testing::internal::CaptureStderr();
  TKGLBrush brush(path);
  const std::string errors = testing::internal::GetCapturedStderr();
  // The control character in the mesh name is not passed to the terminal.
  EXPECT_EQ(errors, "Model " + path + ", mesh \"Bad?\": 2 faces refer to missing vertices and were dropped\n");
  ASSERT_EQ(brush.MeshCount, 2);
  const TMeshDataNM& mesh = *brush.Meshes[0];
  ASSERT_EQ(mesh.FaceCount, 2);
  ASSERT_EQ(mesh.Faces.size(), 2u);
  EXPECT_EQ(mesh.Faces[0].C, 2u);
  EXPECT_EQ(mesh.Faces[1].A, 2u);  // the kept faces stay in file order
  for (const TFace& f : mesh.Faces) EXPECT_TRUE(f.A < 3 && f.B < 3 && f.C < 3);
  EXPECT_EQ(brush.Meshes[1]->FaceCount, 1);
}

TEST(Brush, DamagedKeyFramerDataKeepsTheMeshesAndSaysSo) {
  const std::string folder = MakeTempFolder();
  const TModelMesh cube = ModelFileMeshes("cube").at(0);
  struct Case {
    const char* what;
    std::function<void(TChunkWriter&)> node;  // one damaged object node
    size_t cut;                               // bytes cut off the end of the file
  };
  const std::vector<Case> cases = {
      {"empty node id", [](TChunkWriter& w) {
         w.Begin(0xB030); w.End();
         w.Begin(0xB010); w.Str("Box"); w.U16(0); w.U16(0); w.I16(-1); w.End(); }, 0},
      {"node header two bytes short", [](TChunkWriter& w) {
         w.Begin(0xB030); w.I16(0); w.End();
         w.Begin(0xB010); w.Str("Box"); w.U16(0); w.U16(0); w.End(); }, 0},
      {"section cut by the end of the file", [](TChunkWriter& w) {
         w.Begin(0xB030); w.I16(0); w.End();
         w.Begin(0xB010); w.Str("Box"); w.U16(0); w.U16(0); w.I16(-1); w.End(); }, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TChunkWriter w;
    w.Begin(0x4D4D);
    w.Begin(0x3D3D);
    WriteMeshObject(w, cube);
    w.End();
    w.Begin(0xB000);
    const size_t nodeAt = w.Bytes().size();
    w.Begin(0xB002);
    c.node(w);
    w.End();
    w.End();
    w.End();
    std::vector<uint8_t> bytes = w.Bytes();
    bytes.resize(bytes.size() - c.cut);
    const std::string path = WriteBytes(folder, "damaged.3ds", bytes);
    testing::internal::CaptureStderr();
    std::unique_ptr<TKGLBrush> brush;
    EXPECT_NO_THROW(brush = std::make_unique<TKGLBrush>(path));
    const std::string errors = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(brush);
    ASSERT_EQ(brush->MeshCount, 1);
    EXPECT_EQ(brush->Meshes[0]->FaceCount, static_cast<int32_t>(cube.Faces.size()));
    const std::string reason = c.cut ? "the section is cut short by the end of the file"
                                     : "node at byte " + std::to_string(nodeAt) + ": Stream read error";
    EXPECT_EQ(errors, "Model " + path + ": damaged keyframer data ignored (" + reason + ")\n");
  }
}

TEST(Brush, FailuresReachTheCallerAndFreeTheLoader) {
  const std::string folder = MakeTempFolder();
  const std::string missing = folder + "/missing.3ds";
  try {
    TKGLBrush brush(missing);
    ADD_FAILURE() << "a missing file loaded";
  } catch (const E3DSError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + missing);
  }
  EXPECT_EQ(ModelLoader, nullptr);

  // A vertex list that claims more vertices than its chunk holds.
  std::vector<uint8_t> bytes = HandModelBytes({{"Short", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {}, {{0, 1, 2}}}});
  const uint8_t countBytes[] = {0x10, 0x41};  // the 0x4110 chunk: its count follows the header
  auto at = std::search(bytes.begin(), bytes.end(), std::begin(countBytes), std::end(countBytes));
  ASSERT_NE(at, bytes.end());
  at[6] = 100;
  const std::string shortPath = WriteBytes(folder, "short.3ds", bytes);
  try {
    TKGLBrush brush(shortPath);
    ADD_FAILURE() << "a vertex count past its chunk loaded";
  } catch (const E3DSError& e) {
    EXPECT_EQ(std::string(e.what()), "Stream read error");
  }
  EXPECT_EQ(ModelLoader, nullptr);

  // Files without mesh objects give an empty brush.
  TKGLBrush library(WriteKind(folder, "matlib"));
  EXPECT_EQ(library.MeshCount, 0);
  EXPECT_TRUE(library.Meshes.empty());
  TChunkWriter w;
  w.Begin(0x4D4D);
  w.Begin(0x3D3D);
  w.End();
  w.End();
  TKGLBrush empty(WriteBytes(folder, "empty.3ds", w.Bytes()));
  EXPECT_EQ(empty.MeshCount, 0);

  // Reading again replaces the meshes.
  empty.ReadMeshes(WriteKind(folder, "multi"));
  EXPECT_EQ(empty.MeshCount, 3);
  EXPECT_EQ(ModelLoader, nullptr);
}
