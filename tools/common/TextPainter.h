// Painting into RGBA pictures for the generated production data: text set with FreeType in a
// system font found by fontconfig, soft glows, gradients and alpha compositing. Pictures are
// common/ImageWriters.h's TImageRGBA (top row first).
#pragma once
#include "common/ImageWriters.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct TRgba {
  float R = 0, G = 0, B = 0, A = 1;  // 0..1
};

// A coverage mask the size of a picture: 0 (nothing) to 1 (fully covered) per pixel.
struct TMask {
  int32_t Width = 0, Height = 0;
  std::vector<float> Coverage;  // top row first
};

// A font face at one pixel size.
class TTextPainter {
 public:
  // Finds the face by name and weight through fontconfig. Ready() is false when no face could be
  // opened; drawing then covers nothing.
  TTextPainter(const std::string& faceName, bool bold);
  ~TTextPainter();
  TTextPainter(const TTextPainter&) = delete;
  TTextPainter& operator=(const TTextPainter&) = delete;

  bool Ready() const;
  // The font file that was matched (empty when none).
  const std::string& FontFile() const;
  // Width in pixels of the text at the pixel height.
  int32_t TextWidth(const std::string& text, int32_t pixelHeight);
  // Adds the anti-aliased text to the mask with its baseline at y (from the top) and its left
  // edge at x; with centred, x is the centre of the text instead.
  void DrawText(TMask& mask, const std::string& text, int32_t pixelHeight, int32_t x, int32_t y,
                bool centred = false);

 private:
  struct TFace;
  std::unique_ptr<TFace> face_;
  std::string fontFile_;
};

// A picture filled with one colour.
TImageRGBA MakePicture(int32_t width, int32_t height, const TRgba& fill);
// An empty (all zero) mask of a picture's size.
TMask MakeMask(int32_t width, int32_t height);
// A box blur of the mask, repeated three times (close to a Gaussian) with the radius in pixels.
TMask BlurMask(const TMask& mask, int32_t radius);
// Paints colour over the picture where the mask covers it ("over" compositing, alpha included).
void PaintMask(TImageRGBA& picture, const TMask& mask, const TRgba& colour, float strength = 1.0f);
// Fills the picture with a vertical gradient from top to bottom colour.
void PaintVerticalGradient(TImageRGBA& picture, const TRgba& top, const TRgba& bottom);
// The mask as an opaque grey picture (white where covered), e.g. for an alpha JPEG.
TImageRGBA MaskAsGrey(const TMask& mask);
