#include "engine/KGL2_3ds.h"

#include "models3ds/File3DS.h"
#include "models3ds/Types3DS.h"
#include "models3ds/Utils3DS.h"

#include <algorithm>
#include <cstdio>

std::unique_ptr<T3DSLoader> ModelLoader;

namespace {

// The name with control characters shown as '?', so a file cannot send terminal controls.
std::string Printable(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return text;
}

}  // namespace

T3DSLoader::T3DSLoader() = default;
T3DSLoader::~T3DSLoader() = default;

void T3DSLoader::OpenModelFile(const std::string& fileName, const TReadContext& files) {
  ModelFile.reset();
  LoadedMeshCount = 0;
  UseModelFile(std::make_unique<TFile3DS>(fileName, files), fileName);
}

void T3DSLoader::UseModelFile(std::unique_ptr<TFile3DS> file, const std::string& fileName) {
  ModelFile = std::move(file);
  ModelName = fileName;
  LoadedMeshCount = ModelFile ? ModelFile->Objects().MeshTotal() : 0;
}

std::unique_ptr<TMeshDataNM> T3DSLoader::MakeEngineMesh(int32_t n) {
  const TMesh3DS* record = ModelFile ? ModelFile->Objects().MeshAt(n) : nullptr;
  if (!record) return std::make_unique<TMeshDataNM>();
  int32_t dropped = 0;
  std::unique_ptr<TMeshDataNM> mesh = EngineMeshFromRecord(*record, dropped);
  if (dropped > 0)
    std::fprintf(stderr, "Model %s, mesh \"%s\": %d faces refer to missing vertices and were dropped\n",
                 Printable(ModelName).c_str(), Printable(record->Name).c_str(), dropped);
  return mesh;
}

void T3DSLoader::ReportKeyFramerDamage() const {
  if (ModelFile && !ModelFile->KeyFramerDamage().empty())
    std::fprintf(stderr, "Model %s: damaged keyframer data ignored (%s)\n", Printable(ModelName).c_str(),
                 ModelFile->KeyFramerDamage().c_str());
}

std::unique_ptr<TMeshDataNM> EngineMeshFromRecord(const TMesh3DS& record, int32_t& droppedFaces) {
  auto mesh = std::make_unique<TMeshDataNM>();
  // The counts are trusted only as far as the arrays back them.
  const size_t vertexCount = std::min<size_t>(record.VertexCount, record.Vertices.size());
  const size_t texCoordCount = std::min<size_t>(record.TexCoordCount, record.TexCoords.size());
  const size_t faceCount = std::min<size_t>(record.FaceCount, record.Faces.size());

  mesh->Vertices.resize(vertexCount);
  mesh->TexCoords.resize(vertexCount);  // vertices without a file coordinate keep (0, 0)
  mesh->Normals.resize(vertexCount);
  mesh->VertexCount = static_cast<int32_t>(vertexCount);
  for (size_t v = 0; v < vertexCount; ++v) {
    const TPoint3DS& p = record.Vertices[v];
    mesh->Vertices[v] = TVec3{p.X, p.Y, p.Z};
    if (v < texCoordCount) mesh->TexCoords[v] = TTexCoord2{record.TexCoords[v].U, record.TexCoords[v].V};
  }

  // A face that names a vertex the mesh does not have would make every reader of the mesh
  // (normals, drawing) read past its arrays: it is left out.
  mesh->Faces.reserve(faceCount);
  droppedFaces = 0;
  for (size_t f = 0; f < faceCount; ++f) {
    const TMeshFace3DS& face = record.Faces[f];
    if (face.A >= vertexCount || face.B >= vertexCount || face.C >= vertexCount) {
      ++droppedFaces;
      continue;
    }
    mesh->Faces.push_back(TFace{face.A, face.B, face.C});
  }
  mesh->FaceCount = static_cast<int32_t>(mesh->Faces.size());
  mesh->Name = record.Name;
  return mesh;
}

void CreateModelLoader() { ModelLoader = std::make_unique<T3DSLoader>(); }

void FreeModelLoader() { ModelLoader.reset(); }

void OpenModelFile(const std::string& fileName, const TReadContext& files) {
  if (!ModelLoader) CreateModelLoader();
  ModelLoader->OpenModelFile(fileName, files);
}

std::unique_ptr<TMeshDataNM> MakeEngineMesh(int32_t n) {
  return ModelLoader ? ModelLoader->MakeEngineMesh(n) : std::make_unique<TMeshDataNM>();
}
