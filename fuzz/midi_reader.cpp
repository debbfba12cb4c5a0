// Fuzzes the MIDI reader and the placing of its notes with whole files, on the music's own grid
// and on a forced, finer one.
#include "sync/TrackSources.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  TTrackGrid grids[2];
  grids[1].Bpm = 97.5;
  grids[1].RowsPerBeat = 16;
  for (const TTrackGrid& grid : grids) {
    TTrackBuild build;
    std::string error;
    if (!DemotrackFromMidi(bytes, grid, build, error)) {
      if (error.empty()) std::abort();  // a refusal always says why
      continue;
    }
    if (build.Data.Channels.size() != 16 || !(build.Bpm > 0.0)) std::abort();
    // A demotrack stays within the bound on cells, whatever the file claims.
    if (build.Data.RowCount() * 16 > (size_t{64} << 20) + 32) std::abort();
  }
  return 0;
}
