#include "authoring/ReadOnlyHost.h"

#include "demo/Vorpane.h"
#include "effects/EffectFiles.h"

void TReadOnlyHost::Init(TVDemo& demo) { demo.FirstInit(); }

void TReadOnlyHost::DrawLoading(TVDemo&) {}

void TReadOnlyHost::Notice(const std::string&) {}

void TReadOnlyHost::LoadMusic(TVDemo& demo, const std::string& fileName) {
  demo.MusicFile = fileName;
}

std::unique_ptr<TVEffect> TReadOnlyHost::CreateEffect(const std::string& typeName,
                                                     const TReadContext& files) {
  if (!EffectCreationFiles(typeName).empty()) return std::make_unique<TVEffect>();
  return TScriptHost::CreateEffect(typeName, files);
}
