// The music spectrum: a 512-frame FFT of the decoded samples at a position. The frames are
// mixed to mono (the average of the channels), scaled to -1..1 and shaped by a Hann window;
// the result is 256 magnitudes 2·|X_k| / 512 for k = 0..255 (bin 0 is DC). A full-scale sine
// centred on bin k gives about 0.5 in bin k, full-scale DC gives 1.0, and no input can give
// more than 1.0. Frames before the start or past the end of the data count as silence.
#pragma once
#include "platform/AudioDecode.h"

#include <cstdint>

constexpr int kSpectrumFrames = 512;
constexpr int kSpectrumBins = 256;

// Writes the 256 magnitudes of frames [firstFrame, firstFrame + 512) of pcm into bins.
// Not thread-safe: call it from one thread (the main thread).
void ComputeSpectrum(const TPcm16& pcm, int64_t firstFrame, float bins[kSpectrumBins]);
