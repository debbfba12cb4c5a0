// make_model KIND OUT.3ds: writes one of the built-in 3DS model files (the voxel cube, the duck,
// test shapes, test files with lights, cameras, keyframes or materials, and small files of the
// keyframer shapes that cost a reader memory per node).
#include "common/Models3DS.h"

#include <cstdio>
#include <string>

namespace {

void PrintUsage() {
  std::fprintf(stderr, "usage: make_model KIND OUT.3ds\nkinds:");
  for (const std::string& kind : ModelKinds()) std::fprintf(stderr, " %s", kind.c_str());
  for (const std::string& shape : KeyframerShapes()) std::fprintf(stderr, " %s", shape.c_str());
  std::fprintf(stderr, "\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    PrintUsage();
    return 2;
  }
  const std::string kind = argv[1];
  if (ModelFileBytes(kind).empty()) {
    std::fprintf(stderr, "make_model: unknown kind \"%s\"\n", kind.c_str());
    PrintUsage();
    return 2;
  }
  std::string error;
  if (!WriteModelFile(kind, argv[2], error)) {
    std::fprintf(stderr, "make_model: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
