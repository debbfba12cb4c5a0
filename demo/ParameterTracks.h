// The keyed tracks of a production: where their keys come from (the TRACKS file, KEY lines of
// the script), the parameters that follow them (`X @cam:x`), and their values at a frame's row.
#pragma once
#include "sync/KeyedTracks.h"

class TReadContext;
class TVEffect;

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// What a track drives: an effect's number parameter, its opacity, or the demo's fade and clear
// colour.
enum class TTrackedField : uint8_t {
  X, Y, Z, W, H, D, VX, VY, VZ, S, SS, E, F, G, Opacity,
  Fade, ClearRed, ClearGreen, ClearBlue, ClearAlpha
};

// One parameter that follows a track.
struct TParameterTrack {
  int32_t Slot = -1;                // the effect's slot; -1 for the demo's fade and clear colour
  TTrackedField Field = TTrackedField::X;
  std::string Track;                // the track's name
  int32_t Line = 0;                 // the script line that named it
  const TKeyedTrack* Source = nullptr;  // the track in Set, once the script is read
};

struct TDemoTracks {
  TKeyedTrackSet Set;               // every track with its keys
  std::string File;                 // the TRACKS file as written (empty: none)
  std::string Path;                 // that name resolved; a base for `.track` files keeps no suffix
  bool TrackFileBase = false;       // File names `.track` files (`BASE_name.track`), not a `.rocket`
  int32_t FileLine = 0;             // the TRACKS line
  int32_t RowsPerBeat = 4;          // track rows per beat (the demotrack's four by default)
  size_t RepeatedRowKeys = 0;       // keys of the file dropped for sharing a row with a later one
  size_t UnknownTypeKeys = 0;       // keys of the file of a type above 3 (read as steps)
  std::map<std::string, int32_t> ScriptKeyed;  // tracks keyed by KEY lines, with the first line
  std::vector<int32_t> RepeatedKeyLines;       // KEY lines that replaced a key on the same row
  std::string FirstUnknownType;                // where the file's first unknown key type is
  std::vector<TParameterTrack> Parameters;     // in script order
  std::vector<std::string> FileTracks;         // tracks the TRACKS file holds, in its order

  // Every track the script uses (parameters and KEY lines), each once, in order of first use.
  std::vector<std::string> UsedNames() const;
  // Points every parameter at its track, making empty tracks for names no source has.
  void Resolve();
  // The track row at `seconds` of demo time for music at `bpm` (0 without a tempo).
  double RowAt(double seconds, float bpm) const;
  // The demo time of a track row at `bpm` (0 without a tempo).
  double TimeOfRow(double row, float bpm) const;
  // The base the player's `.track` files are written under: the TRACKS base, or the TRACKS
  // file's path without its extension, or "sync" beside the script when there is no TRACKS.
  std::string SaveBase(const std::string& scriptFolder) const;
};

// The value a parameter takes from its track's value `v`: percent fields (S SS Opacity Fade)
// become factors, colour parts (0-255) fractions, integer fields are rounded.
double ParameterValue(TTrackedField field, double v);

// The TRACKS command: a `.rocket` file is read at once (either editor's dialect); any other name
// is the base of `.track` files (`BASE_name.track`), read for the used tracks after the script.
// Errors go through `files`.
void LoadTrackFile(TDemoTracks& tracks, const std::string& name, int32_t rowsPerBeat,
                   int32_t line, const TReadContext& files);
// The KEY command: one key of a track written in the script.
void AddScriptKey(TDemoTracks& tracks, const std::string& track, const TTrackKey& key,
                  int32_t line);
// A key type from a KEY line: "step", "linear", "smooth", "ramp" or 0 to 3; false otherwise.
bool ReadKeyType(const std::string& word, TKeyType& type);
// After the script: reads the `.track` files of the used tracks when TRACKS names a base, then
// points every parameter at its track.
void FinishTracks(TDemoTracks& tracks, const TReadContext& files);
// Sets the effect's parameters that follow tracks (those of `slot`) to their values at `row`.
void ApplyEffectTracks(const TDemoTracks& tracks, int32_t slot, double row, TVEffect& effect);
// Sets the demo's fade and clear colour parts that follow tracks to their values at `row`.
void ApplyDemoTracks(const TDemoTracks& tracks, double row, float& fade, float clearColor[4]);
// The files the tracks were read from: the `.rocket` file, or the `.track` files found.
std::vector<std::string> TrackFilePaths(const TDemoTracks& tracks);
