// Fuzzes the module path: recognising a module, playing it through for its rows and placing the
// notes, per module channel and per instrument, with whole files.
#include "sync/TrackSources.h"

#include <cstdlib>
#include <initializer_list>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  (void)DetectTrackSource("fuzz.mod", bytes);
  for (const bool byInstrument : {false, true}) {
    TTrackBuild build;
    std::string error;
    if (!DemotrackFromModule(bytes, TTrackGrid(), build, error, byInstrument)) {
      if (error.empty()) std::abort();
      return 0;
    }
    if (build.Data.Channels.empty() || !(build.Bpm > 0.0)) std::abort();
    // Per instrument, every channel is named; per module channel, none.
    if (build.ChannelNames.size() != (byInstrument ? build.Data.Channels.size() : 0u)) std::abort();
    for (const std::vector<uint8_t>& channel : build.Data.Channels)
      for (uint8_t value : channel)
        if (value > 120) std::abort();  // notes only: no note-off, cut or fade
  }
  return 0;
}
