#include "effects/EffectFiles.h"

#include "effects/EffectFactory.h"
#include "effects/Metaballs.h"
#include "effects/Pixelize.h"
#include "effects/VEffect.h"

namespace {

TEffectFile Picture(const std::string& name, const std::string& parameter) {
  return {TEffectFileKind::Picture, name, std::string(), parameter};
}

TEffectFile Model(const std::string& name, const std::string& parameter) {
  return {TEffectFileKind::Model, name, std::string(), parameter};
}

TEffectFile JpegPair(const std::string& colour, const std::string& alpha,
                     const std::string& parameter) {
  return {TEffectFileKind::JpegPair, colour, alpha, parameter};
}

bool IsPictureEffect(const std::string& type) {
  return type == "plaintexture" || type == "plaintextureadd";
}

}  // namespace

std::vector<TEffectFile> EffectCreationFiles(const std::string& typeName) {
  const std::string type = CanonicalEffectType(typeName);
  std::vector<TEffectFile> files;
  if (type == "fuck") {
    for (int n = 1; n <= kMetaballImageCount; ++n)
      files.push_back(Picture(MetaballImageName(n), ""));
  } else if (type == "pixelize") {
    files.push_back(Model(kPixelizeCubeModel, ""));
    files.push_back(Model(kPixelizeModel, ""));
    files.push_back(JpegPair(kPixelizeOverlayColour, kPixelizeOverlayAlpha, ""));
  }
  return files;
}

std::vector<TEffectFile> EffectLoadFiles(const std::string& typeName, const TVEffect& effect) {
  const std::string type = CanonicalEffectType(typeName);
  std::vector<TEffectFile> files;
  if (IsPictureEffect(type) && !effect.A.empty()) {
    // With an alpha picture the pair is read as two JPEG files, whatever their endings say.
    files.push_back(effect.B.empty() ? Picture(effect.A, "A")
                                     : JpegPair(effect.A, effect.B, "A and B"));
  } else if (type == "object") {
    if (!effect.A.empty()) files.push_back(Model(effect.A, "A"));
    if (!effect.B.empty()) files.push_back(Picture(effect.B, "B"));
    if (!effect.C.empty()) files.push_back(Picture(effect.C, "C"));
  } else if (type == "particles" && !effect.A.empty()) {
    files.push_back(Picture(effect.A, "A"));  // without one the sprites are drawn untextured
  }
  return files;
}

std::vector<std::string> MissingEffectParameters(const std::string& typeName,
                                                 const TVEffect& effect) {
  const std::string type = CanonicalEffectType(typeName);
  std::vector<std::string> missing;
  if (IsPictureEffect(type) && effect.A.empty()) missing.push_back("A (the picture file)");
  if (type == "object" && effect.A.empty()) missing.push_back("A (the model file)");
  return missing;
}
