// The frame the GL tests hand to an effect's Render: tests set its times and spectrum; it goes
// back to a still, silent frame before each test.
#pragma once
#include "effects/VEffect.h"

#include <algorithm>
#include <iterator>

inline float TestSpectrum[kSpectrumSize] = {};
inline TFrameContext TestFrame = [] {
  TFrameContext frame;
  frame.Spectrum = TestSpectrum;
  return frame;
}();

// A still, silent frame at time 0.
inline void ResetTestFrame() {
  std::fill(std::begin(TestSpectrum), std::end(TestSpectrum), 0.0f);
  TestFrame = TFrameContext();
  TestFrame.Spectrum = TestSpectrum;
}
