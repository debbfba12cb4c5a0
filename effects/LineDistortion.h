// "lines": 31 thin vertical grey bars that sway slowly around x = 550, added onto the picture.
// Reads no parameter and no input, only the frame's BarTime; built with the base effect constructor.
#pragma once
#include "effects/VEffect.h"

class TLineDistortion : public TVEffect {
 public:
  void Render(const TFrameContext& frame, const float* inputs) override;
};

// The left edge of bar i (0..30) at a bar time, in pixels: 550 + 140 sin(40 i + 0.1 t).
float LineBarX(int bar, float barTime);
