// The TGA decoder (TGA has no signature): colour-mapped, true-colour (15/16, 24 and 32 bit)
// and greyscale pictures, raw or run-length.
#include "engine/ImageDecodeParts.h"
#include "engine/ImageReaders.h"
#include "platform/Files.h"

#include <algorithm>
#include <filesystem>

namespace {

using namespace image_parts;

constexpr size_t kTgaHeaderSize = 18;

// Mirrors every row (for pictures stored right to left).
void MirrorRows(TTextureImage& image) {
  const size_t b = static_cast<size_t>(image.BytesPerPixel);
  const size_t stride = static_cast<size_t>(image.Width) * b;
  for (size_t row = 0; row < static_cast<size_t>(image.Height); ++row) {
    uint8_t* left = image.Pixels.data() + row * stride;
    uint8_t* right = left + stride - b;
    for (; left < right; left += b, right -= b) std::swap_ranges(left, left + b, right);
  }
}

const char kTgaCaption[] = "TGA File Error";

bool TgaReadError(const std::string& name, TTextureImage& image, TLoadFailure& failure) {
  return Fail(failure, image, kTgaCaption, "Couldn't read file " + Quoted(name) + ".");
}

// How decoding the run-length packets ended.
enum class RleResult { Done, DataEnded, RunsPastImage };

// Run-length packets of `b`-byte file pixels into `out` (already sized for pixelCount). Stops,
// without reading or writing outside either buffer, when the data ends early or a packet would
// run past the last pixel.
RleResult DecodeTgaPackets(const uint8_t* data, size_t size, size_t b, size_t pixelCount,
                           uint8_t* out) {
  size_t produced = 0, at = 0;
  while (produced < pixelCount) {
    if (at >= size) return RleResult::DataEnded;
    const uint8_t header = data[at++];
    const size_t count = static_cast<size_t>(header & 0x7F) + 1;
    if (count > pixelCount - produced) return RleResult::RunsPastImage;
    if (header < 128) {
      if (count * b > size - at) return RleResult::DataEnded;
      std::copy(data + at, data + at + count * b, out + produced * b);
      at += count * b;
    } else {
      if (b > size - at) return RleResult::DataEnded;
      for (size_t i = 0; i < count; ++i) std::copy(data + at, data + at + b, out + (produced + i) * b);
      at += b;
    }
    produced += count;
  }
  return RleResult::Done;
}

// A 15/16-bit (x/A R5 G5 B5), 24-bit (B G R) or 32-bit (B G R A) colour to R G B[ A].
void PutColour(const uint8_t* in, size_t bits, bool alpha, uint8_t* out) {
  if (bits <= 16) {
    const uint32_t v = LE16(in);
    // c * 255 / 31, rounded down, as the common TGA writers read their own files back.
    auto five = [](uint32_t c) { return static_cast<uint8_t>(c * 255 / 31); };
    out[0] = five((v >> 10) & 31), out[1] = five((v >> 5) & 31), out[2] = five(v & 31);
    if (alpha) out[3] = (v & 0x8000) ? 255 : 0;
  } else {
    out[0] = in[2], out[1] = in[1], out[2] = in[0];
    if (alpha) out[3] = bits == 32 ? in[3] : 255;
  }
}

}  // namespace

