// "object": one mesh of a 3DS model seen from a fixed camera at (100, 100, 100), placed at
// (X, Y, Z) and spinning about x, then y, then z at VX, VY, VZ degrees per second of bar time.
// Drawn unlit in a flat colour, with a texture, or with a texture plus an additive sphere-mapped
// pass.
//
// Parameters: A model file (3DS); B base texture, C environment texture (both optional); S
// uniform scale (0: the file's size); E, F, G flat colour 0..255; X, Y, Z position; VX, VY, VZ
// spin. Read on every frame (they may follow keyed tracks); a scale other than the one at load
// is drawn through the matrix. Only the model's first mesh is drawn.
// State left behind: lighting off; the modelview matrix of the object; with the environment pass,
// blending on with (GL_ONE, GL_ONE).
#pragma once
#include "effects/VEffect.h"
#include "engine/KGL2Classes.h"
#include "engine/Vectors.h"

#include <cstdint>
#include <memory>

class T3DObject : public TVEffect {
 public:
  // Loads the model (a failure is a script error and leaves nothing to draw), the textures and
  // the placement.
  void Load(const TReadContext& files = TReadContext()) override;
  // The model A and the pictures B and C, those named.
  static std::vector<TEffectFile> LoadFiles(const TVEffect& effect);
  // A.
  static std::vector<std::string> MissingParameters(const TVEffect& effect);
  void Render(const TFrameContext& frame, const float* inputs) override;

  std::unique_ptr<TKGLBrush> Brush;
  uint32_t BaseTexture = 0;
  uint32_t EnvTexture = 0;
  float LoadedScale = 1.0f;  // the scale the model's vertices were given by Load
  int32_t TextureMode = 0;  // 0 flat colour, 1 base texture, 2 base texture and environment pass
};
