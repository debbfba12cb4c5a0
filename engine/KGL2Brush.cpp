#include "engine/KGL2Classes.h"
#include "engine/KGL2_3ds.h"

namespace {

// Frees the module's model loader, and the file it holds, when the load ends, also when an
// exception passes through it.
class TModelLoaderScope {
 public:
  TModelLoaderScope() { CreateModelLoader(); }
  ~TModelLoaderScope() { FreeModelLoader(); }
  TModelLoaderScope(const TModelLoaderScope&) = delete;
  TModelLoaderScope& operator=(const TModelLoaderScope&) = delete;
};

// Frees the loader's file when ReadMeshes is done with it, however it ends.
class TModelFileScope {
 public:
  TModelFileScope() = default;
  ~TModelFileScope() {
    if (ModelLoader) ModelLoader->ModelFile.reset();
  }
  TModelFileScope(const TModelFileScope&) = delete;
  TModelFileScope& operator=(const TModelFileScope&) = delete;
};

}  // namespace

TKGLBrush::TKGLBrush(const std::string& fileName, const TReadContext& files) {
  LoadModel(fileName, files);
}

std::unique_ptr<TKGLBrush> TKGLBrush::Clone() const {
  auto copy = std::make_unique<TKGLBrush>();
  copy->Meshes.reserve(Meshes.size());
  for (const std::unique_ptr<TMeshDataNM>& mesh : Meshes) {
    auto meshCopy = std::make_unique<TMeshDataNM>();
    meshCopy->CopyFrom(*mesh);
    meshCopy->Name = mesh->Name;
    if (mesh->Material)
      *meshCopy->Material = *mesh->Material;
    else
      meshCopy->Material.reset();
    copy->Meshes.push_back(std::move(meshCopy));
  }
  copy->MeshCount = MeshCount;
  return copy;
}

void TKGLBrush::LoadModel(const std::string& fileName, const TReadContext& files) {
  TModelLoaderScope loader;
  ReadMeshes(fileName, files);
  // The file is Z up, the engine Y up: (x, y, z) becomes (x, z, -y).
  RotateAll(TVec3{270, 0, 0});
}

void TKGLBrush::ReadMeshes(const std::string& fileName, const TReadContext& files) {
  // Called on its own, it needs a loader for the time of the read.
  std::unique_ptr<TModelLoaderScope> ownLoader;
  if (!ModelLoader) ownLoader = std::make_unique<TModelLoaderScope>();
  TModelFileScope file;
  OpenModelFile(fileName, files);
  std::vector<std::unique_ptr<TMeshDataNM>> meshes;
  meshes.reserve(static_cast<size_t>(ModelLoader->LoadedMeshCount));
  for (int32_t n = 0; n < ModelLoader->LoadedMeshCount; ++n) {
    meshes.push_back(MakeEngineMesh(n));
    meshes.back()->ComputeNormals();
  }
  ModelLoader->ReportKeyFramerDamage();
  Meshes = std::move(meshes);
  MeshCount = static_cast<int32_t>(Meshes.size());
}

void TKGLBrush::RotateAll(const TVec3& angles) {
  for (std::unique_ptr<TMeshDataNM>& mesh : Meshes) {
    RotateMesh(*mesh, angles);
    mesh->ComputeNormals();
  }
}

void TKGLBrush::ScaleAll(const TVec3& s) {
  for (std::unique_ptr<TMeshDataNM>& mesh : Meshes) ScaleMesh(*mesh, s);
}
