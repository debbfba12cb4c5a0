#include "engine/ImageReaders.h"

#include "platform/Files.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace {

constexpr size_t kBmpFileHeaderSize = 14;
constexpr size_t kBmpHeadersSize = 54;  // 14-byte file header + 40-byte information header
constexpr uint32_t kBiRgb = 0, kBiBitFields = 3, kBiAlphaBitFields = 6;
constexpr size_t kTgaHeaderSize = 18;

uint32_t LE16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8); }
uint32_t LE32(const uint8_t* p) { return LE16(p) | (LE16(p + 2) << 16); }

bool Fail(TLoadFailure& failure, TTextureImage& image, const char* caption, std::string text) {
  failure.Caption = caption;
  failure.Text = std::move(text);
  failure.Reason.clear();
  image = TTextureImage();
  return false;
}

bool FailWithReason(TLoadFailure& failure, TTextureImage& image, const char* caption,
                    std::string text, std::string reason) {
  Fail(failure, image, caption, std::move(text));
  failure.Reason = std::move(reason);
  return false;
}

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

TPictureFormat PictureFormatOfName(const std::string& name) {
  const size_t dot = name.find_last_of('.');
  const size_t slash = name.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && slash > dot))
    return TPictureFormat::Unknown;
  std::string ending = name.substr(dot + 1);
  for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ending == "bmp") return TPictureFormat::Bmp;
  if (ending == "tga") return TPictureFormat::Tga;
  if (ending == "png") return TPictureFormat::Png;
  if (ending == "jpg" || ending == "jpeg" || ending == "jpe" || ending == "jfif")
    return TPictureFormat::Jpeg;
  return TPictureFormat::Unknown;
}

TPictureFormat PictureFormatOfContent(const uint8_t* data, size_t size) {
  static const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (size >= 8 && std::equal(kPngSignature, kPngSignature + 8, data)) return TPictureFormat::Png;
  if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return TPictureFormat::Jpeg;
  if (size >= 18 && data[0] == 'B' && data[1] == 'M' && IsKnownBmpHeaderSize(LE32(data + 14)))
    return TPictureFormat::Bmp;
  return TPictureFormat::Unknown;
}

const char* PictureFormatLabel(TPictureFormat format) {
  switch (format) {
    case TPictureFormat::Bmp: return "BMP";
    case TPictureFormat::Tga: return "TGA";
    case TPictureFormat::Jpeg: return "JPEG";
    case TPictureFormat::Png: return "PNG";
    case TPictureFormat::Unknown: break;
  }
  return "unknown";
}

bool DecodePicture(TPictureFormat format, const std::string& name, const uint8_t* data,
                   size_t size, TTextureImage& image, TLoadFailure& failure) {
  switch (format) {
    case TPictureFormat::Bmp: return DecodeBmp(name, data, size, image, failure);
    case TPictureFormat::Tga: return DecodeTga(name, data, size, image, failure);
    case TPictureFormat::Jpeg: return DecodeJpeg(name, data, size, image, failure);
    case TPictureFormat::Png: return DecodePng(name, data, size, image, failure);
    case TPictureFormat::Unknown: break;
  }
  return Fail(failure, image, "Texture",
              "Couldn't load " + Quoted(name) +
                  ". Unknown picture type: supported are BMP, JPEG (.jpg, .jpeg, .jpe, .jfif), "
                  "PNG and TGA.");
}

bool ReadPictureFile(const std::string& name, TTextureImage& image, TLoadFailure& failure,
                     std::string& note) {
  const TPictureFormat byName = PictureFormatOfName(name);
  std::vector<uint8_t> bytes;
  if (byName == TPictureFormat::Unknown || !ReadWholeFile(name, bytes)) {
    switch (byName) {
      case TPictureFormat::Bmp: return ReadBmpImage(name, image, failure);
      case TPictureFormat::Tga: return ReadTgaImage(name, image, failure);
      case TPictureFormat::Jpeg: return ReadJpegImage(name, image, failure);
      case TPictureFormat::Png: return ReadPngImage(name, image, failure);
      case TPictureFormat::Unknown: break;
    }
    return DecodePicture(TPictureFormat::Unknown, name, nullptr, 0, image, failure);
  }
  TPictureFormat format = byName;
  const TPictureFormat byContent = PictureFormatOfContent(bytes.data(), bytes.size());
  if (byContent != TPictureFormat::Unknown && byContent != byName) {
    note = "\"" + name + "\" is a " + PictureFormatLabel(byContent) +
           " picture with a misleading name; loaded as " + PictureFormatLabel(byContent);
    format = byContent;
  }
  return DecodePicture(format, name, bytes.data(), bytes.size(), image, failure);
}
