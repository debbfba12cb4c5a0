// Mesh extraction from 3DS files: which named objects count as meshes, every field of a mesh
// record, the cached records and their errors, and every model kind the writer makes read back
// exactly as written.
#include "models3ds/Const3DS.h"
#include "models3ds/File3DS.h"
#include "support/Chunk3DSFiles.h"
#include "support/TestSystem.h"
#include "tools/common/Models3DS.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>

namespace {

std::unique_ptr<TFile3DS> Open(const std::vector<uint8_t>& bytes) { return OpenChunkFile(bytes, "mesh.3ds"); }

void Named(TChunkWriter& w, const std::string& name, const TChunkBody& body) {
  w.Begin(kChunkNamedObject);
  w.Str(name);
  body(w);
  w.End();
}

// A triangle mesh with `vertices` vertices on the x axis and faces (0, 1, 2) ... ; extra sub-chunks
// of the face list from faceChildren.
void Triangles(TChunkWriter& w, uint16_t vertices, uint16_t faces, const TChunkBody& faceChildren = nullptr) {
  w.Begin(kChunkTriangleMesh);
  w.Begin(kChunkVertexList);
  w.U16(vertices);
  for (uint16_t v = 0; v < vertices; ++v) w.Vec(v, 0.5f, -1.0f * v);
  w.End();
  w.Begin(kChunkFaceList);
  w.U16(faces);
  for (uint16_t f = 0; f < faces; ++f) {
    w.U16(f % vertices);
    w.U16((f + 1) % vertices);
    w.U16((f + 2) % vertices);
    w.U16(7);
  }
  if (faceChildren) faceChildren(w);
  w.End();
  w.End();
}

}  // namespace

TEST(Mesh3DSExtract, OnlyObjectsWithTriangleMeshesAreMeshes) {
  auto file = Open(ModelWith([](TChunkWriter& w) {
    Named(w, "First", [](TChunkWriter& w) { Triangles(w, 3, 1); });
    Named(w, "Lamp", [](TChunkWriter& w) { w.Begin(kChunkLight); w.Vec(1, 2, 3); w.End(); });
    Named(w, "Third", [](TChunkWriter& w) { Triangles(w, 4, 2); });
  }));
  TObjectList& objects = file->Objects();
  ASSERT_EQ(objects.MeshTotal(), 2);
  EXPECT_EQ(file->Database().ObjectIndex->Count, 3);
  TMesh3DS* third = objects.MeshAt(1);
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(third->Name, "Third");
  EXPECT_EQ(third->VertexCount, 4);
  EXPECT_EQ(third->FaceCount, 2);
  EXPECT_EQ(objects.MeshAt(1), third);  // cached: the same record
  EXPECT_EQ(objects.MeshAt(0)->Name, "First");
  EXPECT_EQ(ErrorOf([&] { objects.MeshAt(2); }), "List index out of bounds (2)");
  EXPECT_EQ(ErrorOf([&] { objects.MeshAt(-1); }), "List index out of bounds (-1)");

  // The light stays undecoded in the tree; the light and camera lists stay empty.
  EXPECT_TRUE(objects.OmniLightRecords.empty());
  EXPECT_TRUE(objects.CameraRecords.empty());
}

