// Fuzzes the JPEG decoder and the colour/alpha pair. Input: a 32-bit little-endian length n,
// then n bytes of colour JPEG, then the alpha JPEG (the layout make_picture_seeds writes).
// The colour part alone also goes through the single-file decoder.
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  size_t colourSize = static_cast<size_t>(data[0]) | (static_cast<size_t>(data[1]) << 8) |
                      (static_cast<size_t>(data[2]) << 16) | (static_cast<size_t>(data[3]) << 24);
  data += 4;
  size -= 4;
  if (colourSize > size) colourSize = size;
  TTextureImage image;
  TLoadFailure failure;
  CheckDecodeResult(DecodeJpeg("colour.jpg", data, colourSize, image, failure), image, failure);
  CheckDecodeResult(DecodeJpegPair("colour.jpg", data, colourSize, "alpha.jpg", data + colourSize,
                                   size - colourSize, image, failure),
                    image, failure);
  return 0;
}
