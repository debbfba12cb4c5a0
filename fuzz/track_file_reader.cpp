// Fuzzes the readers of keyed-track files: the `.rocket` XML of the sync editors and the binary
// `.track` form. Whatever reads must write back and read back to the same keys.
#include "sync/TrackFiles.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

bool SameKeys(const TKeyedTrack& a, const TKeyedTrack& b) {
  if (a.Keys().size() != b.Keys().size()) return false;
  for (size_t i = 0; i < a.Keys().size(); ++i) {
    const TTrackKey& x = a.Keys()[i];
    const TTrackKey& y = b.Keys()[i];
    if (x.Row != y.Row || x.Type != y.Type || std::memcmp(&x.Value, &y.Value, 4) != 0) return false;
  }
  return true;
}

void CheckTrack(const TKeyedTrack& track) {
  for (size_t i = 0; i < track.Keys().size(); ++i) {
    const TTrackKey& key = track.Keys()[i];
    if (key.Row < 0 || static_cast<int>(key.Type) > kMaxKeyType || !std::isfinite(key.Value))
      std::abort();
    if (i > 0 && track.Keys()[i - 1].Row >= key.Row) std::abort();
  }
  for (double row : {-1.0, 0.5, 3.25, 100.75, 1e7})
    if (!std::isfinite(track.ValueAt(row))) std::abort();
  TKeyedTrack again;
  std::string error;
  if (!ParseTrackBytes(TrackBytes(track), again, error) || !SameKeys(track, again)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string error;
  TKeyedTrack binary;
  if (ParseTrackBytes(std::vector<uint8_t>(data, data + size), binary, error)) CheckTrack(binary);
  else if (error.empty()) std::abort();

  TRocketFile file;
  error.clear();
  if (!ParseRocketXml(std::string_view(reinterpret_cast<const char*>(data), size), file, error)) {
    if (error.empty() || file.Tracks.Size() != 0) std::abort();
    return 0;
  }
  std::string text;
  TRocketFile back;
  if (!RocketXml(file.Tracks, file.Rows, text, error) || !ParseRocketXml(text, back, error))
    std::abort();
  if (back.Tracks.Size() != file.Tracks.Size()) std::abort();
  for (const auto& named : file.Tracks.All()) {
    CheckTrack(named.second);
    const TKeyedTrack* copy = back.Tracks.Find(named.first);
    if (!copy || !SameKeys(named.second, *copy)) std::abort();
  }
  return 0;
}
