#include "authoring/FileCheck.h"

#include "effects/ModelLoading.h"
#include "engine/ImageReaders.h"
#include "engine/KGL2Classes.h"
#include "platform/AudioDecode.h"
#include "platform/Text.h"

#include <exception>

namespace {

// The loader's message and reason on one line.
std::string FailureText(const TLoadFailure& failure) {
  std::string text = failure.Text;
  if (!failure.Reason.empty()) text += " (" + failure.Reason + ")";
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

std::string ModelProblem(const std::string& name, const TReadContext& files) {
  // The same steps as an effect's model load: every mesh read and turned into an engine mesh.
  try {
    TKGLBrush brush(name, files);
    const std::string unusable = UnusableModelReason(brush);
    if (!unusable.empty()) return "Cannot load model " + name + ": " + unusable;
  } catch (const std::exception& error) {
    return "Cannot load model " + name + ": " + error.what();
  }
  return std::string();
}

}  // namespace

std::string EffectFileProblem(const TEffectFile& file, std::string& note,
                              const TReadContext& files) {
  TTextureImage image;
  TLoadFailure failure;
  switch (file.Kind) {
    case TEffectFileKind::Model:
      return ModelProblem(file.Name, files);
    case TEffectFileKind::JpegPair:
      if (ReadJpegPairImage(file.Name, file.AlphaName, image, failure, files)) {
        note = PictureDamageLine(PrintableText(file.Name), image);
        return std::string();
      }
      return "picture pair " + PrintableText(file.Name) + " + " + PrintableText(file.AlphaName) +
             ": " + FailureText(failure);
    case TEffectFileKind::Picture:
      break;
  }
  if (ReadPictureFile(file.Name, image, failure, note, files)) {
    const std::string damage = PictureDamageLine(PrintableText(file.Name), image);
    if (!damage.empty()) note = note.empty() ? damage : note + "; " + damage;
    return std::string();
  }
  return "picture " + PrintableText(file.Name) + ": " + FailureText(failure);
}

std::string MusicFileProblem(const std::string& name, std::string& note,
                             const TReadContext& files) {
  TPcm16 pcm;
  std::string reason, damage;
  if (DecodeAudioFile(files.PathOf(name), pcm, reason, &damage)) {
    if (!damage.empty()) note = PrintableText(name) + ": " + damage;
    return std::string();
  }
  return "Cannot load music " + PrintableText(name) + ": " + reason;
}
