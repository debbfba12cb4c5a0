// The effect table of LOAD: one row per effect type name ("template", "flash", ...) with the
// constructor of its class and what the class says it reads and needs (the queries of
// effects/EffectFiles.h). Names are matched exactly and case-sensitively.
#pragma once
#include "platform/ReadContext.h"

#include <memory>
#include <string>
#include <vector>

class TVEffect;

// A new effect of the named type, or null when no type has that name; a type that reads files
// when created resolves their names by `files`.
std::unique_ptr<TVEffect> CreateEffect(const std::string& typeName,
                                       const TReadContext& files = TReadContext());
// The type names in table order.
std::vector<std::string> EffectTypeNames();
// The name the table lists an effect under first: "fuck" for "metaballs", else the name itself.
std::string CanonicalEffectType(const std::string& typeName);
