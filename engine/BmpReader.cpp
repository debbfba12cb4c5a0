// The BMP decoder and its signature.
#include "engine/ImageDecodeParts.h"
#include "engine/ImageReaders.h"
#include "platform/Files.h"

#include <algorithm>

namespace {

using namespace image_parts;

constexpr size_t kBmpFileHeaderSize = 14;
constexpr size_t kBmpHeadersSize = 54;  // 14-byte file header + 40-byte information header
constexpr uint32_t kBiRgb = 0, kBiBitFields = 3, kBiAlphaBitFields = 6;

// Information header sizes that mark a file as BMP (the core, the Windows and the OS/2 ones).
bool IsKnownBmpHeaderSize(uint32_t size) {
  return size == 12 || size == 40 || size == 52 || size == 56 || size == 64 || size == 108 ||
         size == 124;
}

// The byte a whole-byte mask selects in a little-endian 32-bit pixel, or -1.
int32_t MaskByte(uint32_t mask) {
  for (int32_t byte = 0; byte < 4; ++byte)
    if (mask == 0xFFu << (8 * byte)) return byte;
  return -1;
}

const char kBmpCaption[] = "BMP Unit";

}  // namespace

bool IsBmpContent(const uint8_t* data, size_t size) {
  return size >= 18 && data[0] == 'B' && data[1] == 'M' && IsKnownBmpHeaderSize(LE32(data + 14));
}

bool DecodeBmp(const std::string& name, const uint8_t* data, size_t size, TTextureImage& image,
               TLoadFailure& failure) {
  image = TTextureImage();
  const std::string unsupported =
      "Couldn't load " + Quoted(name) + ". Only 24 and 32 bit uncompressed BMP files supported.";
  if (size < kBmpHeadersSize) return Fail(failure, image, kBmpCaption, "Error reading bitmap header");
  const uint8_t* info = data + kBmpFileHeaderSize;
  const uint32_t headerSize = LE32(info);
  if (!IsKnownBmpHeaderSize(headerSize) || headerSize == 12 || headerSize == 64)
    return FailWithReason(failure, image, kBmpCaption, unsupported,
                          "BMP information header of " + std::to_string(headerSize) +
                              " bytes is not supported");
  if (headerSize > size - kBmpFileHeaderSize)
    return Fail(failure, image, kBmpCaption, "Error reading bitmap header");
  const int64_t width = static_cast<int32_t>(LE32(info + 4));
  const int64_t signedHeight = static_cast<int32_t>(LE32(info + 8));
  const uint32_t bitCount = LE16(info + 14);
  const uint32_t compression = LE32(info + 16);
  const uint32_t imageSizeField = LE32(info + 20);
  const uint32_t coloursUsed = LE32(info + 32);

  if (bitCount <= 8)
    return FailWithReason(failure, image, kBmpCaption, "Error reading palette",
                          "BMP with a palette (" + std::to_string(bitCount) +
                              " bits per pixel) is not supported");
  const bool bitFields = compression == kBiBitFields || compression == kBiAlphaBitFields;
  if (bitCount != 24 && bitCount != 32)
    return FailWithReason(failure, image, kBmpCaption, unsupported,
                          std::to_string(bitCount) + "-bit BMP is not supported");
  if (!(compression == kBiRgb || (bitFields && bitCount == 32)))
    return FailWithReason(failure, image, kBmpCaption, unsupported,
                          "compressed BMP (compression " + std::to_string(compression) +
                              ") is not supported");

  // Bit-field masks follow the first 40 bytes of the information header, inside the larger
  // headers or right after a smaller one.
  size_t headersEnd = kBmpFileHeaderSize + headerSize;
  int32_t red = 2, green = 1, blue = 0, alpha = -1;  // byte of each channel in a pixel
  if (bitFields) {
    const size_t masksEnd = kBmpHeadersSize + (compression == kBiAlphaBitFields ? 16 : 12);
    headersEnd = std::max(headersEnd, masksEnd);
    if (headersEnd > size) return Fail(failure, image, kBmpCaption, "Error reading bitmap header");
    const bool hasAlphaMask = headerSize >= 56 || compression == kBiAlphaBitFields;
    red = MaskByte(LE32(info + 40));
    green = MaskByte(LE32(info + 44));
    blue = MaskByte(LE32(info + 48));
    const uint32_t alphaMask = hasAlphaMask ? LE32(info + 52) : 0;
    alpha = alphaMask == 0 ? -1 : MaskByte(alphaMask);
    if (red < 0 || green < 0 || blue < 0 || (alphaMask != 0 && alpha < 0) || red == green ||
        red == blue || green == blue || alpha == red || alpha == green || alpha == blue)
      return FailWithReason(failure, image, kBmpCaption, unsupported,
                            "BMP bit fields that are not whole distinct bytes are not supported");
  }

  const int64_t height = signedHeight < 0 ? -signedHeight : signedHeight;
  if (width <= 0 || height == 0)
    return Fail(failure, image, kBmpCaption, "Couldn't load " + Quoted(name) + ". Bitmap has no pixels.");
  if (width > kMaxTextureSide || height > kMaxTextureSide)
    return Fail(failure, image, kBmpCaption,
                "Couldn't load " + Quoted(name) + ". Bitmap larger than 16384 x 16384.");

  // The pixels start where the file header says, when that lies past the headers and inside
  // the file; otherwise they follow the colour table the header counts (4 bytes an entry).
  size_t start = LE32(data + 10);
  if (start < headersEnd || start >= size) {
    if (coloursUsed > (size - headersEnd) / 4)
      return Fail(failure, image, kBmpCaption, "Error reading palette");
    start = headersEnd + static_cast<size_t>(coloursUsed) * 4;
  }

  // Rows are padded to 4 bytes in the file.
  const size_t fileBytesPerPixel = bitCount / 8;
  const size_t stride = (static_cast<size_t>(width) * fileBytesPerPixel + 3) & ~size_t{3};
  const size_t needed = std::max<size_t>(stride * static_cast<size_t>(height), imageSizeField);
  if (needed > size - start) return Fail(failure, image, kBmpCaption, "Error reading bitmap data");

  image.Width = static_cast<int32_t>(width);
  image.Height = static_cast<int32_t>(height);
  image.BytesPerPixel = alpha >= 0 ? 4 : 3;
  const size_t outBytesPerPixel = static_cast<size_t>(image.BytesPerPixel);
  image.Pixels.resize(static_cast<size_t>(width) * outBytesPerPixel * static_cast<size_t>(height));
  uint8_t* out = image.Pixels.data();
  for (int64_t row = 0; row < height; ++row) {
    const uint8_t* in = data + start + stride * static_cast<size_t>(row);
    for (int64_t x = 0; x < width; ++x, in += fileBytesPerPixel, out += outBytesPerPixel) {
      out[0] = in[red];
      out[1] = in[green];
      out[2] = in[blue];
      if (alpha >= 0) out[3] = in[alpha];
    }
  }
  if (signedHeight < 0) FlipRows(image);  // stored top row first
  return true;
}

bool ReadBmpImage(const std::string& name, TTextureImage& image, TLoadFailure& failure) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(name, bytes)) return Fail(failure, image, kBmpCaption, "Error opening " + name);
  return DecodeBmp(name, bytes.data(), bytes.size(), image, failure);
}
