// Fuzzes the music decoder (every format libsndfile reads) with whole files.
#include "platform/AudioDecode.h"
#include "platform/Spectrum.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TPcm16 pcm;
  std::string reason;
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
