// The keyed tracks part of `vorpane --check`: tracks named but never keyed, tracks of the file
// nothing uses, keys of unknown types, two keys on one row, keys past the end of the demo.
#pragma once
#include "authoring/ScriptCheck.h"

#include <string>
#include <vector>

struct TDemoScript;

// The warnings about the script's keyed tracks, each on the line it concerns.
std::vector<TCheckMessage> CheckKeyedTracks(const TDemoScript& demo);
// Where the demo ends: at its end time or the demotrack's last row, whichever comes first (-1:
// neither); `what` says which ("the end time" or "the demotrack's end").
double ScriptEndSeconds(const TDemoScript& demo, std::string* what = nullptr);
