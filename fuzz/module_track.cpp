// Fuzzes the module path: recognising a module, playing it through for its rows and placing the
// notes, with whole files.
#include "sync/TrackSources.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  (void)DetectTrackSource("fuzz.mod", bytes);
  TTrackBuild build;
  std::string error;
  if (!DemotrackFromModule(bytes, TTrackGrid(), build, error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  if (build.Data.Channels.empty() || !(build.Bpm > 0.0)) std::abort();
  for (const std::vector<uint8_t>& channel : build.Data.Channels)
    for (uint8_t value : channel)
      if (value > 120) std::abort();  // notes only: no note-off, cut or fade
  return 0;
}
