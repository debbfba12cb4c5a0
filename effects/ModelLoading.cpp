#include "effects/ModelLoading.h"

#include <exception>

std::unique_ptr<TKGLBrush> LoadEffectModel(TVEffect& effect, const std::string& fileName) {
  std::unique_ptr<TKGLBrush> brush;
  try {
    brush = std::make_unique<TKGLBrush>(fileName);
  } catch (const std::exception& error) {
    ReportLoadFailure(effect, "Cannot load model " + fileName + ": " + error.what());
    return nullptr;
  }
  if (brush->MeshCount == 0) {
    ReportLoadFailure(effect, "Cannot load model " + fileName + ": the file holds no mesh");
    return nullptr;
  }
  return brush;
}
