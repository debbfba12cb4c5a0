// Mesh extraction from the chunk tree and the containers of a TFile3DS.
#include "models3ds/Utils3DS.h"

#include "models3ds/Const3DS.h"
#include "models3ds/File3DS.h"

#include <new>

namespace {

const char kNoMemory[] = "Not enough memory to complete operation.";

// Loads the chunk's block as type T; a block of another type (which the decoder never makes for
// the ids asked for here) reads as a short chunk.
template <class T> T& Loaded(TFile3DS& file, ChunkNode* chunk) {
  file.LoadChunkData(chunk);
  T* data = chunk->DataAs<T>();
  if (!data) TFile3DS::Raise3DSError("Stream read error");
  return *data;
}

bool HasDirectChild(const ChunkNode* object, uint16_t id) {
  return TFile3DS::FindChunkAmongSiblings(object->Children, id) != nullptr;
}

// Material groups, smoothing masks and box map from the sub-chunks of a face list.
void ReadFaceListChildren(TFile3DS& file, ChunkNode* faceList, TMesh3DS& mesh) {
  ChunkNode* first = TFile3DS::FindChunkDeep(faceList, kChunkFaceMaterial);
  size_t groups = 0;
  for (ChunkNode* g = first; g; g = TFile3DS::FindChunkAmongSiblings(g->Next, kChunkFaceMaterial))
    ++groups;
  if (groups > 0xFFFF) TFile3DS::Raise3DSError("More than 65535 material groups in one mesh");
  mesh.MaterialGroupCount = static_cast<uint16_t>(groups);
  mesh.MaterialGroups.assign(groups, TObjMat3DS());
  size_t k = 0;
  for (ChunkNode* g = first; g; g = TFile3DS::FindChunkAmongSiblings(g->Next, kChunkFaceMaterial)) {
    TFaceMaterialData& data = Loaded<TFaceMaterialData>(file, g);
    TObjMat3DS& group = mesh.MaterialGroups[k++];
    group.Name = data.MaterialName;
    group.FaceCount = data.Count;
    group.FaceIndices = std::move(data.FaceIndices);
    TFile3DS::DropChunkData(g);
  }
  if (ChunkNode* smoothing = TFile3DS::FindChunkAmongSiblings(faceList->Children, kChunkSmoothing)) {
    mesh.SmoothingGroups = std::move(Loaded<TSmoothingData>(file, smoothing).Masks);
    TFile3DS::DropChunkData(smoothing);
  }
  if (ChunkNode* boxMap = TFile3DS::FindChunkAmongSiblings(faceList->Children, kChunkBoxMap)) {
    mesh.BoxMapMaterials = Loaded<TBoxMapData>(file, boxMap).Names;
    mesh.HasBoxMap = true;
    TFile3DS::DropChunkData(boxMap);
  }
}

}  // namespace

// ---- Mesh records ----

void ResetMeshRecord(TMesh3DS& mesh) {
  mesh = TMesh3DS();
  TMapInfo3DS& m = mesh.Mapping;
  m.TileX = m.TileY = m.IconScale = 1;
  m.PlanarWidth = m.PlanarHeight = m.CylinderHeight = 1;
  m.MapMatrix[0] = m.MapMatrix[4] = 1;
}

void DisposeMeshRecord(TMesh3DS& mesh) { mesh = TMesh3DS(); }

// ---- TFile3DS: named objects and meshes ----

void TFile3DS::UpdateObjectIndex() {
  if (!Database_.ObjectIndexDirty) return;
  Database_.ObjectIndex.reset();
  Database_.MeshObjects.clear();

  ChunkNode* section = FindChunkDeep(Database_.Top, kChunkMeshData);
  ChunkNode* first = section ? FindChunkDeep(section, kChunkNamedObject) : nullptr;
  int32_t count = 0;
  for (ChunkNode* o = first; o; o = FindChunkAmongSiblings(o->Next, kChunkNamedObject)) {
    if (count == kMaxNamedObjects) Raise3DSError("More than 65535 named objects in one file");
    ++count;
  }
  try {
    auto list = std::make_unique<NamedChunkList>();
    list->Count = count;
    list->Entries.reserve(static_cast<size_t>(count));
    Database_.ObjectIndex = std::move(list);
  } catch (const std::bad_alloc&) {
    Raise3DSError(kNoMemory);
  }
  if (!section) return;

  for (ChunkNode* o = first; o; o = FindChunkAmongSiblings(o->Next, kChunkNamedObject)) {
    NamedChunk entry;
    entry.Chunk = o;
    entry.Name = Loaded<TStringData>(*this, o).Value;
    Database_.ObjectIndex->Entries.push_back(std::move(entry));
    if (FindChunkDeep(o, kChunkTriangleMesh)) Database_.MeshObjects.push_back(o);
  }
  Database_.ObjectIndexDirty = false;
}

int32_t TFile3DS::CountMeshObjects() {
  UpdateObjectIndex();
  if (!Database_.ObjectIndex) return 0;
  return static_cast<int32_t>(Database_.MeshObjects.size());
}

