// The type-name table of LOAD: effect type names ("template", "flash", ...) and the
// constructors of their classes. Names are matched exactly and case-sensitively.
#pragma once
#include <memory>
#include <string>
#include <vector>

class TVEffect;

// A new effect of the named type, or null when no type has that name.
std::unique_ptr<TVEffect> CreateEffect(const std::string& typeName);
// The type names in table order.
std::vector<std::string> EffectTypeNames();
// True for the types that read their fixed pictures and models when they are created ("fuck",
// "metaballs", "pixelize"), which needs the rendering context.
bool EffectLoadsWhenCreated(const std::string& typeName);
// The name the table lists an effect under first: "fuck" for "metaballs", else the name itself.
std::string CanonicalEffectType(const std::string& typeName);
