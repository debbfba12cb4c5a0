#include "effects/EffectFactory.h"

#include "effects/ColorEffects.h"
#include "effects/LineDistortion.h"
#include "effects/Metaballs.h"
#include "effects/ObjectEffect.h"
#include "effects/Particles.h"
#include "effects/Pixelize.h"
#include "effects/TextureEffects.h"
#include "effects/VEffect.h"

namespace {

struct EffectType {
  const char* name;
  std::unique_ptr<TVEffect> (*create)();
  const char* aliasOf = nullptr;  // another name of the same effect
};

template <class Effect>
std::unique_ptr<TVEffect> Make() {
  return std::make_unique<Effect>();
}

// One line per effect type, in the order LOAD compares them.
const EffectType kEffectTypes[] = {
    {"template", Make<TVEffect>},
    {"plaincolor", Make<TPlainColor>},
    {"flash", Make<TFlash>},
    {"invertflash", Make<TInverseFlash>},
    {"lines", Make<TLineDistortion>},
    {"plaintexture", Make<TPlainTexture>},
    {"plaintextureadd", Make<TPlainTextureAdd>},
    {"object", Make<T3DObject>},
    {"particles", Make<TParticles>},
    {"fuck", Make<TFuck>},
    {"pixelize", Make<TPixelize>},
    // The same effect under a name that says what it shows.
    {"metaballs", Make<TFuck>, "fuck"},
};

}  // namespace

std::unique_ptr<TVEffect> CreateEffect(const std::string& typeName) {
  for (const EffectType& type : kEffectTypes)
    if (typeName == type.name) return type.create();
  return nullptr;
}

std::vector<std::string> EffectTypeNames() {
  std::vector<std::string> names;
  for (const EffectType& type : kEffectTypes) names.push_back(type.name);
  return names;
}

std::string CanonicalEffectType(const std::string& typeName) {
  for (const EffectType& type : kEffectTypes)
    if (typeName == type.name && type.aliasOf) return type.aliasOf;
  return typeName;
}

