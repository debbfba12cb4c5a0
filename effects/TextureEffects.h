// Effects that lay a picture over a screen rectangle: "plaintexture" (alpha-blended, white
// tint) and "plaintextureadd" (added onto the picture beneath at brightness SS).
//
// Parameters: A picture file (required), B optional alpha JPEG (then A is the colour JPEG and
// the pair gets a texture of its own); X, Y lower left corner and W, H size in pixels (default
// 0, 0, 800, 600); VX, VY drift in pixels per second of bar time; S shake amplitude in pixels,
// the shake following input 0; SS brightness of the added picture, 0..1 (default 0: invisible).
#pragma once
#include "effects/ColorEffects.h"

#include <cstdint>

// The alpha-blended picture.
class TPlainTexture : public TPlainColor {
 public:
  TPlainTexture();
  // Gives back the texture of a JPEG pair (single pictures stay in the registry).
  ~TPlainTexture() override;
  // Loads the picture; a missing A is a script error that ends the demo (EndsRun).
  void Load(const TReadContext& files = TReadContext()) override;
  // A, or the JPEG pair A and B (read as two JPEG files, whatever their endings say).
  static std::vector<TEffectFile> LoadFiles(const TVEffect& effect);
  // A.
  static std::vector<std::string> MissingParameters(const TVEffect& effect);
  void Render(const TFrameContext& frame, const float* inputs) override;

  uint32_t Texture = 0;  // 0 before Load, NoTexture when the picture could not be read

 private:
  bool pairTexture_ = false;  // Texture came from AcquirePairTexture, not from the registry

 protected:
  // The lower left corner this frame: drift, plus the shake when input 0 is above 0.
  void Position(float barTime, float input0, float& x, float& y) const;
};

// The picture added onto what is beneath, scaled by SS.
class TPlainTextureAdd : public TPlainTexture {
 public:
  TPlainTextureAdd();
  void Render(const TFrameContext& frame, const float* inputs) override;
};
