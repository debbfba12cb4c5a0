// Files of keyed tracks: the sync editors' `.rocket` XML projects (both dialects: <sync> with
// <key row value interpolation> and <rootElement> with <tracks rows rowsPerBeat ...>), the
// player's own `.rocket` export, and the binary `.track` files (one a track: int32 key count, then
// int32 row, float32 value, u8 type per key, little-endian).
#pragma once
#include "sync/KeyedTracks.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The largest `.rocket` file read.
constexpr size_t kMaxRocketFileBytes = 64u << 20;
// The most tracks one `.rocket` file may hold.
constexpr size_t kMaxRocketTracks = 65536;

// What a `.rocket` file holds besides the keys.
struct TRocketFile {
  TKeyedTrackSet Tracks;
  int Rows = 0;         // the `rows` attribute of <sync> or <tracks>; 0 when absent
  int RowsPerBeat = 0;  // the `rowsPerBeat` attribute of <tracks>; 0 when absent
  // Keys dropped because a later key of the same track sat on the same row.
  size_t RepeatedRowKeys = 0;
  // Keys of a type above 3, read as steps, and where the first of them is.
  size_t UnknownTypeKeys = 0;
  std::string FirstUnknownType;
};

// Reads `.rocket` XML. False with a message naming the line (no file name) on malformed XML,
// numbers that do not read, negative rows, a key outside a track, a track without a name or
// twice in the file. Key types above 3 are read as steps and counted.
bool ParseRocketXml(std::string_view text, TRocketFile& out, std::string& error);
// Reads a `.rocket` file; the message names the file.
bool ReadRocketFile(const std::string& fileName, TRocketFile& out, std::string& error);
// The player's export: GNU Rocket's dialect with values printed to read back exactly.
// False with a message when a value is not finite or a row is negative.
bool RocketXml(const TKeyedTrackSet& tracks, int rows, std::string& text, std::string& error);
// Writes the export through a temporary name; an existing file is replaced only with `replace`.
bool WriteRocketFile(const std::string& fileName, const TKeyedTrackSet& tracks, int rows,
                     bool replace, std::string& error);

// The `.track` file of a track: `<base>_<name>.track`, where bytes other than A-Z a-z 0-9 . _ /
// become '-' and two uppercase hex digits ("cam:x" -> "sync_cam-3Ax.track" for base "sync").
std::string TrackFileName(const std::string& base, const std::string& trackName);
// Reads the binary form into `track`'s keys. False with a message (no file name) when the size
// does not match the count, or a row is negative, a type above 3 or a value not finite.
bool ParseTrackBytes(const std::vector<uint8_t>& bytes, TKeyedTrack& track, std::string& error);
// The binary form of a track's keys.
std::vector<uint8_t> TrackBytes(const TKeyedTrack& track);
// Writes `<base>_<name>.track` for every track through temporary names, replacing older ones.
// Refuses names whose file would land outside the base's folder ("..", "." or empty parts).
bool WriteTrackFiles(const std::string& base, const TKeyedTrackSet& tracks, std::string& error);
