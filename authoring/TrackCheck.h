// The keyed tracks part of `vorpane --check`: tracks named but never keyed, tracks of the file
// nothing uses, keys of unknown types, two keys on one row, keys past the end of the demo.
#pragma once
#include "authoring/ScriptCheck.h"

#include <vector>

struct TDemoScript;

// The warnings about the script's keyed tracks, each on the line it concerns.
std::vector<TCheckMessage> CheckKeyedTracks(const TDemoScript& demo);
