#include "demo/Tracker.h"

#include "demo/ScriptMessages.h"

#include "platform/FatalError.h"
#include "platform/Files.h"
#include "platform/ScriptError.h"
#include "platform/Text.h"
#include "sync/Demotrack.h"
#include "sync/TrackSources.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

int32_t TruncateToRow(float value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0f) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

// The bytes of a TRACKER file; FatalError "Cannot open file NAME" when it cannot be read.
std::vector<uint8_t> ReadTrackerBytes(const std::string& fileName, const TReadContext& files) {
  std::vector<uint8_t> bytes;
  if (!files.ReadWholeFile(fileName, bytes))
    throw FatalError("Cannot open file " + PrintableText(fileName + files.NotFoundNote(fileName)));
  return bytes;
}

}  // namespace

void TDemoTracker::LoadDemotrack(const std::string& fileName, const TReadContext& files) {
  LoadDemotrackBytes(ReadTrackerBytes(fileName, files), fileName, files);
}

void TDemoTracker::LoadDemotrackBytes(const std::vector<uint8_t>& bytes,
                                      const std::string& fileName, const TReadContext& files) {
  TDemotrackData data;
  std::string error;
  if (!ParseDemotrackBytes(bytes, data, error)) files.Error("Demotrack " + fileName + " " + error);
  Channels = std::move(data.Channels);
}

namespace {

// Makes a demotrack from music on a grid; an error through `files` and false when it cannot be
// made.
bool BuildFromMusic(const std::string& fileName, const std::vector<uint8_t>& bytes,
                    TTrackSource source, const TTrackGrid& grid, TTrackBuild& build,
                    const TReadContext& files) {
  std::string error;
  if (CachedDemotrackFromMusic(files.ResolvedName(fileName), bytes, source, grid, build, error,
                               files))
    return true;
  files.Error("Cannot make a demotrack from the " + std::string(TrackSourceName(source)) + " " +
              PrintableText(fileName) + ": " + error);
  return false;
}

}  // namespace

void TDemoTracker::LoadTrackerFile(const std::string& fileName, const TReadContext& files) {
  const std::vector<uint8_t> bytes = ReadTrackerBytes(fileName, files);
  const TTrackSource source = DetectTrackSource(fileName, bytes);
  if (source == TTrackSource::Demotrack) {
    LoadDemotrackBytes(bytes, fileName, files);
    return;
  }
  Channels.clear();
  MusicFile = files.AbsolutePath(fileName);  // a later DATADIR does not move it
  MusicKind = TrackSourceName(source);
  TTrackBuild build;
  if (!BuildFromMusic(fileName, bytes, source, TTrackGrid(), build, files)) return;
  Channels = std::move(build.Data.Channels);
  BPM = static_cast<float>(build.Bpm);
  MusicBpm = build.MusicBpm;
}

void TDemoTracker::SetBpm(float bpm) {
  const bool regrid = !MusicFile.empty() && bpm > 0.0f && bpm != BPM;
  BPM = bpm;
  if (!regrid) return;
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(MusicFile, bytes))
    throw FatalError("Cannot open file " + PrintableText(MusicFile));
  TTrackGrid grid;
  grid.Bpm = bpm;
  TTrackBuild build;
  const bool built = BuildFromMusic(MusicFile, bytes, DetectTrackSource(MusicFile, bytes), grid,
                                    build, TReadContext());
  Channels = std::move(build.Data.Channels);
  if (!built) Channels.clear();
}

int32_t TDemoTracker::TimeToRow(float seconds) const {
  float a = seconds * 4.0f;
  a = a * BPM;
  const float b = a / 60.0f;
  return TruncateToRow(b);
}

float TDemoTracker::RowToTime(int32_t row) const {
  if (BPM == 0.0f) return 0.0f;  // no tempo: every row is at time 0
  const long double seconds = (60.0L / static_cast<long double>(BPM)) *
                              (static_cast<long double>(row) / 4.0L);
  return static_cast<float>(seconds);
}

uint8_t TDemoTracker::ByteAt(int32_t channel, int32_t row) const {
  if (channel < 0 || static_cast<size_t>(channel) >= Channels.size()) return 0;
  const std::vector<uint8_t>& data = Channels[static_cast<size_t>(channel)];
  if (row < 0 || static_cast<size_t>(row) >= data.size()) return 0;
  return data[static_cast<size_t>(row)];
}

int32_t TDemoTracker::RowCount(int32_t channel) const {
  if (channel < 0 || static_cast<size_t>(channel) >= Channels.size()) return 0;
  return static_cast<int32_t>(Channels[static_cast<size_t>(channel)].size());
}

float TDemoTracker::Envelope(int32_t channel, uint8_t note, float width, float lookAhead,
                             float time) const {
  const int64_t now = TimeToRow(time);
  const int64_t back = static_cast<int64_t>(TimeToRow(width)) + 2;
  const int64_t ahead = static_cast<int64_t>(TimeToRow(lookAhead)) + 2;
  if (channel < 0 || static_cast<size_t>(channel) >= Channels.size()) {
    ScriptError(DemotrackChannelMessage(channel));
    return 0.0f;
  }
  // A triangle of no width has no area: it never raises the input (and never divides by 0).
  if (!(width > 0.0f)) return 0.0f;
  const std::vector<uint8_t>& data = Channels[static_cast<size_t>(channel)];
  // Row 0 never counts; rows outside the channel are not read.
  const int64_t first = std::max<int64_t>(now - back, 1);
  const int64_t last = std::min<int64_t>(now + ahead, static_cast<int64_t>(data.size()) - 1);
  float sum = 0.0f;
  for (int64_t i = first; i <= last; ++i) {
    if (data[static_cast<size_t>(i)] != note) continue;
    const float d = std::fabs(time - RowToTime(static_cast<int32_t>(i)));
    float v = (width - d) / width;
    if (v < 0.0f) v = 0.0f;
    sum = sum + v;
  }
  return sum;
}
