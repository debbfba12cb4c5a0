// One configurable fixed-function light. Every procedure addresses the current light, which
// SelectLight sets (0 at start, which is not a light: callers select GL_LIGHT0 first).
//
// Contract: the light is always positional (w = 1). Needs a current OpenGL context, except
// SelectLight.
#pragma once
#include "engine/Vectors.h"

#include <cstdint>

// The light record: the current light enumerant, its position and colours as last sent.
struct TLightState {
  uint32_t Light = 0;                    // GL_LIGHT0 and so on
  float Position[4] = {0, 0, 0, 1};      // x, y, z, always 1
  TColor4 Ambient = {0, 0, 0, 0};
  TColor4 Diffuse = {0, 0, 0, 0};
};
extern TLightState CurrentLight;

// Makes light l the one the other procedures address. No OpenGL call.
void SelectLight(uint32_t light);
// Enables the light at (10, 10, 10) with white ambient and half-grey diffuse (alpha 0.5), then
// lighting and normalisation.
void SetupDefaultLight();
// Sends the position (p, 1).
void SetLightPosition(const TVec3& p);
// Stores and sends the ambient and diffuse colours.
void SetLightColors(const TColor4& ambient, const TColor4& diffuse);
