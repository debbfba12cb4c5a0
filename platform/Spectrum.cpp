#include "platform/Spectrum.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>

namespace {

// Not every C library defines M_PI.
constexpr double kPi = 3.14159265358979323846;

// One FFTW plan with its buffers, made on first use and kept for the life of the process.
struct SpectrumPlan {
  float* input = nullptr;
  fftwf_complex* output = nullptr;
  fftwf_plan plan = nullptr;
  float window[kSpectrumFrames];

  SpectrumPlan() {
    input = fftwf_alloc_real(kSpectrumFrames);
    output = fftwf_alloc_complex(kSpectrumFrames / 2 + 1);
    plan = fftwf_plan_dft_r2c_1d(kSpectrumFrames, input, output, FFTW_ESTIMATE);
    // Periodic Hann window: its sum is exactly 256, so full-scale DC comes out as 1.0.
    for (int n = 0; n < kSpectrumFrames; ++n)
      window[n] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * kPi * n / kSpectrumFrames));
  }
};

SpectrumPlan& Plan() {
  static SpectrumPlan* plan = new SpectrumPlan();  // kept to the end: no teardown order issues
  return *plan;
}

}  // namespace

void ComputeSpectrum(const TPcm16& pcm, int64_t firstFrame, float bins[kSpectrumBins]) {
  SpectrumPlan& plan = Plan();
  const int64_t frames = pcm.FrameCount();
  const int channels = pcm.Channels;
  const float scale = 1.0f / (32768.0f * static_cast<float>(std::max(channels, 1)));
  for (int n = 0; n < kSpectrumFrames; ++n) {
    const int64_t frame = firstFrame + n;
    float sum = 0.0f;
    if (frame >= 0 && frame < frames) {
      const int16_t* sample = pcm.Samples.data() + frame * channels;
      for (int c = 0; c < channels; ++c) sum += static_cast<float>(sample[c]);
    }
    plan.input[n] = sum * scale * plan.window[n];
  }
  fftwf_execute(plan.plan);
  constexpr float kNorm = 2.0f / kSpectrumFrames;
  for (int k = 0; k < kSpectrumBins; ++k) {
    const float magnitude = std::hypot(plan.output[k][0], plan.output[k][1]) * kNorm;
    bins[k] = std::min(magnitude, 1.0f);
  }
}