TEST(Mesh3DSExtract, EveryFieldOfTheRecord) {
  auto file = Open(ModelWith([](TChunkWriter& w) {
    Named(w, "Full", [](TChunkWriter& w) {
      w.Begin(kChunkObjHidden); w.End();
      w.Begin(kChunkObjFrozen); w.End();
      w.Begin(kChunkTriangleMesh);
      w.Begin(kChunkVertexList); w.U16(3); w.Vec(0, 0, 0); w.Vec(1, 0, 0); w.Vec(0, 1, 2.5f); w.End();
      w.Begin(kChunkVertexFlags); w.U16(3); w.U16(1); w.U16(2); w.U16(3); w.End();
      w.Begin(kChunkTexCoords); w.U16(3); w.F32(0); w.F32(0); w.F32(1); w.F32(0); w.F32(0.25f); w.F32(1); w.End();
      w.Begin(kChunkLocalAxes);
      for (int i = 0; i < 12; ++i) w.F32(static_cast<float>(i) + 0.5f);
      w.End();
      w.Begin(kChunkMeshColor); w.U8(9); w.End();
      w.Begin(kChunkMapping);
      w.U16(2); w.F32(3); w.F32(4); w.Vec(5, 6, 7); w.F32(8);
      for (int i = 0; i < 12; ++i) w.F32(static_cast<float>(10 + i));
      w.F32(30); w.F32(31); w.F32(32);
      w.End();
      w.Begin(kChunkProcName); w.Str("twist"); w.End();
      w.Begin(kChunkProcData); w.U8(0xAB); w.U8(0xCD); w.End();
      w.Begin(kChunkFaceList);
      w.U16(2);
      w.U16(0); w.U16(1); w.U16(2); w.U16(3);
      w.U16(2); w.U16(1); w.U16(0); w.U16(4);
      w.Begin(kChunkFaceMaterial); w.Str("Red"); w.U16(1); w.U16(1); w.End();
      w.Begin(kChunkFaceMaterial); w.Str("Empty"); w.U16(0); w.End();
      w.Begin(kChunkSmoothing); w.U32(1); w.U32(0x80000000u); w.End();
      w.Begin(kChunkBoxMap);
      for (int i = 0; i < 6; ++i) w.Str("B" + std::to_string(i));
      w.End();
      w.End();
      w.End();
    });
  }));
  ASSERT_EQ(file->Objects().MeshTotal(), 1);
  const TMesh3DS& m = *file->Objects().MeshAt(0);
  EXPECT_EQ(m.Name, "Full");
  EXPECT_TRUE(m.Hidden);
  EXPECT_TRUE(m.Frozen);
  EXPECT_FALSE(m.ShownInLofter || m.Matte || m.CastsNoShadow || m.FastDisplay || m.ReceivesNoShadow || m.Procedural);
  ASSERT_EQ(m.VertexCount, 3);
  ASSERT_EQ(m.Vertices.size(), 3u);
  EXPECT_EQ(m.Vertices[2].Z, 2.5f);
  EXPECT_EQ(m.VertexFlagCount, 3);
  EXPECT_EQ(m.VertexFlags, (std::vector<uint16_t>{1, 2, 3}));
  ASSERT_EQ(m.TexCoordCount, 3);
  EXPECT_EQ(m.TexCoords[2].U, 0.25f);
  EXPECT_EQ(m.TexCoords[2].V, 1.0f);
  EXPECT_EQ(m.LocalMatrix[0], 0.5f);
  EXPECT_EQ(m.LocalMatrix[11], 11.5f);
  EXPECT_EQ(m.ColorIndex, 9);
  EXPECT_TRUE(m.HasMapping);
  EXPECT_EQ(m.Mapping.MapType, 2);
  EXPECT_EQ(m.Mapping.TileY, 4.0f);
  EXPECT_EQ(m.Mapping.IconPosition.Z, 7.0f);
  EXPECT_EQ(m.Mapping.IconScale, 8.0f);
  EXPECT_EQ(m.Mapping.MapMatrix[11], 21.0f);
  EXPECT_EQ(m.Mapping.CylinderHeight, 32.0f);
  EXPECT_EQ(m.ProcName, "twist");
  EXPECT_EQ(m.ProcDataSize, 2u);
  EXPECT_EQ(m.ProcData, (std::vector<uint8_t>{0xAB, 0xCD}));
  ASSERT_EQ(m.FaceCount, 2);
  EXPECT_EQ(m.Faces[1].A, 2);
  EXPECT_EQ(m.Faces[1].Flags, 4);
  ASSERT_EQ(m.MaterialGroupCount, 2);
  EXPECT_EQ(m.MaterialGroups[0].Name, "Red");
  EXPECT_EQ(m.MaterialGroups[0].FaceIndices, std::vector<uint16_t>{1});
  EXPECT_EQ(m.MaterialGroups[1].FaceCount, 0);
  EXPECT_TRUE(m.MaterialGroups[1].FaceIndices.empty());
  EXPECT_EQ(m.SmoothingGroups, (std::vector<uint32_t>{1, 0x80000000u}));
  EXPECT_TRUE(m.HasBoxMap);
  EXPECT_EQ(m.BoxMapMaterials[5], "B5");

  // Taken arrays leave the tree's blocks dropped: nothing stays decoded below the mesh.
  ChunkNode* triangles = TFile3DS::FindChunkDeep(file->Database().Top, kChunkTriangleMesh);
  for (ChunkNode* c = triangles->Children; c; c = c->Next) EXPECT_EQ(c->Data, nullptr) << c->Id;
}

