#include "effects/EffectFactory.h"

#include "effects/ColorEffects.h"
#include "effects/EffectFiles.h"
#include "effects/LineDistortion.h"
#include "effects/Metaballs.h"
#include "effects/ObjectEffect.h"
#include "effects/Particles.h"
#include "effects/Pixelize.h"
#include "effects/TextureEffects.h"
#include "effects/VEffect.h"

#include <type_traits>

namespace {

// One effect type: its name, its constructor, and what its class says it reads and needs.
struct EffectType {
  const char* name;
  std::unique_ptr<TVEffect> (*create)(const TReadContext& files);
  std::vector<TEffectFile> (*creationFiles)();
  std::vector<TEffectFile> (*loadFiles)(const TVEffect&);
  std::vector<std::string> (*missingParameters)(const TVEffect&);
  const char* aliasOf;  // another name of the same effect, or null
};

template <class Effect>
std::unique_ptr<TVEffect> Make(const TReadContext& files) {
  if constexpr (std::is_constructible_v<Effect, const TReadContext&>)
    return std::make_unique<Effect>(files);
  else
    return std::make_unique<Effect>();
}

template <class Effect>
constexpr EffectType Row(const char* name, const char* aliasOf = nullptr) {
  return {name,
          Make<Effect>,
          &Effect::CreationFiles,
          &Effect::LoadFiles,
          &Effect::MissingParameters,
          aliasOf};
}

// One row per effect type, in the order LOAD compares them.
const EffectType kEffectTypes[] = {
    Row<TVEffect>("template"),
    Row<TPlainColor>("plaincolor"),
    Row<TFlash>("flash"),
    Row<TInverseFlash>("invertflash"),
    Row<TLineDistortion>("lines"),
    Row<TPlainTexture>("plaintexture"),
    Row<TPlainTextureAdd>("plaintextureadd"),
    Row<T3DObject>("object"),
    Row<TParticles>("particles"),
    Row<TFuck>("fuck"),
    Row<TPixelize>("pixelize"),
    // The same effect under a name that says what it shows.
    Row<TFuck>("metaballs", "fuck"),
};

const EffectType* FindType(const std::string& typeName) {
  for (const EffectType& type : kEffectTypes)
    if (typeName == type.name) return &type;
  return nullptr;
}

}  // namespace

std::unique_ptr<TVEffect> CreateEffect(const std::string& typeName, const TReadContext& files) {
  const EffectType* type = FindType(typeName);
  return type ? type->create(files) : nullptr;
}

std::vector<std::string> EffectTypeNames() {
  std::vector<std::string> names;
  for (const EffectType& type : kEffectTypes) names.push_back(type.name);
  return names;
}

std::string CanonicalEffectType(const std::string& typeName) {
  const EffectType* type = FindType(typeName);
  return type && type->aliasOf ? type->aliasOf : typeName;
}

std::vector<TEffectFile> EffectCreationFiles(const std::string& typeName) {
  const EffectType* type = FindType(typeName);
  return type ? type->creationFiles() : std::vector<TEffectFile>();
}

std::vector<TEffectFile> EffectLoadFiles(const std::string& typeName, const TVEffect& effect) {
  const EffectType* type = FindType(typeName);
  return type ? type->loadFiles(effect) : std::vector<TEffectFile>();
}

std::vector<std::string> MissingEffectParameters(const std::string& typeName,
                                                 const TVEffect& effect) {
  const EffectType* type = FindType(typeName);
  return type ? type->missingParameters(effect) : std::vector<std::string>();
}
