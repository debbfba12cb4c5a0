// TDemoTracker: the tempo and the demotrack, a grid of byte values with four rows per beat in
// several channels. Converts demo time to rows and back and evaluates input envelopes.
#pragma once
#include "platform/ReadContext.h"

#include <cstdint>
#include <string>
#include <vector>

class TDemoTracker {
 public:
  // Reads a demotrack file: channel count C and row count R (signed 32-bit little-endian), then
  // R bytes per channel. A short file leaves the missing rows 0. Counts that do not fit the
  // file give a script error and an empty demotrack. A missing file throws FatalError
  // "Cannot open file <name>".
  // The name resolves by `files`, whose sink gets the errors.
  void LoadDemotrack(const std::string& fileName, const TReadContext& files = TReadContext());
  // What TRACKER loads: a demotrack file as above, or a module, MIDI file or recording turned
  // into a demotrack at the music's own tempo (kept in the user's cache folder, so the next
  // load of the same file is quick). BPM is then set to that tempo. A file that cannot be
  // turned into one gives a script error and an empty demotrack.
  void LoadTrackerFile(const std::string& fileName, const TReadContext& files = TReadContext());
  // Sets the tempo. A demotrack made from music is made again on the new tempo's grid, so its
  // notes stay at their times in the music.
  void SetBpm(float bpm);
  // The same for a demotrack's bytes in memory; the name is used in messages.
  void LoadDemotrackBytes(const std::vector<uint8_t>& bytes, const std::string& fileName,
                          const TReadContext& files = TReadContext());
  // The row at a time: t × 4 × BPM / 60 with every step rounded to a float, truncated.
  int32_t TimeToRow(float seconds) const;
  // The start time of a row: (60 / BPM) × (row / 4), rounded once to a float.
  float RowToTime(int32_t row) const;
  // Sum of the triangles of the rows around `time` whose byte in `channel` equals `note`.
  float Envelope(int32_t channel, uint8_t note, float width, float lookAhead, float time) const;
  // The byte of a channel at a row; 0 outside the demotrack.
  uint8_t ByteAt(int32_t channel, int32_t row) const;
  // Number of rows of a channel (0 when the channel does not exist).
  int32_t RowCount(int32_t channel) const;

  std::vector<std::vector<uint8_t>> Channels;
  float BPM = 0.0f;
  // For a demotrack made from music: the file, what it is ("module", "MIDI file", "audio
  // file") and the music's own tempo (0 when unknown). Empty for a demotrack file.
  std::string MusicFile;
  std::string MusicKind;
  double MusicBpm = 0.0;
};
