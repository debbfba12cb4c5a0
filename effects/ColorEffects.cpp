#include "effects/ColorEffects.h"

#include "effects/Draw2D.h"
#include "engine/KGL2Materials.h"

#include <GL/gl.h>

namespace {

// The defaults the three constructors share: an 800 x 600 white rectangle at the origin.
void SetFillDefaults(TVEffect& effect) {
  effect.X = 0;
  effect.Y = 0;
  effect.W = 800;
  effect.H = 600;
  effect.VX = 0;
  effect.VY = 0;
  effect.E = 255;
  effect.F = 255;
  effect.G = 255;
  effect.Z = 0;
}

// The flashes also start with empty texts A and B.
void SetFlashDefaults(TVEffect& effect) {
  SetFillDefaults(effect);
  effect.A.clear();
  effect.B.clear();
}

// A position after drifting at `speed` pixels per second for barTime seconds.
float Drifted(float start, float speed, float barTime) { return start + speed * barTime; }

TColor4 ColorOf(const TVEffect& effect, float alpha) {
  return {static_cast<float>(effect.E) / 255.0f, static_cast<float>(effect.F) / 255.0f,
          static_cast<float>(effect.G) / 255.0f, alpha};
}

}  // namespace

TPlainColor::TPlainColor() : TVEffect(NoBaseDefaults{}) { SetFillDefaults(*this); }

float TPlainColor::DriftedX(float barTime) const { return Drifted(X, VX, barTime); }
float TPlainColor::DriftedY(float barTime) const { return Drifted(Y, VY, barTime); }

void TPlainColor::Render(const TFrameContext& frame, const float* inputs) {
  TVEffect::Render(frame, inputs);
  PushCenterView();
  DrawRect(ColorOf(*this, Opacity), DriftedX(frame.BarTime), DriftedY(frame.BarTime), W, H);
  PopView();
}

TFlash::TFlash() : TVEffect(NoBaseDefaults{}) { SetFlashDefaults(*this); }

void TFlash::Render(const TFrameContext& frame, const float* inputs) {
  PushCenterView();
  DrawRect(ColorOf(*this, inputs[0] * Opacity), Drifted(X, VX, frame.BarTime),
           Drifted(Y, VY, frame.BarTime), W, H);
  PopView();
}

TInverseFlash::TInverseFlash() : TVEffect(NoBaseDefaults{}) { SetFlashDefaults(*this); }

void TInverseFlash::Render(const TFrameContext& /*frame*/, const float* inputs) {
  const float v = inputs[0] * Opacity;
  if (!(v > 0.0f)) return;
  PushCenterView();
  ApplyColor({v, v, v, 1.0f});
  // Each channel becomes v·(1 - d) + (1 - v)·d for the channel d beneath.
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_ONE_MINUS_SRC_COLOR);
  DrawBareQuad(X, Y, W, H);
  PopView();
}
