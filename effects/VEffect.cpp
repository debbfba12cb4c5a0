#include "effects/VEffect.h"

#include "platform/ScriptError.h"

#include <GL/gl.h>

TVEffect::TVEffect() : InputLimit(1.0f) {}

const float* TFrameContext::SilentSpectrum() {
  static const float silence[kSpectrumSize] = {};
  return silence;
}

void TVEffect::Render(const TFrameContext& /*frame*/, const float* /*inputs*/) {
  glEnable(GL_BLEND);
}

void TVEffect::SetInputs(const float* inputs) {
  for (int i = 0; i < kEffectInputCount; ++i) {
    if (inputs[i] > Inputs[i]) Inputs[i] = inputs[i];
    if (Inputs[i] > InputLimit) Inputs[i] = InputLimit;
  }
}

void ReportLoadFailure(TVEffect& effect, const std::string& description,
                       const TReadContext& files) {
  files.Error(description);
  effect.LoadFailed = true;
}
