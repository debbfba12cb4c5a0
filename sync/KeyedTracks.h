// Keyed tracks: named curves made of keys (row, value, type) as a sync editor edits them, and
// their value at any fractional row. A key's type shapes the curve from its row to the next key.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// How the curve runs from a key to the next one.
enum class TKeyType : uint8_t { Step = 0, Linear = 1, Smooth = 2, Ramp = 3 };
// The highest valid key type; anything above it is refused by every reader.
constexpr int kMaxKeyType = 3;

struct TTrackKey {
  int Row = 0;
  float Value = 0.0f;
  TKeyType Type = TKeyType::Step;
};

// One track: its name and its keys, kept sorted by row with at most one key a row.
class TKeyedTrack {
public:
  std::string Name;

  // Inserts the key, or replaces the key already at its row.
  void SetKey(const TTrackKey& key);
  // Removes the key at `row`; a row without a key is ignored. True when a key was removed.
  bool DeleteKey(int row);
  // Replaces all keys with `keys` in any order; of two keys on one row the later one stays.
  // Returns how many keys were dropped that way.
  size_t SetAllKeys(std::vector<TTrackKey> keys);
  // The keys, sorted by row.
  const std::vector<TTrackKey>& Keys() const { return keys_; }
  // The value at `row`: 0 without keys, the first key's value before it, the last key's value at
  // or after it, else the curve of the key at or before floor(row) toward the next key.
  double ValueAt(double row) const;

private:
  std::vector<TTrackKey> keys_;
};

// The row playing at `seconds` of demo time for music at `bpm` counted in `rowsPerBeat` rows a
// beat (4: the demotrack's rows), in double; 0 when bpm or rowsPerBeat is not positive.
double RowAtTime(double seconds, double bpm, int rowsPerBeat = 4);

// Tracks by name.
class TKeyedTrackSet {
public:
  // The track with this name, or null.
  const TKeyedTrack* Find(const std::string& name) const;
  // The track with this name, made empty when there is none yet.
  TKeyedTrack& Track(const std::string& name);
  // The value of the named track at `row`; 0 for a track the set does not have.
  double ValueAt(const std::string& name, double row) const;
  // All tracks, ordered by name.
  const std::map<std::string, TKeyedTrack>& All() const { return tracks_; }
  size_t Size() const { return tracks_.size(); }

private:
  std::map<std::string, TKeyedTrack> tracks_;
};
