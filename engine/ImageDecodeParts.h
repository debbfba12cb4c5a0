// Helpers shared by the picture decoders of engine/ (not a public header): little-endian fields,
// the failure record, and row operations on a decoded image.
#pragma once
#include "engine/ImageReaders.h"

#include <algorithm>
#include <string>
#include <utility>

namespace image_parts {

inline uint32_t LE16(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8);
}
inline uint32_t LE32(const uint8_t* p) { return LE16(p) | (LE16(p + 2) << 16); }

// Fills the failure (no reason) and empties the image; returns false.
inline bool Fail(TLoadFailure& failure, TTextureImage& image, const char* caption,
                 std::string text) {
  failure.Caption = caption;
  failure.Text = std::move(text);
  failure.Reason.clear();
  image = TTextureImage();
  return false;
}

// The same with a reason for stderr.
inline bool FailWithReason(TLoadFailure& failure, TTextureImage& image, const char* caption,
                           std::string text, std::string reason) {
  Fail(failure, image, caption, std::move(text));
  failure.Reason = std::move(reason);
  return false;
}

// The name in double quotes, as the messages show it.
inline std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

// Turns the image upside down (rows of equal length, in place).
inline void FlipRows(TTextureImage& image) {
  const size_t stride = static_cast<size_t>(image.Width) * image.BytesPerPixel;
  for (int32_t top = 0, bottom = image.Height - 1; top < bottom; ++top, --bottom)
    std::swap_ranges(image.Pixels.begin() + top * stride, image.Pixels.begin() + (top + 1) * stride,
                     image.Pixels.begin() + bottom * stride);
}

}  // namespace image_parts
