// The 3DS chunk reader on hand-built files: which chunks the walk descends into, payload
// decoding and its caching, extended data, the keyframer node index and parent names, and every
// malformed file ending in a clear error or a shortened walk, never a read outside the file.
#include "models3ds/Const3DS.h"
#include "models3ds/File3DS.h"
#include "support/Chunk3DSFiles.h"
#include "tools/common/Models3DS.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

std::unique_ptr<TFile3DS> Open(const std::vector<uint8_t>& bytes) { return OpenChunkFile(bytes, "test.3ds"); }

std::vector<uint16_t> ChildIds(const ChunkNode* node) {
  std::vector<uint16_t> ids;
  for (const ChunkNode* c = node ? node->Children : nullptr; c; c = c->Next) ids.push_back(c->Id);
  return ids;
}

ChunkNode* Section(TFile3DS& file) { return TFile3DS::FindChunkDeep(file.Database().Top, kChunkMeshData); }

}  // namespace

TEST(File3DSTree, AcceptedRootsAreWalkedOtherRootsStayAlone) {
  for (uint16_t root : {kChunkModelFile, kChunkProjectFile, kChunkMaterialLibrary}) {
    auto file = Open(ModelWith([](TChunkWriter& w) {
      w.Begin(kChunkNamedObject);
      w.Str("Box");
      w.End();
    }, root));
    ChunkNode* top = file->Database().Top;
    EXPECT_EQ(top->Id, root);
    EXPECT_EQ(top->Position, 0u);
    EXPECT_EQ(ChildIds(top), std::vector<uint16_t>{kChunkMeshData});
    EXPECT_EQ(ChildIds(Section(*file)), std::vector<uint16_t>{kChunkNamedObject});
  }
  // The same bytes under another root id: no error, the root alone, no meshes.
  auto file = Open(ModelWith([](TChunkWriter& w) { w.Begin(kChunkNamedObject); w.Str("Box"); w.End(); }, 0x1234));
  EXPECT_EQ(file->Database().Top->Id, 0x1234);
  EXPECT_EQ(file->Database().Top->Children, nullptr);
  EXPECT_EQ(file->NodeCount(), 1u);
  EXPECT_EQ(file->Objects().MeshTotal(), 0);
  EXPECT_EQ(file->Objects().MeshAt(0), nullptr);
}

TEST(File3DSTree, UnknownChunksAreLeavesAndTheWalkGoesOn) {
  auto file = Open(ModelWith([](TChunkWriter& w) {
    w.Begin(0x5A5A);  // unknown id whose payload looks like a named object
    w.Begin(kChunkNamedObject);
    w.Str("Inner");
    w.End();
    w.End();
    w.Begin(kChunkNamedObject);
    w.Str("Outer");
    w.End();
  }));
  ChunkNode* section = Section(*file);
  ASSERT_EQ(ChildIds(section), (std::vector<uint16_t>{0x5A5A, kChunkNamedObject}));
  ChunkNode* unknown = section->Children;
  EXPECT_EQ(unknown->Children, nullptr);
  file->LoadChunkData(unknown);
  const TRawData* raw = unknown->DataAs<TRawData>();
  ASSERT_NE(raw, nullptr);
  EXPECT_EQ(raw->Bytes.size(), unknown->Length - 6);
  EXPECT_EQ(raw->Bytes[0], kChunkNamedObject & 0xFF);
  file->LoadChunkData(unknown->Next);
  EXPECT_EQ(unknown->Next->DataAs<TStringData>()->Value, "Outer");

  // Searches: deep is pre-order from the start node only, siblings is one chain only.
  EXPECT_EQ(TFile3DS::FindChunkDeep(file->Database().Top, kChunkNamedObject), unknown->Next);
  EXPECT_EQ(TFile3DS::FindChunkDeep(unknown, kChunkNamedObject), nullptr);
  EXPECT_EQ(TFile3DS::FindChunkAmongSiblings(unknown, kChunkNamedObject), unknown->Next);
  EXPECT_EQ(TFile3DS::FindChunkAmongSiblings(file->Database().Top, kChunkNamedObject), nullptr);
  EXPECT_EQ(TFile3DS::FindChunkDeep(nullptr, kChunkNamedObject), nullptr);
}

