#include "authoring/TrackCheck.h"

#include "demo/DemoScript.h"
#include "platform/Text.h"

#include <cmath>
#include <set>

namespace {

std::string Quoted(const std::string& text) { return "'" + PrintableText(text) + "'"; }

// The names, at most a few of them, then how many more.
std::string NameList(const std::vector<std::string>& names) {
  constexpr size_t kShown = 8;
  std::string list;
  for (size_t i = 0; i < names.size() && i < kShown; ++i)
    list += (i ? ", " : "") + Quoted(names[i]);
  if (names.size() > kShown) list += " and " + std::to_string(names.size() - kShown) + " more";
  return list;
}

}  // namespace

std::vector<TCheckMessage> CheckKeyedTracks(const TDemoScript& demo) {
  std::vector<TCheckMessage> warnings;
  const auto warn = [&](int32_t line, const std::string& text) {
    warnings.push_back({line, false, text, false});
  };
  const TDemoTracks& tracks = demo.Tracks;
  const std::string file = tracks.File.empty() ? std::string() : Quoted(tracks.File);
  // Tracks followed by parameters that nothing keys.
  std::set<std::string> reported;
  for (const TParameterTrack& parameter : tracks.Parameters) {
    const TKeyedTrack* track = tracks.Set.Find(parameter.Track);
    if ((track && !track->Keys().empty()) || !reported.insert(parameter.Track).second) continue;
    warn(parameter.Line, "track " + Quoted(parameter.Track) + " has no keys (no KEY line" +
                             (file.empty() ? std::string() : ", not in " + file) +
                             "): it holds 0");
  }
  // Tracks of the file that no parameter follows.
  std::set<std::string> followed;
  for (const TParameterTrack& parameter : tracks.Parameters) followed.insert(parameter.Track);
  std::vector<std::string> unused;
  for (const std::string& name : tracks.FileTracks)
    if (!followed.count(name)) unused.push_back(name);
  if (!unused.empty())
    warn(tracks.FileLine, file + " has " + std::to_string(unused.size()) + " track" +
                              (unused.size() == 1 ? "" : "s") + " no parameter follows: " +
                              NameList(unused));
  for (const auto& keyed : tracks.ScriptKeyed)
    if (!followed.count(keyed.first))
      warn(keyed.second, "track " + Quoted(keyed.first) + " is keyed but no parameter follows it");
  if (tracks.UnknownTypeKeys > 0)
    warn(tracks.FileLine, file + " has " + std::to_string(tracks.UnknownTypeKeys) +
                              " key(s) of a type this player does not know (0 to 3: step, "
                              "linear, smooth, ramp); they hold their value like a step (first: " +
                              tracks.FirstUnknownType + ")");
  if (tracks.RepeatedRowKeys > 0)
    warn(tracks.FileLine, file + " has " + std::to_string(tracks.RepeatedRowKeys) +
                              " key(s) on a row another key of their track has; the later one "
                              "is kept");
  for (const int32_t line : tracks.RepeatedKeyLines)
    warn(line, "this KEY replaces a key on the same row of its track");
  // Keys past the end of the demo.
  const double end = ScriptEndSeconds(demo);
  const float bpm = demo.Tracker ? demo.Tracker->BPM : 0.0f;
  if (end < 0.0 || !(bpm > 0.0f)) return warnings;
  const double endRow = tracks.RowAt(end, bpm);
  for (const auto& named : tracks.Set.All()) {
    const auto& keys = named.second.Keys();
    if (keys.empty() || keys.back().Row <= endRow) continue;
    const auto keyed = tracks.ScriptKeyed.find(named.first);
    warn(keyed != tracks.ScriptKeyed.end() ? keyed->second : tracks.FileLine,
         "track " + Quoted(named.first) + " has a key on row " +
             std::to_string(keys.back().Row) + ", past the end of the demo (row " +
             std::to_string(static_cast<long long>(std::floor(endRow))) + ")");
  }
  return warnings;
}

double ScriptEndSeconds(const TDemoScript& demo, std::string* what) {
  double end = demo.EndTime > 0.0f ? demo.EndTime : -1.0;
  if (what) *what = "the end time";
  const TDemoTracker* tracker = demo.Tracker;
  if (tracker && tracker->BPM > 0.0f && !tracker->Channels.empty()) {
    const double trackEnd = tracker->RowToTime(tracker->RowCount(0));
    if (end < 0.0 || trackEnd < end) {
      end = trackEnd;
      if (what) *what = "the demotrack's end";
    }
  }
  return end;
}
