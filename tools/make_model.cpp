// make_model KIND OUT.3ds: writes one of the built-in 3DS model files (the voxel cube, the duck,
// test shapes, test files with lights, cameras, keyframes or materials, and small files of the
// keyframer shapes that cost a reader memory per node).
#include "common/Models3DS.h"
#include "common/Usage.h"

#include <cstdio>
#include <string>

namespace {

// The usage with the kinds there are.
std::string UsageText() {
  std::string text = "usage: make_model KIND OUT.3ds\nkinds:";
  for (const std::string& kind : ModelKinds()) text += " " + kind;
  for (const std::string& shape : KeyframerShapes()) text += " " + shape;
  return text + "\n";
}

}  // namespace

int main(int argc, char** argv) {
  const bool help = AskedForHelp(argc, argv);
  if (help || argc != 3) return PrintUsage(UsageText().c_str(), help);
  const std::string kind = argv[1];
  if (ModelFileBytes(kind).empty()) {
    std::fprintf(stderr, "make_model: unknown kind \"%s\"\n", kind.c_str());
    return PrintUsage(UsageText().c_str(), false);
  }
  std::string error;
  if (!WriteModelFile(kind, argv[2], error)) {
    std::fprintf(stderr, "make_model: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
