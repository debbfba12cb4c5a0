#include "effects/ModelLoading.h"

#include "platform/Files.h"
#include "platform/Text.h"

#include <exception>
#include <map>

namespace {

// A model as read from its file, and the file's stamp at that read.
struct TCachedModel {
  TFileStamp Stamp;
  std::unique_ptr<const TKGLBrush> Brush;
};

std::map<std::string, TCachedModel> modelCache;
int modelReads = 0;

}  // namespace

std::unique_ptr<TKGLBrush> LoadEffectModel(TVEffect& effect, const std::string& fileName,
                                           const TReadContext& files) {
  // Kept by absolute path: DATADIR may make the same name mean another file.
  const std::string path = files.AbsolutePath(fileName);
  const TFileStamp stamp = FileStamp(path);
  const auto cached = modelCache.find(path);
  if (cached != modelCache.end() && cached->second.Stamp == stamp)
    return cached->second.Brush->Clone();
  std::unique_ptr<TKGLBrush> brush;
  ++modelReads;
  try {
    brush = std::make_unique<TKGLBrush>(fileName, files);
  } catch (const std::exception& error) {
    ReportLoadFailure(effect, "Cannot load model " + fileName + ": " + error.what(), files);
    return nullptr;
  }
  const std::string unusable = UnusableModelReason(*brush);
  if (!unusable.empty()) {
    ReportLoadFailure(effect, "Cannot load model " + fileName + ": " + unusable, files);
    return nullptr;
  }
  std::unique_ptr<TKGLBrush> copy = brush->Clone();
  modelCache[path] = TCachedModel{stamp, std::move(brush)};
  return copy;
}

std::string UnusableModelReason(const TKGLBrush& brush) {
  if (brush.MeshCount == 0 || brush.Meshes.empty()) return "the file holds no mesh";
  const TMeshDataNM& first = *brush.Meshes[0];
  if (first.FaceCount == 0) return "its first mesh \"" + PrintableText(first.Name) + "\" has no faces";
  return std::string();
}

int ModelFileReadCount() { return modelReads; }

void ClearModelCache() {
  modelCache.clear();
  modelReads = 0;
}
