#include "sync/KeyedTracks.h"

#include <algorithm>
#include <cmath>

namespace {

bool RowBefore(const TTrackKey& key, int row) { return key.Row < row; }

}  // namespace

void TKeyedTrack::SetKey(const TTrackKey& key) {
  auto at = std::lower_bound(keys_.begin(), keys_.end(), key.Row, RowBefore);
  if (at != keys_.end() && at->Row == key.Row)
    *at = key;
  else
    keys_.insert(at, key);
}

bool TKeyedTrack::DeleteKey(int row) {
  auto at = std::lower_bound(keys_.begin(), keys_.end(), row, RowBefore);
  if (at == keys_.end() || at->Row != row) return false;
  keys_.erase(at);
  return true;
}

size_t TKeyedTrack::SetAllKeys(std::vector<TTrackKey> keys) {
  // A stable sort keeps keys of one row in the order given, so the last of them is the one kept:
  // the same result as setting them one by one, without the quadratic inserts.
  std::stable_sort(keys.begin(), keys.end(),
                   [](const TTrackKey& a, const TTrackKey& b) { return a.Row < b.Row; });
  size_t kept = 0;
  for (size_t i = 0; i < keys.size(); ++i) {
    if (kept > 0 && keys[kept - 1].Row == keys[i].Row)
      keys[kept - 1] = keys[i];
    else
      keys[kept++] = keys[i];
  }
  const size_t dropped = keys.size() - kept;
  keys.resize(kept);
  keys.shrink_to_fit();
  keys_ = std::move(keys);
  return dropped;
}

double TKeyedTrack::ValueAt(double row) const {
  if (keys_.empty()) return 0.0;
  if (!(row >= keys_.front().Row)) return keys_.front().Value;  // NaN rows land here too
  if (row >= keys_.back().Row) return keys_.back().Value;
  // The last key at or before floor(row); rows here lie strictly inside the keys' range.
  const double whole = std::floor(row);
  auto next = std::upper_bound(keys_.begin(), keys_.end(), whole,
                               [](double r, const TTrackKey& key) { return r < key.Row; });
  const TTrackKey& from = *(next - 1);
  const TTrackKey& to = *next;
  const double v0 = from.Value;
  const double v1 = to.Value;
  double t = (row - from.Row) / (static_cast<double>(to.Row) - from.Row);
  switch (from.Type) {
    case TKeyType::Step: return v0;
    case TKeyType::Linear: break;
    case TKeyType::Smooth: t = t * t * (3.0 - 2.0 * t); break;
    case TKeyType::Ramp: t = t * t; break;
  }
  return v0 + (v1 - v0) * t;
}

double RowAtTime(double seconds, double bpm, int rowsPerBeat) {
  if (!(bpm > 0.0) || rowsPerBeat <= 0) return 0.0;
  return seconds * (bpm / 60.0) * rowsPerBeat;
}

const TKeyedTrack* TKeyedTrackSet::Find(const std::string& name) const {
  auto found = tracks_.find(name);
  return found == tracks_.end() ? nullptr : &found->second;
}

TKeyedTrack& TKeyedTrackSet::Track(const std::string& name) {
  auto placed = tracks_.try_emplace(name);
  if (placed.second) placed.first->second.Name = name;
  return placed.first->second;
}

double TKeyedTrackSet::ValueAt(const std::string& name, double row) const {
  const TKeyedTrack* track = Find(name);
  return track ? track->ValueAt(row) : 0.0;
}
