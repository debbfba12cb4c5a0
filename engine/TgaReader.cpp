// The TGA decoder (TGA has no signature).
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

// File order B, G, R[, A] becomes R, G, B[, A].
void SwapRedBlue(std::vector<uint8_t>& pixels, int32_t bytesPerPixel) {
  for (size_t i = 0; i + 2 < pixels.size(); i += static_cast<size_t>(bytesPerPixel))
    std::swap(pixels[i], pixels[i + 2]);
}

const char kTgaCaption[] = "TGA File Error";

bool TgaReadError(const std::string& name, TTextureImage& image, TLoadFailure& failure) {
  return Fail(failure, image, kTgaCaption, "Couldn't read file " + Quoted(name) + ".");
}

// How decoding the run-length packets ended.
enum class RleResult { Done, DataEnded, RunsPastImage };

// Run-length packets into image.Pixels (already sized). Stops, without reading or writing
// outside either buffer, when the data ends early or a packet would run past the last pixel.
RleResult DecodeTgaPackets(const uint8_t* data, size_t size, TTextureImage& image) {
  const size_t b = static_cast<size_t>(image.BytesPerPixel);
  const size_t pixelCount = static_cast<size_t>(image.Width) * image.Height;
  uint8_t* out = image.Pixels.data();
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

}  // namespace

bool DecodeTga(const std::string& name, const uint8_t* data, size_t size, TTextureImage& image,
               TLoadFailure& failure) {
  image = TTextureImage();
  if (size < kTgaHeaderSize) return TgaReadError(name, image, failure);
  const uint32_t idLength = data[0];
  const uint32_t colourMapType = data[1];
  const uint32_t imageType = data[2];
  const int32_t width = static_cast<int32_t>(LE16(data + 12));
  const int32_t height = static_cast<int32_t>(LE16(data + 14));
  const uint32_t depth = data[16];
  const bool topRowFirst = (data[17] & 0x20) != 0;
  const bool rightToLeft = (data[17] & 0x10) != 0;

  if (imageType != 2 && imageType != 10)
    return FailWithReason(failure, image, kTgaCaption,
                          "Couldn't load " + Quoted(name) + ". Only 24 and 32bit TGA supported.",
                          "TGA image type " + std::to_string(imageType) +
                              " is not supported (only true colour, raw or run-length)");
  if (colourMapType != 0)
    return FailWithReason(failure, image, kTgaCaption,
                          "Couldn't load " + Quoted(name) + ". Colormapped TGA files not supported.",
                          "colour-mapped TGA is not supported");
  if (depth != 24 && depth != 32)
    return FailWithReason(failure, image, kTgaCaption,
                          "Couldn't load " + Quoted(name) + ". Only 24 and 32 bit TGA files supported.",
                          std::to_string(depth) + "-bit TGA is not supported");
  if (width == 0 || height == 0)
    return Fail(failure, image, kTgaCaption, "Couldn't load " + Quoted(name) + ". Image has no pixels.");
  if (width > kMaxTextureSide || height > kMaxTextureSide)
    return Fail(failure, image, kTgaCaption,
                "Couldn't load " + Quoted(name) + ". Image larger than 16384 x 16384.");

  const size_t start = kTgaHeaderSize + idLength;  // pixel data follows the identification field
  if (start > size) return TgaReadError(name, image, failure);
  const size_t available = size - start;
  const size_t b = depth / 8;
  const size_t pixelCount = static_cast<size_t>(width) * static_cast<size_t>(height);
  // A packet of 1 + b bytes yields at most 128 pixels: refuse sizes the data cannot hold before
  // allocating the image.
  const size_t mostPixels = imageType == 2 ? available / b : available / (1 + b) * 128;
  if (pixelCount > mostPixels) return TgaReadError(name, image, failure);

  image.Width = width;
  image.Height = height;
  image.BytesPerPixel = static_cast<int32_t>(b);
  image.Pixels.resize(pixelCount * b);
  if (imageType == 2) {
    std::copy(data + start, data + start + pixelCount * b, image.Pixels.begin());
  } else {
    switch (DecodeTgaPackets(data + start, available, image)) {
      case RleResult::Done:
        break;
      case RleResult::DataEnded:
        return TgaReadError(name, image, failure);
      case RleResult::RunsPastImage:
        return Fail(failure, image, kTgaCaption,
                    "Couldn't load " + Quoted(name) + ". Run-length packets run past the image.");
    }
  }
  if (topRowFirst) FlipRows(image);
  if (rightToLeft) MirrorRows(image);
  SwapRedBlue(image.Pixels, image.BytesPerPixel);
  return true;
}

bool ReadTgaImage(const std::string& name, TTextureImage& image, TLoadFailure& failure) {
  std::error_code error;
  if (!std::filesystem::exists(ResolveFileName(name), error))
    return Fail(failure, image, "TGA Texture", "File not found  - " + name);
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(name, bytes)) return TgaReadError(name, image, failure);
  return DecodeTga(name, bytes.data(), bytes.size(), image, failure);
}
