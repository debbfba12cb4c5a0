#include "demo/ParameterTracks.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

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
