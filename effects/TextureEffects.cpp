#include "effects/TextureEffects.h"

#include "effects/Draw2D.h"
#include "engine/KGL2Textures.h"
#include "engine/PairTextures.h"

#include <cmath>

TPlainTexture::TPlainTexture() {
  A.clear();
  B.clear();
  S = 0;
}

std::vector<TEffectFile> TPlainTexture::LoadFiles(const TVEffect& effect) {
  if (effect.A.empty()) return {};
  return {effect.B.empty() ? PictureFile(effect.A, "A")
                           : JpegPairFile(effect.A, effect.B, "A and B")};
}

std::vector<std::string> TPlainTexture::MissingParameters(const TVEffect& effect) {
  if (!effect.A.empty()) return {};
  return {"A (the picture file)"};
}

void TPlainTexture::Load(const TReadContext& files) {
  if (A.empty()) {
    ReportLoadFailure(*this, "Effect PlainTexture requires texture filename in parameter A, "
                             "Effect number " + std::to_string(Index));
    EndsRun = true;
    return;
  }
  pairTexture_ = !B.empty();
  Texture = B.empty() ? TextureByName(A, files) : AcquirePairTexture(A, B, files);
}

TPlainTexture::~TPlainTexture() {
  if (pairTexture_) ReleasePairTexture(Texture);
}

void TPlainTexture::Position(float barTime, float input0, float& x, float& y) const {
  x = DriftedX(barTime);
  y = DriftedY(barTime);
  if (input0 > 0) {
    x += S * std::sin(20 * input0);
    y += S * std::cos(17 * input0);
  }
}

void TPlainTexture::Render(const TFrameContext& frame, const float* inputs) {
  if (Texture == NoTexture) return;  // a picture that could not be read draws nothing
  float x, y;
  Position(frame.BarTime, inputs[0], x, y);
  PushCenterView();
  DrawTexturedQuad(Texture, x, y, W, H, Opacity);
  PopView();
}

TPlainTextureAdd::TPlainTextureAdd() { SS = 0; }

void TPlainTextureAdd::Render(const TFrameContext& frame, const float* inputs) {
  if (Texture == NoTexture) return;
  float x, y;
  Position(frame.BarTime, inputs[0], x, y);
  PushCenterView();
  DrawAddQuad(Texture, TColor4{1, 1, 1, SS * Opacity}, x, y, W, H);
  PopView();
}
