// Fuzzes the music decoder (every format libsndfile reads, and tracker modules) with whole files.
#include "platform/AudioDecode.h"
#include "platform/ModuleDecode.h"
#include "platform/Spectrum.h"

#include <algorithm>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TPcm16 pcm;
  std::string reason;
  // A module is loaded and measured, not rendered: a few bytes may describe half an hour of
  // song, whose rendering is libopenmpt's time, not ours, and would stall the fuzzer.
  if (LooksLikeModule(data, std::min(size, ModuleHeadSize()), size)) {
    if (!ProbeModule(data, size, pcm, reason) && reason.empty()) std::abort();
    return 0;
  }
  if (DecodeAudioBytes(data, size, pcm, reason)) {
    if (pcm.Channels < 1 || pcm.Channels > 2 || pcm.FrameCount() < 1 ||
        pcm.Samples.size() != static_cast<size_t>(pcm.FrameCount() * pcm.Channels))
      std::abort();
    float bins[kSpectrumBins];
    ComputeSpectrum(pcm, pcm.FrameCount() - 100, bins);
  } else if (reason.empty()) {
    std::abort();  // a failure always says why
  }
  return 0;
}
