// What reading a script builds, as one value: the settings, the effect slots with their lines
// and types, the bars, the macros, the demotrack and the effects it owns. A reload builds a new
// one and keeps the old one whole when the script cannot be read.
#pragma once
#include "demo/ParameterTracks.h"
#include "demo/ScriptParser.h"
#include "demo/Tracker.h"
#include "effects/VEffect.h"
#include "platform/ReadContext.h"

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

// How one of a bar's 20 inputs is derived from the demotrack.
struct TInputMap {
  int32_t Channel = 0;      // demotrack channel
  uint8_t Note = 0;         // the value looked for in the channel
  float Width = 0.0f;       // seconds each side of a matching row
  float LookAhead = 0.0f;   // seconds a coming note is looked for ahead
  bool Enabled = false;
};

// One timeline entry: mounts an effect slot on a span of tracker rows.
struct TScriptBar {
  int32_t Mount = 0;                            // first row
  int32_t Length = 0;                           // number of rows
  int32_t Effect = 0;                           // slot in EffectSlots
  TInputMap InputMaps[kEffectInputCount];
  std::string Name;
  int32_t Line = 0;                             // script line of its BAR command
  float Color[4] = {0, 0, 0, 0};                // red, green, blue, alpha
  float Single = 0.0f;
  float Offset = 0.0f;
};

struct TDemoScript {
  std::string DemoName;  // the title's parts: empty until the script sets them
  std::string GroupName;
  std::string PartyName;
  std::string Year;
  std::string Version;
  int32_t ResolutionX = 640;
  int32_t ResolutionY = 480;
  int32_t ColorDepth = 16;
  bool Fullscreen = false;
  float StartTime = 0.0f;
  float Speed = 1.0f;
  std::string LoadingScreen;
  float ClearColor[4] = {0, 0, 0, 1};
  float Fade = 1.0f;     // the whole picture's brightness, 0 (black) to 1 (FADE percent)
  bool ShowTimer = false;
  bool Exclusive = true;
  float EndTime = -1.0f;
  std::vector<TVEffect*> EffectSlots;
  std::vector<int32_t> EffectSlotLines;  // script line of the LOAD that filled each slot (0: none)
  std::vector<std::string> SlotTypes;    // the LOAD type name of each filled slot ("" when empty)
  int32_t CurrentSlot = 0;
  TDemoTracker* Tracker = nullptr;
  // Where the names of the script are read from: its own folder, then where DATADIR moved on to.
  TReadContext ReadContext;
  std::vector<TScriptBar> Bars;
  int32_t CurrentBar = 0;                // the bar being run
  std::vector<std::string> MacroNames;
  std::vector<std::string> MacroValues;
  TMacroIndex MacroIndex;                // follows MacroNames while the script is read
  std::set<std::string> Reported;        // faults of this timeline reported so far
  TDemoTracks Tracks;                    // keyed tracks and the parameters that follow them
  // Everything the script created; slots and Tracker point into these.
  std::vector<std::unique_ptr<TVEffect>> OwnedEffects;
  std::vector<std::unique_ptr<TDemoTracker>> OwnedTrackers;
};