TEST(File3DSTree, FaceListOwnDataIsCountedFacesThenSubChunks) {
  auto file = Open(ModelWith([](TChunkWriter& w) {
    w.Begin(kChunkNamedObject);
    w.Str("Box");
    w.Begin(kChunkTriangleMesh);
    w.Begin(kChunkFaceList);
    w.U16(3);
    for (uint16_t f = 0; f < 3; ++f) {
      // Face words that look like chunk headers: skipping the wrong amount would show.
      w.U16(kChunkFaceMaterial); w.U16(8); w.U16(0); w.U16(f);
    }
    w.Begin(kChunkFaceMaterial);
    w.Str("Red");
    w.U16(1);
    w.U16(2);
    w.End();
    w.Begin(kChunkSmoothing);
    w.U32(1); w.U32(2); w.U32(4);
    w.End();
    w.Begin(kChunkBoxMap);
    for (int i = 0; i < 6; ++i) w.Str("Side" + std::to_string(i));
    w.End();
    w.End();
    w.End();
    w.End();
  }));
  ChunkNode* faces = TFile3DS::FindChunkDeep(file->Database().Top, kChunkFaceList);
  ASSERT_NE(faces, nullptr);
  EXPECT_EQ(ChildIds(faces), (std::vector<uint16_t>{kChunkFaceMaterial, kChunkSmoothing, kChunkBoxMap}));
  EXPECT_EQ(faces->Children->Position, faces->Position + 6 + 2 + 8 * 3);
  file->LoadChunkData(faces);
  const TFaceListData* list = faces->DataAs<TFaceListData>();
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Count, 3);
  EXPECT_EQ(list->Faces[2].A, kChunkFaceMaterial);
  EXPECT_EQ(list->Faces[2].Flags, 2);
}

TEST(File3DSData, SmoothingRemainderIgnoredAndLoadsCachedUntilDropped) {
  auto file = Open(ModelWith([](TChunkWriter& w) {
    w.Begin(kChunkSmoothing);
    w.U32(0x11); w.U32(0x22); w.U32(0x33);
    w.U8(0xEE); w.U8(0xEE); w.U8(0xEE);  // three bytes too few for a fourth mask
    w.End();
    w.Begin(kChunkVertexList);
    w.U16(2);
    w.Vec(1, 2, 3);
    w.Vec(-4, 5.5f, 6);
    w.End();
  }));
  ChunkNode* smoothing = Section(*file)->Children;
  file->LoadChunkData(smoothing);
  const TSmoothingData* masks = smoothing->DataAs<TSmoothingData>();
  ASSERT_NE(masks, nullptr);
  EXPECT_EQ(masks->Count, 3);
  EXPECT_EQ(masks->Masks, (std::vector<uint32_t>{0x11, 0x22, 0x33}));

  ChunkNode* vertices = smoothing->Next;
  file->LoadChunkData(vertices);
  TVertexListData* list = vertices->DataAs<TVertexListData>();
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Vertices.size(), 2u);
  EXPECT_EQ(list->Vertices[1].Y, 5.5f);
  list->Vertices[1].Y = 99;           // a second load must not read the file again
  file->LoadChunkData(vertices);
  EXPECT_EQ(vertices->DataAs<TVertexListData>(), list);
  EXPECT_EQ(list->Vertices[1].Y, 99);
  TFile3DS::DropChunkData(vertices);
  EXPECT_EQ(vertices->Data, nullptr);
  file->LoadChunkData(vertices);      // after a drop it does
  EXPECT_EQ(vertices->DataAs<TVertexListData>()->Vertices[1].Y, 5.5f);
}

TEST(File3DSTree, ExtendedDataEntryEndsAtForeignId) {
  auto file = Open(ModelWith([](TChunkWriter& w) {
    w.Begin(kChunkExtendedSection);
    w.Begin(kChunkExtendedEntry);
    w.Begin(kChunkExtendedFirst);
    w.Str("App");
    w.End();
    // A header claiming more than the entry holds: skipped, reading goes on behind it.
    w.U16(kChunkExtendedString);
    w.U32(1000);
    w.Begin(kChunkExtendedString);
    w.Str("Text");
    w.End();
    w.Begin(kChunkNamedObject);  // foreign id: the entry ends here
    w.Str("Hidden");
    w.End();
    w.Begin(kChunkExtendedString);
    w.Str("Never");
    w.End();
    w.End();
    w.End();
    w.Begin(kChunkNamedObject);
    w.Str("After");
    w.End();
  }));
  ChunkNode* section = Section(*file);
  ASSERT_EQ(ChildIds(section), (std::vector<uint16_t>{kChunkExtendedSection, kChunkNamedObject}));
  ChunkNode* entry = section->Children->Children;
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(ChildIds(entry), (std::vector<uint16_t>{kChunkExtendedFirst, kChunkExtendedString}));
  file->LoadChunkData(entry->Children->Next);
  EXPECT_EQ(entry->Children->Next->DataAs<TStringData>()->Value, "Text");
  file->LoadChunkData(entry);
  const TRawSizedData* raw = entry->DataAs<TRawSizedData>();
  ASSERT_NE(raw, nullptr);
  EXPECT_EQ(raw->Size, entry->Length - 6);
  EXPECT_EQ(raw->Bytes.size(), raw->Size);
  file->LoadChunkData(section->Children->Next);
  EXPECT_EQ(section->Children->Next->DataAs<TStringData>()->Value, "After");
}

