// Effects that cover a screen rectangle with one colour: a steady fill ("plaincolor"), a fill
// whose opacity follows input 0 ("flash") and a fill that inverts the picture beneath it in
// proportion to input 0 ("invertflash").
//
// Parameters: X, Y lower left corner and W, H size in pixels (default 0, 0, 800, 600); VX, VY
// drift in pixels per second of bar time; E, F, G red, green, blue 0..255 (default white).
// The inverting fill ignores the drift and the colour.
#pragma once
#include "effects/VEffect.h"

// A steady opaque fill; also the base of the texture effects.
class TPlainColor : public TVEffect {
 public:
  TPlainColor();
  void Render(const TFrameContext& frame, const float* inputs) override;

 protected:
  // The rectangle's lower left corner after the drift of barTime seconds.
  float DriftedX(float barTime) const;
  float DriftedY(float barTime) const;
};

// A fill whose opacity is input 0, drawn every frame.
class TFlash : public TVEffect {
 public:
  TFlash();
  void Render(const TFrameContext& frame, const float* inputs) override;
};

// Inverts the picture beneath its rectangle by input 0: 1 inverts, 0.5 gives mid-grey, 0 or
// less draws nothing and touches no state. Leaves lighting and depth testing off and blending
// on with its inverting blend function.
class TInverseFlash : public TVEffect {
 public:
  TInverseFlash();
  void Render(const TFrameContext& frame, const float* inputs) override;
};