// Mesh number n is the n-th named object holding a triangle mesh; the list of those objects is
// kept with the index, so asking for every mesh in turn stays linear.
void TFile3DS::ExtractMeshByIndex(int32_t index, TMesh3DS& mesh) {
  mesh = TMesh3DS();
  if (!Database_.Top) Raise3DSError("The database passed as an argument has not be created yet.");
  if (Database_.Top->Id != kChunkModelFile && Database_.Top->Id != kChunkProjectFile)
    Raise3DSError("The database passed as an argument is the wrong kind of\rdatabase for this function.");
  UpdateObjectIndex();
  if (index >= 0 && static_cast<size_t>(index) < Database_.MeshObjects.size())
    ExtractMesh(Database_.MeshObjects[static_cast<size_t>(index)], mesh);
}

void TFile3DS::ExtractMesh(ChunkNode* object, TMesh3DS& mesh) {
  ChunkNode* triangles = FindChunkAmongSiblings(object->Children, kChunkTriangleMesh);
  if (!triangles)
    Raise3DSError(
        "The Name passed to the functions exists but is not the type of object asked for.\r"
        "For example asking for a mesh object with the GetCameraByName3DS function.");
  ResetMeshRecord(mesh);
  mesh.Name = Loaded<TStringData>(*this, object).Value;

  for (ChunkNode* child = triangles->Children; child; child = child->Next) {
    switch (child->Id) {
      case kChunkVertexList: {
        TVertexListData& d = Loaded<TVertexListData>(*this, child);
        mesh.VertexCount = d.Count;
        mesh.Vertices = std::move(d.Vertices);
        break;
      }
      case kChunkVertexFlags: {
        TVertexFlagsData& d = Loaded<TVertexFlagsData>(*this, child);
        mesh.VertexFlagCount = d.Count;
        mesh.VertexFlags = std::move(d.Flags);
        break;
      }
      case kChunkFaceList: {
        TFaceListData& d = Loaded<TFaceListData>(*this, child);
        mesh.FaceCount = d.Count;
        mesh.Faces = std::move(d.Faces);
        if (child->Children) ReadFaceListChildren(*this, child, mesh);
        break;
      }
      case kChunkTexCoords: {
        TTexCoordListData& d = Loaded<TTexCoordListData>(*this, child);
        mesh.TexCoordCount = d.Count;
        mesh.TexCoords = std::move(d.TexCoords);
        break;
      }
      case kChunkLocalAxes: {
        const std::vector<float>& values = Loaded<TFloatsData>(*this, child).Values;
        for (size_t i = 0; i < mesh.LocalMatrix.size() && i < values.size(); ++i) mesh.LocalMatrix[i] = values[i];
        break;
      }
      case kChunkMeshColor:
        mesh.ColorIndex = Loaded<TByteData>(*this, child).Value;
        break;
      case kChunkMapping:
        mesh.HasMapping = true;
        mesh.Mapping = Loaded<TMappingData>(*this, child).Mapping;
        break;
      case kChunkProcName:
        mesh.ProcName = Loaded<TStringData>(*this, child).Value;
        break;
      case kChunkProcData: {
        TRawSizedData& d = Loaded<TRawSizedData>(*this, child);
        mesh.ProcDataSize = d.Size;
        mesh.ProcData = std::move(d.Bytes);
        break;
      }
      default:
        continue;  // not part of the record; left as it is
    }
    DropChunkData(child);
  }

  mesh.Hidden = HasDirectChild(object, kChunkObjHidden);
  mesh.ShownInLofter = HasDirectChild(object, kChunkObjShownInLofter);
  mesh.CastsNoShadow = HasDirectChild(object, kChunkObjCastsNoShadow);
  mesh.Matte = HasDirectChild(object, kChunkObjMatte);
  mesh.FastDisplay = HasDirectChild(object, kChunkObjFastDisplay);
  mesh.Procedural = HasDirectChild(object, kChunkObjProcedural);
  mesh.Frozen = HasDirectChild(object, kChunkObjFrozen);
  mesh.ReceivesNoShadow = HasDirectChild(object, kChunkObjReceivesNoShadow);
}

// ---- Containers ----

int32_t TObjectList::MeshTotal() {
  if (MeshRecords.empty()) MeshRecords.resize(static_cast<size_t>(SourceFile.CountMeshObjects()));
  return static_cast<int32_t>(MeshRecords.size());
}

TMesh3DS* TObjectList::MeshAt(int32_t index) {
  if (MeshTotal() == 0) return nullptr;
  if (index < 0 || static_cast<size_t>(index) >= MeshRecords.size())
    TFile3DS::Raise3DSError("List index out of bounds (" + std::to_string(index) + ")");
  std::unique_ptr<TMesh3DS>& slot = MeshRecords[static_cast<size_t>(index)];
  if (!slot) {
    TMesh3DS extracted;
    SourceFile.ExtractMeshByIndex(index, extracted);
    slot = std::make_unique<TMesh3DS>(std::move(extracted));
  }
  return slot.get();
}

void TObjectList::ClearLists() {
  for (auto& record : MeshRecords)
    if (record) DisposeMeshRecord(*record);
  MeshRecords.clear();
  OmniLightRecords.clear();
  SpotLightRecords.clear();
  CameraRecords.clear();
}

void TKeyFramer::ClearLists() {
  MeshMotions.clear();
  OmniMotions.clear();
  SpotMotions.clear();
  CameraMotions.clear();
  AmbientMotion.reset();
}
