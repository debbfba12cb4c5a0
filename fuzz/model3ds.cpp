// Fuzzes the whole model path from bytes: the 3DS reader's chunk tree, every mesh object it
// counts, the engine meshes made from them as the brush makes them, and their normals. Reader
// failures are exceptions and expected; a made mesh must keep its invariant.
#include "engine/KGL2_3ds.h"

#include <cmath>
#include <cstdlib>
#include <exception>
#include <vector>

namespace {

void CheckMesh(const TMeshDataNM& mesh) {
  const size_t vertices = static_cast<size_t>(mesh.VertexCount);
  if (mesh.VertexCount < 0 || mesh.FaceCount < 0 || mesh.Vertices.size() != vertices ||
      mesh.TexCoords.size() != vertices || mesh.Normals.size() != vertices ||
      mesh.Faces.size() != static_cast<size_t>(mesh.FaceCount) || !mesh.Material)
    std::abort();
  for (const TFace& f : mesh.Faces)
    if (f.A >= vertices || f.B >= vertices || f.C >= vertices) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    T3DSLoader loader;
    loader.UseModelFile(std::make_unique<TFile3DS>("fuzz.3ds", std::vector<uint8_t>(data, data + size)),
                        "fuzz.3ds");
    for (int32_t n = 0; n < loader.LoadedMeshCount; ++n) {
      std::unique_ptr<TMeshDataNM> mesh = loader.MakeEngineMesh(n);
      CheckMesh(*mesh);
      mesh->ComputeNormals();
      RotateMesh(*mesh, TVec3{270, 0, 0});
      mesh->ComputeNormals();
    }
  } catch (const std::exception&) {
    // Refusing a bad file is the expected outcome.
  }
  return 0;
}
