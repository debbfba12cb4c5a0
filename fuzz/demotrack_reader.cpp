// Fuzzes the demotrack reader with whole files, then the row lookups and the envelope over the
// grid it made.
#include "demo/Tracker.h"
#include "platform/Dialogs.h"

#include <cmath>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetDialogsEnabled(false);
  TDemoTracker tracker;
  tracker.LoadDemotrackBytes(std::vector<uint8_t>(data, data + size), "fuzz.trk");
  // A demotrack holds no more rows than its bytes carry, give or take the 16 MiB a short file
  // may lack.
  size_t cells = 0;
  for (const std::vector<uint8_t>& channel : tracker.Channels) cells += channel.size();
  if (cells > size + (size_t{16} << 20)) std::abort();
  tracker.BPM = 120.0f;
  const int32_t channels = static_cast<int32_t>(tracker.Channels.size());
  // The first channels, the last one and the ones either side: a file may claim a channel for
  // each of its bytes, which would make each input slow.
  std::vector<int32_t> probed = {-1, channels - 1, channels};
  for (int32_t c = 0; c < channels && c < 16; ++c) probed.push_back(c);
  for (int32_t c : probed) {
    const int32_t rows = tracker.RowCount(c);
    for (int32_t row : {-1, 0, rows / 2, rows - 1, rows}) (void)tracker.ByteAt(c, row);
    if (c >= 0 && c < channels) {
      const float value = tracker.Envelope(c, size ? data[0] : 0, 0.1f, 0.05f,
                                           tracker.RowToTime(rows / 2));
      if (!std::isfinite(value) || value < 0.0f) std::abort();
    }
  }
  return 0;
}
