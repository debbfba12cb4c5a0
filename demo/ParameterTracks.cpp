#include "demo/ParameterTracks.h"

#include "effects/VEffect.h"
#include "platform/Files.h"
#include "platform/ReadContext.h"
#include "platform/ScriptError.h"
#include "platform/Text.h"
#include "sync/TrackFiles.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <string_view>

std::vector<std::string> TDemoTracks::UsedNames() const {
  std::vector<std::pair<int32_t, std::string>> firstUse;
  std::set<std::string> seen;
  for (const TParameterTrack& parameter : Parameters)
    if (seen.insert(parameter.Track).second) firstUse.emplace_back(parameter.Line, parameter.Track);
  for (const auto& keyed : ScriptKeyed)
    if (seen.insert(keyed.first).second) firstUse.emplace_back(keyed.second, keyed.first);
  // A stable sort by line keeps the parameters' own order among names of one line.
  std::stable_sort(firstUse.begin(), firstUse.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> names;
  names.reserve(firstUse.size());
  for (auto& use : firstUse) names.push_back(std::move(use.second));
  return names;
}

void TDemoTracks::Resolve() {
  for (TParameterTrack& parameter : Parameters) parameter.Source = &Set.Track(parameter.Track);
}

double TDemoTracks::RowAt(double seconds, float bpm) const {
  return RowAtTime(seconds, bpm, RowsPerBeat);
}

double TDemoTracks::TimeOfRow(double row, float bpm) const {
  if (!(bpm > 0.0f) || RowsPerBeat <= 0) return 0.0;
  return row * 60.0 / (static_cast<double>(bpm) * RowsPerBeat);
}

std::string TDemoTracks::SaveBase(const std::string& scriptFolder) const {
  if (Path.empty()) return (scriptFolder.empty() ? std::string() : scriptFolder + "/") + "sync";
  if (TrackFileBase) return Path;
  const size_t slash = Path.find_last_of('/');
  const size_t dot = Path.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
    return Path.substr(0, dot);
  return Path;
}

double ParameterValue(TTrackedField field, double v) {
  switch (field) {
    case TTrackedField::S:
    case TTrackedField::SS:
    case TTrackedField::Opacity:
    case TTrackedField::Fade:
      return v / 100.0;
    case TTrackedField::ClearRed:
    case TTrackedField::ClearGreen:
    case TTrackedField::ClearBlue:
    case TTrackedField::ClearAlpha:
      return v / 255.0;
    case TTrackedField::E:
    case TTrackedField::F:
    case TTrackedField::G: {
      // Integers as the script would write them, kept inside int32.
      if (!std::isfinite(v)) return 0.0;
      const double rounded = std::round(v);
      const double top = std::numeric_limits<int32_t>::max();
      const double bottom = std::numeric_limits<int32_t>::min();
      return rounded > top ? top : rounded < bottom ? bottom : rounded;
    }
    default:
      return v;
  }
}

namespace {

bool EndsWithRocket(const std::string& name) {
  constexpr std::string_view kSuffix = ".rocket";
  if (name.size() < kSuffix.size()) return false;
  return LowerCase(name.substr(name.size() - kSuffix.size())) == kSuffix;
}

std::string BothPlacesMessage(const std::string& track, int32_t keyLine, const std::string& file) {
  return "Track '" + PrintableText(track) + "' has keys in the script (line " +
         std::to_string(keyLine) + ") and in '" + PrintableText(file) +
         "': keep its keys in one place";
}

// Reads one `.track` file into the track; a missing file leaves the track as it is.
void ReadOneTrackFile(TDemoTracks& tracks, const std::string& name, const TReadContext& files) {
  const std::string fileName = TrackFileName(tracks.Path, name);
  const TFileStamp stamp = FileStamp(fileName);
  if (!stamp.Exists) return;
  if (stamp.Size > kMaxRocketFileBytes) {
    files.Error("Track file " + PrintableText(fileName) + " is larger than " +
                std::to_string(kMaxRocketFileBytes >> 20) + " MiB: not a track file");
    return;
  }
  std::vector<uint8_t> bytes;
  std::string error;
  TKeyedTrack read;
  if (!ReadWholeFile(fileName, bytes)) {
    files.Error("Cannot read track file " + PrintableText(fileName));
    return;
  }
  if (!ParseTrackBytes(bytes, read, error)) {
    files.Error("Track file " + PrintableText(fileName) + ": " + error);
    return;
  }
  const auto keyed = tracks.ScriptKeyed.find(name);
  if (keyed != tracks.ScriptKeyed.end()) {
    files.Error(BothPlacesMessage(name, keyed->second, fileName));
    return;
  }
  tracks.Set.Track(name).SetAllKeys(read.Keys());
  tracks.FileTracks.push_back(name);
}

}  // namespace

void LoadTrackFile(TDemoTracks& tracks, const std::string& name, int32_t rowsPerBeat,
                   int32_t line, const TReadContext& files) {
  if (!tracks.File.empty()) {
    files.Error("TRACKS " + PrintableText(name) + ": the track file " +
                PrintableText(tracks.File) + " (line " + std::to_string(tracks.FileLine) +
                ") is already read; a production has one");
    return;
  }
  if (rowsPerBeat <= 0 || rowsPerBeat > 1024) {
    files.Error("TRACKS " + PrintableText(name) + ": " + std::to_string(rowsPerBeat) +
                " rows a beat is not a count (1 to 1024); it stays " +
                std::to_string(tracks.RowsPerBeat));
  } else {
    tracks.RowsPerBeat = rowsPerBeat;
  }
  tracks.File = name;
  tracks.FileLine = line;
  tracks.Path = files.PathOf(name);
  tracks.TrackFileBase = !EndsWithRocket(name);
  if (tracks.TrackFileBase) return;  // read for the used tracks once the script is read
  TRocketFile file;
  std::string error;
  if (!ReadRocketFile(tracks.Path, file, error)) {
    files.Error("Cannot read track file " + PrintableText(name) + ": " + error);
    return;
  }
  tracks.RepeatedRowKeys = file.RepeatedRowKeys;
  tracks.UnknownTypeKeys = file.UnknownTypeKeys;
  tracks.FirstUnknownType = file.FirstUnknownType;
  for (const auto& named : file.Tracks.All()) {
    const auto keyed = tracks.ScriptKeyed.find(named.first);
    if (keyed != tracks.ScriptKeyed.end()) {
      files.Error(BothPlacesMessage(named.first, keyed->second, name));
      continue;
    }
    tracks.FileTracks.push_back(named.first);
    tracks.Set.Track(named.first).SetAllKeys(named.second.Keys());
  }
}

void AddScriptKey(TDemoTracks& tracks, const std::string& track, const TTrackKey& key,
                  int32_t line) {
  const bool fromFile = std::find(tracks.FileTracks.begin(), tracks.FileTracks.end(), track) !=
                        tracks.FileTracks.end();
  if (fromFile) {
    ScriptError(BothPlacesMessage(track, line, tracks.File));
    return;
  }
  tracks.ScriptKeyed.emplace(track, line);
  TKeyedTrack& keyed = tracks.Set.Track(track);
  const auto& keys = keyed.Keys();
  if (std::any_of(keys.begin(), keys.end(), [&](const TTrackKey& k) { return k.Row == key.Row; }))
    tracks.RepeatedKeyLines.push_back(line);
  keyed.SetKey(key);
}

bool ReadKeyType(const std::string& word, TKeyType& type) {
  static const char* const kNames[] = {"step", "linear", "smooth", "ramp"};
  const std::string lower = LowerCase(word);
  for (int i = 0; i <= kMaxKeyType; ++i) {
    if (lower == kNames[i] || lower == std::to_string(i)) {
      type = static_cast<TKeyType>(i);
      return true;
    }
  }
  return false;
}

void FinishTracks(TDemoTracks& tracks, const TReadContext& files) {
  if (tracks.TrackFileBase && !tracks.Path.empty())
    for (const std::string& name : tracks.UsedNames()) ReadOneTrackFile(tracks, name, files);
  tracks.Resolve();
}

namespace {

double TrackValue(const TParameterTrack& parameter, double row) {
  const double v = parameter.Source ? parameter.Source->ValueAt(row) : 0.0;
  return ParameterValue(parameter.Field, v);
}

}  // namespace

void ApplyEffectTracks(const TDemoTracks& tracks, int32_t slot, double row, TVEffect& effect) {
  for (const TParameterTrack& parameter : tracks.Parameters) {
    if (parameter.Slot != slot) continue;
    const double v = TrackValue(parameter, row);
    const float f = static_cast<float>(v);
    const int32_t i = static_cast<int32_t>(v);  // already rounded into int32's range
    switch (parameter.Field) {
      case TTrackedField::X: effect.X = f; break;
      case TTrackedField::Y: effect.Y = f; break;
      case TTrackedField::Z: effect.Z = f; break;
      case TTrackedField::W: effect.W = f; break;
      case TTrackedField::H: effect.H = f; break;
      case TTrackedField::D: effect.D = f; break;
      case TTrackedField::VX: effect.VX = f; break;
      case TTrackedField::VY: effect.VY = f; break;
      case TTrackedField::VZ: effect.VZ = f; break;
      case TTrackedField::S: effect.S = f; break;
      case TTrackedField::SS: effect.SS = f; break;
      case TTrackedField::E: effect.E = i; break;
      case TTrackedField::F: effect.F = i; break;
      case TTrackedField::G: effect.G = i; break;
      case TTrackedField::Opacity: effect.Opacity = f; break;
      default: break;  // the demo's own
    }
  }
}

void ApplyDemoTracks(const TDemoTracks& tracks, double row, float& fade, float clearColor[4]) {
  for (const TParameterTrack& parameter : tracks.Parameters) {
    if (parameter.Slot != -1) continue;
    const float f = static_cast<float>(TrackValue(parameter, row));
    switch (parameter.Field) {
      case TTrackedField::Fade: fade = f; break;
      case TTrackedField::ClearRed: clearColor[0] = f; break;
      case TTrackedField::ClearGreen: clearColor[1] = f; break;
      case TTrackedField::ClearBlue: clearColor[2] = f; break;
      case TTrackedField::ClearAlpha: clearColor[3] = f; break;
      default: break;
    }
  }
}

std::vector<std::string> TrackFilePaths(const TDemoTracks& tracks) {
  if (tracks.Path.empty()) return {};
  if (!tracks.TrackFileBase) return {tracks.Path};
  std::vector<std::string> paths;
  for (const std::string& name : tracks.FileTracks) paths.push_back(TrackFileName(tracks.Path, name));
  return paths;
}
