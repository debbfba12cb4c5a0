// What every reader promises on any input, checked after each decode: a decoded image holds
// exactly width x height pixels of its size within the limits, and a refusal says why.
#pragma once
#include "engine/ImageReaders.h"

#include <cstdlib>

inline void CheckDecodeResult(bool decoded, const TTextureImage& image, const TLoadFailure& failure) {
  if (decoded) {
    const bool sane = image.Width > 0 && image.Height > 0 && image.Width <= kMaxTextureSide &&
                      image.Height <= kMaxTextureSide &&
                      (image.BytesPerPixel == 3 || image.BytesPerPixel == 4) &&
                      image.Pixels.size() == static_cast<size_t>(image.Width) * image.Height *
                                                 static_cast<size_t>(image.BytesPerPixel);
    if (!sane) std::abort();
  } else if (failure.Text.empty() || failure.Caption.empty() || !image.Pixels.empty()) {
    std::abort();
  }
}