namespace {

struct KfNode {
  uint16_t Kind;
  std::string Name;
  int16_t Parent;
  int32_t Id;  // -1: no node-id chunk
  std::string Instance;
};

std::vector<uint8_t> KeyFramerFile(const std::vector<KfNode>& nodes) {
  TChunkWriter w;
  w.Begin(kChunkModelFile);
  w.Begin(kChunkKeyFramer);
  w.Begin(kChunkKeyFramerHeader);
  w.I16(5);
  w.Str("scene");
  w.I32(100);
  w.End();
  for (const KfNode& n : nodes) {
    w.Begin(n.Kind);
    if (n.Id >= 0) {
      w.Begin(kChunkNodeId);
      w.I16(static_cast<int16_t>(n.Id));
      w.End();
    }
    w.Begin(kChunkNodeHeader);
    w.Str(n.Name);
    w.U16(0);
    w.U16(0);
    w.I16(n.Parent);
    w.End();
    if (!n.Instance.empty()) {
      w.Begin(kChunkInstanceName);
      w.Str(n.Instance);
      w.End();
    }
    w.End();
  }
  w.End();
  w.End();
  return w.Bytes();
}

// The parent name attached to the node-th keyframer node's header, "-" when none.
std::string ParentNameOf(TFile3DS& file, int node) {
  ChunkNode* section = TFile3DS::FindChunkDeep(file.Database().Top, kChunkKeyFramer);
  ChunkNode* n = section->Children->Next;  // behind the keyframer header
  for (int i = 0; i < node; ++i) n = n->Next;
  ChunkNode* name = TFile3DS::FindChunkDeep(TFile3DS::FindChunkDeep(n, kChunkNodeHeader), kChunkParentName);
  if (!name) return "-";
  const TParentNameData* data = name->DataAs<TParentNameData>();
  return data ? *data->Value : "(no data)";
}

}  // namespace

TEST(File3DSKeyFramer, ParentNamesFollowTheNodeIndexAndItsRenumbering) {
  // Ids as in the file: the light's parent 5 is the box with instance name "left".
  std::vector<KfNode> nodes = {{kChunkObjectNode, "Box", -1, 5, "left"},
                               {kChunkObjectNode, "Lid", 5, 7, ""},
                               {kChunkCameraNode, "Cam", 7, 9, ""},
                               {kChunkLightNode, "Lamp", 5, 11, ""}};
  auto file = Open(KeyFramerFile(nodes));
  EXPECT_EQ(ParentNameOf(*file, 0), "-");
  EXPECT_EQ(ParentNameOf(*file, 1), "Box.left");
  EXPECT_EQ(ParentNameOf(*file, 2), "Lid");
  EXPECT_EQ(ParentNameOf(*file, 3), "Box.left");

  // One node without an id renumbers the whole index 0, 1, 2...: the file's ids 5 and 7 are no
  // longer found, while a parent id of 1 now names the second node.
  nodes[2] = {kChunkCameraNode, "Cam", 1, 9, ""};
  nodes.push_back({kChunkObjectNode, "Loose", 0, -1, ""});
  file = Open(KeyFramerFile(nodes));
  EXPECT_EQ(ParentNameOf(*file, 1), "-");
  EXPECT_EQ(ParentNameOf(*file, 3), "-");
  EXPECT_EQ(ParentNameOf(*file, 4), "-");  // no node-id chunk: never given a parent name
  // The camera's own id 9 is not in the renumbered index either.
  EXPECT_EQ(ParentNameOf(*file, 2), "-");
  nodes[2].Id = 2;  // renumbered, the camera (third node) is 2 and its parent 1 is "Lid"
  file = Open(KeyFramerFile(nodes));
  EXPECT_EQ(ParentNameOf(*file, 2), "Lid");
}

TEST(File3DSKeyFramer, ExistingParentNameIsKept) {
  TChunkWriter w;
  w.Begin(kChunkModelFile);
  w.Begin(kChunkKeyFramer);
  w.Begin(kChunkObjectNode);
  w.Begin(kChunkNodeId); w.I16(0); w.End();
  w.Begin(kChunkNodeHeader); w.Str("Root"); w.U16(0); w.U16(0); w.I16(-1); w.End();
  w.End();
  w.Begin(kChunkObjectNode);
  w.Begin(kChunkNodeId); w.I16(1); w.End();
  w.Begin(kChunkNodeHeader); w.Str("Child"); w.U16(0); w.U16(0); w.I16(0);
  w.Begin(kChunkParentName); w.Str("Given"); w.End();
  w.End();
  w.End();
  w.End();
  w.End();
  auto file = Open(w.Bytes());
  ChunkNode* header = TFile3DS::FindChunkDeep(file->Database().Top->Children->Children->Next, kChunkNodeHeader);
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(ChildIds(header), std::vector<uint16_t>{kChunkParentName});
  EXPECT_EQ(header->Children->Data, nullptr);  // the file's chunk decodes to no data
}
