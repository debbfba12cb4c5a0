// Pixel checks for GL tests: clear the frame, compare one pixel of it with a tolerance.
#pragma once
#include "effects/VEffect.h"
#include "support/GlContext.h"
#include "support/TestFrame.h"

#include <gtest/gtest.h>

// Clears colour and depth, the colour to (r, g, b, 1).
inline void ClearTestFrame(float r, float g, float b) {
  glClearColor(r, g, b, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// Expects the pixel at (x, y), lower left origin, within `tolerance` levels of (r, g, b).
inline void ExpectPixel(int x, int y, int r, int g, int b, int tolerance = 1) {
  const TPixel p = ReadTestPixel(x, y);
  EXPECT_NEAR(p.r, r, tolerance) << "at " << x << "," << y;
  EXPECT_NEAR(p.g, g, tolerance) << "at " << x << "," << y;
  EXPECT_NEAR(p.b, b, tolerance) << "at " << x << "," << y;
}

// Runs an effect as the run loop does for one bar: SetInputs, then Render of TestFrame, with
// input 0 set.
inline void RenderWithInput(TVEffect& effect, float input0) {
  float inputs[kEffectInputCount] = {};
  inputs[0] = input0;
  effect.SetInputs(inputs);
  effect.Render(TestFrame, inputs);
}
