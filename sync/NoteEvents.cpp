#include "sync/NoteEvents.h"

#include "platform/Pcm.h"

#include <cmath>

bool MusicLengthFits(double seconds, std::string& error) {
  if (seconds >= 0.0 && seconds <= kMaxMusicSeconds) return true;
  error = "the song plays for " + std::to_string(static_cast<long long>(seconds)) +
          " s, too long for a demotrack: songs up to " +
          std::to_string(static_cast<int>(kMaxMusicSeconds / 60)) + " minutes are made into one";
  return false;
}

bool PlaceNotes(const TNoteEvents& events, const TTrackGrid& grid, TDemotrackData& out,
                double& bpm, std::string& error) {
  out.Channels.clear();
  if (!(grid.RowsPerBeat >= 1 && grid.RowsPerBeat <= 64)) {
    error = "rows per beat must be 1 to 64";
    return false;
  }
  bpm = WrittenBpm(grid, events.MusicBpm);
  if (!(bpm > 0.0 && bpm < 1e6)) {
    error = "the music has no usable tempo; give one with --bpm";
    return false;
  }
  const double rowsPerSecond = bpm * 4.0 / 60.0;
  const double length = std::ceil(events.Seconds * rowsPerSecond);
  if (!(length >= 0.0) ||
      length * static_cast<double>(events.ChannelCount) > static_cast<double>(kMostDemotrackCells) ||
      length > 2147483647.0) {
    error = "the music plays for " + std::to_string(static_cast<long long>(events.Seconds)) +
            " s, too long for a demotrack of " + std::to_string(events.ChannelCount) +
            " channels at this tempo";
    return false;
  }
  size_t rows = static_cast<size_t>(length);
  for (const TTimedNote& note : events.Notes) {
    const double row = std::floor(note.Seconds * rowsPerSecond + 0.5);
    if (row >= 0.0 && row >= static_cast<double>(rows) && row < length + 2.0)
      rows = static_cast<size_t>(row) + 1;  // a note right at the end still gets its row
  }
  out.Channels.assign(events.ChannelCount, std::vector<uint8_t>(rows, 0));
  for (const TTimedNote& note : events.Notes) {
    const double row = std::floor(note.Seconds * rowsPerSecond + 0.5);
    if (note.Channel >= events.ChannelCount || !(row >= 0.0) || row >= static_cast<double>(rows))
      continue;
    uint8_t& cell = out.Channels[note.Channel][static_cast<size_t>(row)];
    if (cell == 0 || note.Value < cell) cell = note.Value;
  }
  return true;
}
