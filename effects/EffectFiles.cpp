#include "effects/EffectFiles.h"

TEffectFile PictureFile(const std::string& name, const std::string& parameter) {
  return {TEffectFileKind::Picture, name, std::string(), parameter};
}

TEffectFile ModelFile(const std::string& name, const std::string& parameter) {
  return {TEffectFileKind::Model, name, std::string(), parameter};
}

TEffectFile JpegPairFile(const std::string& colour, const std::string& alpha,
                         const std::string& parameter) {
  return {TEffectFileKind::JpegPair, colour, alpha, parameter};
}