TEST(Mesh3DSExtract, PlainMeshHasNeutralMappingAndNoOptionalArrays) {
  auto file = Open(ModelWith([](TChunkWriter& w) { Named(w, "Plain", [](TChunkWriter& w) { Triangles(w, 3, 1); }); }));
  const TMesh3DS& m = *file->Objects().MeshAt(0);
  EXPECT_EQ(m.TexCoordCount, 0);
  EXPECT_TRUE(m.TexCoords.empty());
  EXPECT_EQ(m.MaterialGroupCount, 0);
  EXPECT_TRUE(m.SmoothingGroups.empty());
  EXPECT_FALSE(m.HasBoxMap);
  EXPECT_FALSE(m.HasMapping);
  EXPECT_FALSE(m.Hidden || m.Frozen);
  EXPECT_EQ(m.Mapping.TileX, 1.0f);
  EXPECT_EQ(m.Mapping.PlanarHeight, 1.0f);
  EXPECT_EQ(m.Mapping.MapMatrix[0], 1.0f);
  EXPECT_EQ(m.Mapping.MapMatrix[4], 1.0f);
  EXPECT_EQ(m.Mapping.MapMatrix[8], 0.0f);

  // A later chunk of the same id overwrites the earlier one's fields.
  file = Open(ModelWith([](TChunkWriter& w) {
    Named(w, "Twice", [](TChunkWriter& w) {
      w.Begin(kChunkTriangleMesh);
      w.Begin(kChunkVertexList); w.U16(1); w.Vec(1, 1, 1); w.End();
      w.Begin(kChunkVertexList); w.U16(2); w.Vec(2, 2, 2); w.Vec(3, 3, 3); w.End();
      w.End();
    });
  }));
  EXPECT_EQ(file->Objects().MeshAt(0)->VertexCount, 2);
  EXPECT_EQ(file->Objects().MeshAt(0)->Vertices[0].X, 2.0f);
}

TEST(Mesh3DSExtract, WrongKindAndWrongTypeMessages) {
  // A material library holding a mesh object: counted, but not extracted.
  auto file = Open(ModelWith([](TChunkWriter& w) { Named(w, "M", [](TChunkWriter& w) { Triangles(w, 3, 1); }); },
                             kChunkMaterialLibrary));
  EXPECT_EQ(file->Objects().MeshTotal(), 1);
  EXPECT_EQ(ErrorOf([&] { file->Objects().MeshAt(0); }),
            "The database passed as an argument is the wrong kind of\rdatabase for this function.");

  // A project file is read like a model.
  file = Open(ModelWith([](TChunkWriter& w) { Named(w, "P", [](TChunkWriter& w) { Triangles(w, 3, 1); }); },
                        kChunkProjectFile));
  EXPECT_EQ(file->Objects().MeshAt(0)->Name, "P");

  // A triangle mesh deeper than a direct child counts, but is not the type asked for.
  file = Open(ModelWith([](TChunkWriter& w) {
    Named(w, "Deep", [](TChunkWriter& w) {
      w.Begin(kChunkMeshData);
      Triangles(w, 3, 1);
      w.End();
    });
  }));
  EXPECT_EQ(file->Objects().MeshTotal(), 1);
  EXPECT_EQ(ErrorOf([&] { file->Objects().MeshAt(0); }),
            "The Name passed to the functions exists but is not the type of object asked for.\r"
            "For example asking for a mesh object with the GetCameraByName3DS function.");

  // No mesh-data section at all: no meshes, no error.
  TChunkWriter w;
  w.Begin(kChunkModelFile);
  w.Begin(kChunkFileVersion); w.I32(3); w.End();
  w.End();
  file = Open(w.Bytes());
  EXPECT_EQ(file->Objects().MeshTotal(), 0);
  EXPECT_EQ(file->Objects().MeshAt(7), nullptr);
}

