#include "engine/ImageReaders.h"

#include "platform/Files.h"

#include <algorithm>
#include <filesystem>

namespace {

constexpr size_t kBmpHeadersSize = 54;  // 14-byte file header + 40-byte information header
constexpr size_t kTgaHeaderSize = 18;

uint32_t LE16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8); }
uint32_t LE32(const uint8_t* p) { return LE16(p) | (LE16(p + 2) << 16); }

bool Fail(TLoadFailure& failure, TTextureImage& image, const char* caption, std::string text) {
  failure.Caption = caption;
  failure.Text = std::move(text);
  image = TTextureImage();
  return false;
}

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

// Turns the image upside down (rows of equal length, in place).
void FlipRows(TTextureImage& image) {
  const size_t stride = static_cast<size_t>(image.Width) * image.BytesPerPixel;
  for (int32_t top = 0, bottom = image.Height - 1; top < bottom; ++top, --bottom)
    std::swap_ranges(image.Pixels.begin() + top * stride, image.Pixels.begin() + (top + 1) * stride,
                     image.Pixels.begin() + bottom * stride);
}

// File order B, G, R[, A] becomes R, G, B[, A].
void SwapRedBlue(std::vector<uint8_t>& pixels, int32_t bytesPerPixel) {
  for (size_t i = 0; i + 2 < pixels.size(); i += static_cast<size_t>(bytesPerPixel))
    std::swap(pixels[i], pixels[i + 2]);
}

const char kBmpCaption[] = "BMP Unit";
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

bool DecodeBmp(const std::string& name, const uint8_t* data, size_t size, TTextureImage& image,
               TLoadFailure& failure) {
  image = TTextureImage();
  if (size < kBmpHeadersSize) return Fail(failure, image, kBmpCaption, "Error reading bitmap header");
  const uint8_t* info = data + 14;
  const int64_t width = static_cast<int32_t>(LE32(info + 4));
  const int64_t signedHeight = static_cast<int32_t>(LE32(info + 8));
  const uint32_t bitCount = LE16(info + 14);
  const uint32_t compression = LE32(info + 16);
  const uint32_t imageSizeField = LE32(info + 20);
  const uint32_t paletteBytes = LE32(info + 32);  // the colours-used field, read as a byte count

  if (paletteBytes > size - kBmpHeadersSize)
    return Fail(failure, image, kBmpCaption, "Error reading palette");
  if (bitCount != 24 || compression != 0)
    return Fail(failure, image, kBmpCaption,
                "Couldn't load " + Quoted(name) + ". Only 24 bit uncompressed BMP files supported.");
  const int64_t height = signedHeight < 0 ? -signedHeight : signedHeight;
  if (width <= 0 || height == 0)
    return Fail(failure, image, kBmpCaption, "Couldn't load " + Quoted(name) + ". Bitmap has no pixels.");
  if (width > kMaxTextureSide || height > kMaxTextureSide)
    return Fail(failure, image, kBmpCaption,
                "Couldn't load " + Quoted(name) + ". Bitmap larger than 16384 x 16384.");

  // Rows are padded to 4 bytes in the file; the pixels follow the palette bytes directly.
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  const size_t stride = (rowBytes + 3) & ~size_t{3};
  const size_t needed = std::max<size_t>(stride * static_cast<size_t>(height), imageSizeField);
  const size_t start = kBmpHeadersSize + paletteBytes;
  if (needed > size - start) return Fail(failure, image, kBmpCaption, "Error reading bitmap data");

  image.Width = static_cast<int32_t>(width);
  image.Height = static_cast<int32_t>(height);
  image.BytesPerPixel = 3;
  image.Pixels.resize(rowBytes * static_cast<size_t>(height));
  for (int64_t row = 0; row < height; ++row)
    std::copy(data + start + stride * row, data + start + stride * row + rowBytes,
              image.Pixels.begin() + rowBytes * row);
  if (signedHeight < 0) FlipRows(image);  // stored top row first
  SwapRedBlue(image.Pixels, 3);
  return true;
}

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

  if (imageType != 2 && imageType != 10)
    return Fail(failure, image, kTgaCaption,
                "Couldn't load " + Quoted(name) + ". Only 24 and 32bit TGA supported.");
  if (colourMapType != 0)
    return Fail(failure, image, kTgaCaption,
                "Couldn't load " + Quoted(name) + ". Colormapped TGA files not supported.");
  if (depth != 24 && depth != 32)
    return Fail(failure, image, kTgaCaption,
                "Couldn't load " + Quoted(name) + ". Only 24 and 32 bit TGA files supported.");
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
  SwapRedBlue(image.Pixels, image.BytesPerPixel);
  return true;
}

bool ReadBmpImage(const std::string& name, TTextureImage& image, TLoadFailure& failure) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(name, bytes)) return Fail(failure, image, kBmpCaption, "Error opening " + name);
  return DecodeBmp(name, bytes.data(), bytes.size(), image, failure);
}

bool ReadTgaImage(const std::string& name, TTextureImage& image, TLoadFailure& failure) {
  std::error_code error;
  if (!std::filesystem::exists(ResolveFileName(name), error))
    return Fail(failure, image, "TGA Texture", "File not found  - " + name);
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(name, bytes)) return TgaReadError(name, image, failure);
  return DecodeTga(name, bytes.data(), bytes.size(), image, failure);
}
