// Demotracks as values: a grid of bytes, one channel per event source and one byte per row, plus
// the binary file form (channel count C and row count R, signed 32-bit little-endian, then R
// bytes per channel) and the text form (one line per row, one value per channel separated by
// blanks or tabs, '.' for 0, '#' starts a comment, missing values are 0).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Channels[c][r] is the byte of channel c at row r; 0 means nothing. All channels have the same
// length when the value is written.
struct TDemotrackData {
  std::vector<std::vector<uint8_t>> Channels;
  // Rows of the longest channel.
  size_t RowCount() const;
};

// The grid events are placed on. Bpm 0 means "the music's own tempo" (detected or stored);
// RowsPerBeat above 4 gives a finer grid, written as a BPM RowsPerBeat / 4 times higher so the
// player, which always counts four rows per beat, plays it unchanged.
struct TTrackGrid {
  double Bpm = 0.0;
  int RowsPerBeat = 4;
};

// The BPM a demotrack made on `grid` for music at `musicBpm` is written for.
double WrittenBpm(const TTrackGrid& grid, double musicBpm);

// Reads the binary form. Header bytes past the end of a short file read as 0 and missing rows
// stay 0, but counts that are negative, more channels than bytes (past 256 channels), or rows
// that would need far more memory than the file holds are refused, before anything is allocated:
// false with a message (without the file name).
bool ParseDemotrackBytes(const std::vector<uint8_t>& bytes, TDemotrackData& out,
                         std::string& error);
// The binary form; shorter channels are padded with 0 to the longest.
std::vector<uint8_t> DemotrackBytes(const TDemotrackData& data);
// Writes the binary form; false with a message when the file cannot be written.
bool WriteDemotrackFile(const std::string& fileName, const TDemotrackData& data,
                        std::string& error);

// Reads the text form. False with a message naming the line on a value that is not 0..255.
bool ParseDemotrackText(const std::string& text, TDemotrackData& out, std::string& error);
// The text form: one line per row, values right-aligned in columns, '.' for 0.
std::string DemotrackText(const TDemotrackData& data);