// ---- Files from the model writer ----

namespace {

void ExpectSameMeshes(const std::string& kind, TFile3DS& file) {
  SCOPED_TRACE(kind);
  const std::vector<TModelMesh> written = ModelFileMeshes(kind);
  ASSERT_FALSE(written.empty());
  ASSERT_EQ(file.Objects().MeshTotal(), static_cast<int32_t>(written.size()));
  for (size_t i = 0; i < written.size(); ++i) {
    const TModelMesh& want = written[i];
    const TMesh3DS* got = file.Objects().MeshAt(static_cast<int32_t>(i));
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->Name, want.Name);
    ASSERT_EQ(got->VertexCount, want.Vertices.size());
    ASSERT_EQ(got->Vertices.size(), want.Vertices.size());
    for (size_t v = 0; v < want.Vertices.size(); ++v) {
      ASSERT_EQ(got->Vertices[v].X, want.Vertices[v][0]) << "vertex " << v;
      ASSERT_EQ(got->Vertices[v].Y, want.Vertices[v][1]) << "vertex " << v;
      ASSERT_EQ(got->Vertices[v].Z, want.Vertices[v][2]) << "vertex " << v;
    }
    ASSERT_EQ(got->TexCoordCount, want.TexCoords.size());
    ASSERT_EQ(got->TexCoords.size(), want.TexCoords.size());
    for (size_t t = 0; t < want.TexCoords.size(); ++t) {
      ASSERT_EQ(got->TexCoords[t].U, want.TexCoords[t][0]) << "texture coordinate " << t;
      ASSERT_EQ(got->TexCoords[t].V, want.TexCoords[t][1]) << "texture coordinate " << t;
    }
    ASSERT_EQ(got->FaceCount, want.Faces.size());
    ASSERT_EQ(got->Faces.size(), want.Faces.size());
    for (size_t f = 0; f < want.Faces.size(); ++f) {
      ASSERT_EQ(got->Faces[f].A, want.Faces[f][0]) << "face " << f;
      ASSERT_EQ(got->Faces[f].B, want.Faces[f][1]) << "face " << f;
      ASSERT_EQ(got->Faces[f].C, want.Faces[f][2]) << "face " << f;
    }
  }
}

}  // namespace

TEST(Mesh3DSRoundTrip, EveryWrittenKindReadsBackExactly) {
  for (const char* kind : {"cube", "sphere", "torus", "duck", "multi", "lightcam", "keyframer"}) {
    const std::vector<uint8_t> bytes = ModelFileBytes(kind);
    ASSERT_FALSE(bytes.empty()) << kind;
    TFile3DS file(kind, bytes);
    ExpectSameMeshes(kind, file);
  }
  // The keyframer kind's nodes are indexed at open; its tree still holds the section.
  TFile3DS keyframer("keyframer", ModelFileBytes("keyframer"));
  EXPECT_NE(TFile3DS::FindChunkDeep(keyframer.Database().Top, kChunkKeyFramer), nullptr);
  // A material library has no mesh-data section to count from.
  TFile3DS library("matlib", ModelFileBytes("matlib"));
  EXPECT_EQ(library.Database().Top->Id, kChunkMaterialLibrary);
  EXPECT_EQ(library.Objects().MeshTotal(), 0);
}

TEST(Mesh3DSRoundTrip, ReadFromAFileOnDisk) {
  const std::string folder = MakeTempFolder();
  const std::string path = folder + "/multi.3ds";
  std::string error;
  ASSERT_TRUE(WriteModelFile("multi", path, error)) << error;
  {
    TFile3DS file(path);
    EXPECT_EQ(file.FileName(), path);
    ExpectSameMeshes("multi", file);
  }
  std::remove(path.c_str());
  std::filesystem::remove(folder);
}
