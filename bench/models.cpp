// Load time of 3DS model files: the reader alone (open and extract every mesh record) and the
// whole brush path (engine meshes, the turn to Y up, normals twice), beside assimp (default
// flags, and once with smooth normals generated to do comparable work) and lib3ds (load and walk
// the meshes) on the same files, read from a temporary folder.
#include "common/Models3DS.h"
#include "engine/KGL2Classes.h"
#include "models3ds/File3DS.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <benchmark/benchmark.h>
#include <lib3ds/file.h>
#include <lib3ds/mesh.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <unistd.h>

namespace {

// The model file of a kind, written once per run into a temporary folder.
const std::string& ModelPath(const std::string& kind) {
  static std::map<std::string, std::string> paths;
  auto found = paths.find(kind);
  if (found != paths.end()) return found->second;
  static std::string folder;
  if (folder.empty()) {
    std::string pattern = "/tmp/vorpane-bench-XXXXXX";
    if (!::mkdtemp(&pattern[0])) std::abort();
    folder = pattern;
  }
  const std::string path = folder + "/" + kind + ".3ds";
  std::string error;
  if (!WriteModelFile(kind, path, error)) {
    std::fprintf(stderr, "bench_models: %s\n", error.c_str());
    std::abort();
  }
  return paths[kind] = path;
}

const char* KindOf(const benchmark::State& state) { return state.range(0) == 0 ? "duck" : "large"; }

void Reader(benchmark::State& state) {
  const std::string& path = ModelPath(KindOf(state));
  for (auto _ : state) {
    TFile3DS file(path);
    size_t vertices = 0;
    const int32_t total = file.Objects().MeshTotal();
    for (int32_t n = 0; n < total; ++n) vertices += file.Objects().MeshAt(n)->Vertices.size();
    benchmark::DoNotOptimize(vertices);
  }
  state.SetLabel(KindOf(state));
}

void Brush(benchmark::State& state) {
  const std::string& path = ModelPath(KindOf(state));
  for (auto _ : state) {
    TKGLBrush brush(path);
    benchmark::DoNotOptimize(brush.Meshes.data());
  }
  state.SetLabel(KindOf(state));
}

void AssimpWith(benchmark::State& state, unsigned int flags) {
  const std::string& path = ModelPath(KindOf(state));
  for (auto _ : state) {
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path, flags);
    if (!scene) {
      state.SkipWithError(importer.GetErrorString());
      break;
    }
    size_t vertices = 0;
    for (unsigned int m = 0; m < scene->mNumMeshes; ++m) vertices += scene->mMeshes[m]->mNumVertices;
    benchmark::DoNotOptimize(vertices);
  }
  state.SetLabel(KindOf(state));
}

void AssimpDefault(benchmark::State& state) { AssimpWith(state, 0); }
void AssimpSmoothNormals(benchmark::State& state) { AssimpWith(state, aiProcess_GenSmoothNormals); }

void Lib3ds(benchmark::State& state) {
  const std::string& path = ModelPath(KindOf(state));
  for (auto _ : state) {
    Lib3dsFile* file = lib3ds_file_load(path.c_str());
    if (!file) {
      state.SkipWithError("lib3ds could not load the file");
      break;
    }
    float sum = 0;
    for (Lib3dsMesh* mesh = file->meshes; mesh; mesh = mesh->next) {
      for (Lib3dsDword p = 0; p < mesh->points; ++p) sum += mesh->pointL[p].pos[0];
      for (Lib3dsDword f = 0; f < mesh->faces; ++f) sum += mesh->faceL[f].points[2];
    }
    benchmark::DoNotOptimize(sum);
    lib3ds_file_free(file);
  }
  state.SetLabel(KindOf(state));
}

}  // namespace

// Argument 0 is the duck, 1 the large model.
BENCHMARK(Reader)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Brush)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Lib3ds)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(AssimpDefault)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(AssimpSmoothNormals)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
