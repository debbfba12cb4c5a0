// Notes in time, as the module and MIDI readers find them, and their placing on a demotrack grid.
// Internal to sync/.
#pragma once
#include "sync/Demotrack.h"

#include <cstdint>
#include <string>
#include <vector>

struct TTimedNote {
  double Seconds = 0.0;
  uint16_t Channel = 0;
  uint8_t Value = 0;  // the byte written: 1..255
};

struct TNoteEvents {
  size_t ChannelCount = 0;
  std::vector<TTimedNote> Notes;
  double Seconds = 0.0;   // length of the music
  double MusicBpm = 0.0;  // the music's own tempo, four rows per beat
  std::vector<std::string> ChannelNames;  // what each channel is, when the reader names them
};

// Largest demotrack made from music (channels × rows): an hour at 16 rows per beat and 200 BPM
// for 16 channels is about 3 MiB; anything near this bound is a hostile or broken file.
constexpr uint64_t kMostDemotrackCells = 64u << 20;
// Most notes read from one file (16 bytes each): half an hour of 64 busy channels at 32 rows a
// second is under 4 million.
constexpr size_t kMostNotes = 8u << 20;

// True when music of this length may be made into a demotrack: at most as long as decoded music
// may be (kMaxMusicSeconds, 30 minutes), for modules and MIDI files alike. Else false with a
// message.
bool MusicLengthFits(double seconds, std::string& error);

// Places the notes on the grid: the demotrack is written for WrittenBpm(grid, MusicBpm) and has
// a row for every grid step of the music's length. A note goes to the row nearest its time;
// when several notes of one channel fall on one row the lowest value stays. False with a message
// when there is no tempo or the demotrack would be unreasonably large.
bool PlaceNotes(const TNoteEvents& events, const TTrackGrid& grid, TDemotrackData& out,
                double& bpm, std::string& error);
