// The song of the sample production, described once as patterns: its sections, drum patterns,
// chord progression, bass figures and lead phrase. Everything else is derived from this one
// description: the list of note events, the demotrack that the script's bars follow, and the
// music (common/Synth.h). Rows are tracker rows (4 rows per beat, 16 per bar).
#pragma once
#include "common/Demotrack.h"

#include <cstdint>
#include <string>
#include <vector>

// The instruments of the song; each event plays one of them.
enum class TSongPart : uint8_t { Kick, Snare, ClosedHat, OpenHat, Bass, Pad, Lead, Crash };

// One note: an instrument starting at a row, with a pitch (MIDI note number, 0 for drums),
// a loudness from 0 to 1 and a length in rows.
struct TSongEvent {
  int32_t Row = 0;
  TSongPart Part = TSongPart::Kick;
  uint8_t Note = 0;
  float Velocity = 1.0f;
  int32_t LengthRows = 1;
};

// A part of the song's form: its name and first row.
struct TSongSection {
  std::string Name;
  int32_t FirstRow = 0;
};

struct TSong {
  float Bpm = 120.0f;
  int32_t RowCount = 0;                 // rows of the whole song
  std::vector<TSongSection> Sections;
  std::vector<TSongEvent> Events;       // sorted by row
};

// Demotrack channels written for the song.
constexpr int kKickChannel = 0;     // 1 on each kick row
constexpr int kSnareChannel = 1;    // 1 on each snare row
constexpr int kHatChannel = 2;      // 1 closed hat, 2 open hat
constexpr int kBassChannel = 3;     // MIDI note of each bass note
constexpr int kSectionChannel = 4;  // section number from 1 on the first row of each section
constexpr int kLeadChannel = 5;     // MIDI note of each lead note
constexpr int kSongChannelCount = 6;

// The song of the sample production.
TSong MoltraxSong();
// Seconds from the start of the song to the start of a row.
double SongRowSeconds(const TSong& song, int32_t row);
// The demotrack of the song: the channels above, one byte per row.
TDemotrackGrid SongDemotrack(const TSong& song);
