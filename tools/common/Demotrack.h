// Writing demotrack files (through sync/Demotrack.h): channel count C and row count R (signed
// 32-bit little-endian), then R bytes per channel. The text form has one line per row with one
// value per channel, separated by blanks or tabs; '.' stands for 0, '#' starts a comment,
// missing values are 0.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// channels[c][r] is the byte of channel c at row r; all channels must have the same length.
using TDemotrackGrid = std::vector<std::vector<uint8_t>>;

// Writes the grid as a demotrack file. False when the file cannot be written or the channels
// differ in length.
bool WriteDemotrack(const std::string& fileName, const TDemotrackGrid& channels);
// Reads the text form. False (with a message naming the line) on a value that is not 0..255.
bool ParseDemotrackText(const std::string& text, TDemotrackGrid& channels, std::string& error);