bool DecodeTga(const std::string& name, const uint8_t* data, size_t size, TTextureImage& image,
               TLoadFailure& failure) {
  image = TTextureImage();
  if (size < kTgaHeaderSize) return TgaReadError(name, image, failure);
  const uint32_t idLength = data[0];
  const uint32_t colourMapType = data[1];
  const uint32_t imageType = data[2];
  const uint32_t mapFirst = LE16(data + 3), mapLength = LE16(data + 5), mapBits = data[7];
  const int32_t width = static_cast<int32_t>(LE16(data + 12));
  const int32_t height = static_cast<int32_t>(LE16(data + 14));
  const uint32_t depth = data[16];
  const bool alphaBit = (data[17] & 0x0F) != 0;  // 16 bit: the top bit is alpha
  const bool topRowFirst = (data[17] & 0x20) != 0;
  const bool rightToLeft = (data[17] & 0x10) != 0;
  const std::string damaged = "Couldn't load " + Quoted(name) + ". The TGA file is damaged.";
  const std::string unsupported = "Couldn't load " + Quoted(name) + ". This kind of TGA is not supported.";

  // 1/9 colour-mapped, 2/10 true colour, 3/11 greyscale; 8 and up run-length.
  const uint32_t kind = imageType & 7;
  const bool rle = imageType >= 8;
  if (kind < 1 || kind > 3 || (imageType & ~uint32_t{11}) != 0)
    return FailWithReason(failure, image, kTgaCaption, unsupported,
                          "TGA image type " + std::to_string(imageType) +
                              " is not supported (colour-mapped, true colour or greyscale, raw or run-length)");
  const bool mapped = kind == 1, grey = kind == 3;
  const bool depthFits = mapped ? depth == 8 || depth == 16
                         : grey ? depth == 8 || depth == 16
                                : depth == 15 || depth == 16 || depth == 24 || depth == 32;
  if (!depthFits)
    return FailWithReason(failure, image, kTgaCaption, unsupported,
                          std::to_string(depth) + "-bit " +
                              (mapped ? "colour-mapped " : grey ? "greyscale " : "") + "TGA is not supported");
  if (colourMapType > 1 || (mapped && colourMapType != 1))
    return FailWithReason(failure, image, kTgaCaption, damaged, "colour map type " + std::to_string(colourMapType));
  if (colourMapType == 1 && mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32)
    return FailWithReason(failure, image, kTgaCaption, damaged,
                          "colour map entries of " + std::to_string(mapBits) + " bits");
  if (width == 0 || height == 0)
    return Fail(failure, image, kTgaCaption, "Couldn't load " + Quoted(name) + ". Image has no pixels.");
  if (width > kMaxTextureSide || height > kMaxTextureSide)
    return Fail(failure, image, kTgaCaption,
                "Couldn't load " + Quoted(name) + ". Image larger than 16384 x 16384.");

  // The identification field, then the colour map (skipped by true-colour pictures), then pixels.
  const size_t mapEntry = colourMapType == 1 ? (mapBits + 7) / 8 : 0;
  const size_t mapStart = kTgaHeaderSize + idLength;
  if (mapStart > size || mapLength * mapEntry > size - mapStart) return TgaReadError(name, image, failure);
  const size_t start = mapStart + mapLength * mapEntry;
  const size_t available = size - start;
  const size_t b = (depth + 7) / 8;
  const size_t pixelCount = static_cast<size_t>(width) * static_cast<size_t>(height);
  // A packet of 1 + b bytes yields at most 128 pixels: refuse sizes the data cannot hold before
  // allocating the image.
  const size_t mostPixels = !rle ? available / b : available / (1 + b) * 128;
  if (pixelCount > mostPixels) return TgaReadError(name, image, failure);

  std::vector<uint8_t> decoded;
  const uint8_t* pixels = data + start;
  if (rle) {
    decoded.resize(pixelCount * b);
    switch (DecodeTgaPackets(data + start, available, b, pixelCount, decoded.data())) {
      case RleResult::Done:
        break;
      case RleResult::DataEnded:
        return TgaReadError(name, image, failure);
      case RleResult::RunsPastImage:
        return Fail(failure, image, kTgaCaption,
                    "Couldn't load " + Quoted(name) + ". Run-length packets run past the image.");
    }
    pixels = decoded.data();
  }

  const size_t colourBits = mapped ? mapBits : depth;
  const bool alpha = grey ? depth == 16 : colourBits == 32 || (colourBits == 16 && alphaBit);
  image.Width = width;
  image.Height = height;
  image.BytesPerPixel = alpha ? 4 : 3;
  const size_t outBytes = static_cast<size_t>(image.BytesPerPixel);
  image.Pixels.resize(pixelCount * outBytes);
  uint8_t* out = image.Pixels.data();
  for (size_t i = 0; i < pixelCount; ++i, pixels += b, out += outBytes) {
    if (grey) {
      out[0] = out[1] = out[2] = pixels[0];
      if (alpha) out[3] = pixels[1];
    } else if (mapped) {
      const uint32_t index = b == 1 ? pixels[0] : LE16(pixels);
      if (index < mapFirst || index - mapFirst >= mapLength)
        return FailWithReason(failure, image, kTgaCaption, damaged,
                              "colour index " + std::to_string(index) + " outside the colour map");
      PutColour(data + mapStart + (index - mapFirst) * mapEntry, mapBits, alpha, out);
    } else {
      PutColour(pixels, depth, alpha, out);
    }
  }
  if (topRowFirst) FlipRows(image);
  if (rightToLeft) MirrorRows(image);
  return true;
}

bool ReadTgaImage(const std::string& name, TTextureImage& image, TLoadFailure& failure,
                  const TReadContext& files) {
  std::error_code error;
  if (!std::filesystem::exists(files.PathOf(name), error))
    return Fail(failure, image, "TGA Texture", "File not found  - " + name);
  std::vector<uint8_t> bytes;
  if (!files.ReadWholeFile(name, bytes)) return TgaReadError(name, image, failure);
  return DecodeTga(name, bytes.data(), bytes.size(), image, failure);
}
