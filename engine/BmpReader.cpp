// The BMP decoder and its signature: palette pictures of 1, 4 and 8 bits (raw, RLE8, RLE4),
// 16-bit (5-5-5 or bit fields), 24-bit and 32-bit (plain or bit fields), under the OS/2 core
// header or any of the Windows information headers.
#include "engine/ImageDecodeParts.h"
#include "engine/ImageReaders.h"
#include "platform/Files.h"

#include <algorithm>

namespace {

using namespace image_parts;

constexpr size_t kBmpFileHeaderSize = 14;
constexpr size_t kBmpHeadersSize = 54;  // 14-byte file header + 40-byte information header
constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitFields = 3, kBiAlphaBitFields = 6;

// Information header sizes that mark a file as BMP (the core, the Windows and the OS/2 ones).
bool IsKnownBmpHeaderSize(uint32_t size) {
  return size == 12 || size == 40 || size == 52 || size == 56 || size == 64 || size == 108 ||
         size == 124;
}

const char kBmpCaption[] = "BMP Unit";

// A channel of `bits` bits (1 to 8) widened to 8 by repeating its bits: 0 stays 0, the
// largest value becomes 255 (five bits 10000 become 10000100).
inline uint8_t WidenBits(uint32_t value, uint32_t bits) {
  uint32_t out = value << (8 - bits);
  for (uint32_t have = bits; have < 8; have += bits) out |= out >> have;
  return static_cast<uint8_t>(out);
}

// One channel of a bit-field pixel: where its bits lie and how many there are.
struct Channel {
  uint32_t mask = 0, shift = 0, bits = 0;
  uint8_t From(uint32_t pixel) const {
    const uint32_t value = (pixel & mask) >> shift;
    return bits >= 8 ? static_cast<uint8_t>(value >> (bits - 8)) : WidenBits(value, bits);
  }
};

// A mask of one run of set bits; false for zero or gaps.
bool ChannelOfMask(uint32_t mask, Channel& channel) {
  if (mask == 0) return false;
  channel.mask = mask;
  channel.shift = 0;
  while (!((mask >> channel.shift) & 1)) ++channel.shift;
  const uint32_t run = mask >> channel.shift;
  if ((run & (run + 1)) != 0) return false;  // not one run of ones
  channel.bits = 0;
  while (channel.bits < 32 && ((run >> channel.bits) & 1)) ++channel.bits;
  return true;
}

// What the headers say, after their checks.
struct BmpHeader {
  int64_t width = 0, signedHeight = 0;
  uint32_t bitCount = 0, compression = 0, imageSizeField = 0, coloursUsed = 0;
  size_t headersEnd = 0;     // where the colour table (or the pixels) may start
  size_t paletteEntry = 4;   // bytes of a colour table entry (3 under the core header)
  Channel red, green, blue, alpha;  // for 16 and 32 bit; alpha.bits 0 when there is none
};

// The unpacked palette indexes of a picture, bottom row first, from an RLE8 or RLE4 stream.
// Pixels the stream skips (delta and end-of-line codes) keep index 0. Runs may fill a row up
// to its padded length in the file (some writers encode the padding); what lies past the width
// is dropped. Returns the damage, or an empty text.
std::string DecodeRle(const uint8_t* data, size_t size, bool four, size_t width, size_t height,
                      std::vector<uint8_t>& indexes) {
  indexes.assign(width * height, 0);
  const size_t room = four ? (width + 7) / 8 * 8 : (width + 3) / 4 * 4;
  size_t at = 0, x = 0, y = 0;
  auto put = [&](uint8_t index) {
    if (x < width) indexes[y * width + x] = index;
    ++x;
  };
  while (true) {
    if (size - at < 2) return y >= height ? std::string() : "run-length data ends early";
    const uint32_t count = data[at], code = data[at + 1];
    at += 2;
    if (count > 0) {  // a run of one index (two alternating ones in RLE4)
      if (y >= height) return "run-length data runs past the picture";
      if (count > room - x) return "a run-length run goes past the end of a row";
      for (uint32_t i = 0; i < count; ++i) put(four ? (i & 1 ? code & 15 : code >> 4) : code);
    } else if (code == 0) {  // end of line
      x = 0;
      ++y;
    } else if (code == 1) {  // end of picture
      return std::string();
    } else if (code == 2) {  // move right and up
      if (size - at < 2) return "run-length data ends early";
      x += data[at];
      y += data[at + 1];
      at += 2;
      if (x > room || (y >= height && (y > height || x > 0)))
        return "a run-length move goes past the picture";
    } else {  // `code` indexes stored as they are, padded to two bytes
      const size_t bytes = four ? (code + 1) / 2 : code;
      if (bytes > size - at) return "run-length data ends early";
      if (y >= height) return "run-length data runs past the picture";
      if (code > room - x) return "a run-length run goes past the end of a row";
      for (uint32_t i = 0; i < code; ++i) {
        const uint8_t byte = data[at + (four ? i / 2 : i)];
        put(four ? (i & 1 ? byte & 15 : byte >> 4) : byte);
      }
      at += (bytes + 1) & ~size_t{1};
      if (at > size) at = size;
    }
  }
}

}  // namespace

bool IsBmpContent(const uint8_t* data, size_t size) {
  return size >= 18 && data[0] == 'B' && data[1] == 'M' && IsKnownBmpHeaderSize(LE32(data + 14));
}

bool DecodeBmp(const std::string& name, const uint8_t* data, size_t size, TTextureImage& image,
               TLoadFailure& failure) {
  image = TTextureImage();
  const std::string unsupported = "Couldn't load " + Quoted(name) + ". This kind of BMP is not supported.";
  const std::string damaged = "Couldn't load " + Quoted(name) + ". The BMP file is damaged.";
  if (size < kBmpFileHeaderSize + 4) return Fail(failure, image, kBmpCaption, "Error reading bitmap header");
  const uint8_t* info = data + kBmpFileHeaderSize;
  BmpHeader h;
  const uint32_t headerSize = LE32(info);
  if (!IsKnownBmpHeaderSize(headerSize) || headerSize == 64)
    return FailWithReason(failure, image, kBmpCaption, unsupported,
                          "BMP information header of " + std::to_string(headerSize) +
                              " bytes is not supported");
  if (headerSize > size - kBmpFileHeaderSize || (headerSize != 12 && size < kBmpHeadersSize))
    return Fail(failure, image, kBmpCaption, "Error reading bitmap header");
  h.headersEnd = kBmpFileHeaderSize + headerSize;
  if (headerSize == 12) {  // OS/2 core header: 16-bit sizes, 3-byte colour table entries
    h.width = LE16(info + 4);
    h.signedHeight = LE16(info + 6);
    h.bitCount = LE16(info + 10);
    h.paletteEntry = 3;
  } else {
    h.width = static_cast<int32_t>(LE32(info + 4));
    h.signedHeight = static_cast<int32_t>(LE32(info + 8));
    h.bitCount = LE16(info + 14);
    h.compression = LE32(info + 16);
    h.imageSizeField = LE32(info + 20);
    h.coloursUsed = LE32(info + 32);
  }
  const uint32_t bits = h.bitCount, compression = h.compression;
  const bool bitFields = compression == kBiBitFields || compression == kBiAlphaBitFields;
  const bool rle = compression == kBiRle8 || compression == kBiRle4;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    return FailWithReason(failure, image, kBmpCaption, unsupported,
                          std::to_string(bits) + "-bit BMP is not supported");
  const bool compressionFits = compression == kBiRgb || (compression == kBiRle8 && bits == 8) ||
                               (compression == kBiRle4 && bits == 4) ||
                               (bitFields && (bits == 16 || bits == 32));
  if (!compressionFits)
    return FailWithReason(failure, image, kBmpCaption, unsupported,
                          "BMP compression " + std::to_string(compression) + " at " +
                              std::to_string(bits) + " bits per pixel is not supported");

  // Bit-field masks follow the first 40 bytes of the information header, inside the larger
  // headers or right after a smaller one. Without them 16 bit is 5-5-5 and 32 bit is B G R x.
  if (bitFields) {
    const size_t masksEnd = kBmpHeadersSize + (compression == kBiAlphaBitFields ? 16 : 12);
    h.headersEnd = std::max(h.headersEnd, masksEnd);
    if (h.headersEnd > size) return Fail(failure, image, kBmpCaption, "Error reading bitmap header");
    const bool hasAlphaMask = headerSize >= 56 || compression == kBiAlphaBitFields;
    const uint32_t alphaMask = hasAlphaMask ? LE32(info + 52) : 0;
    const uint32_t widest = bits == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    const uint32_t r = LE32(info + 40), g = LE32(info + 44), b = LE32(info + 48);
    const bool overlap = (r & g) || (r & b) || (g & b) || ((r | g | b) & alphaMask);
    if (!ChannelOfMask(r, h.red) || !ChannelOfMask(g, h.green) || !ChannelOfMask(b, h.blue) ||
        (alphaMask != 0 && !ChannelOfMask(alphaMask, h.alpha)) || overlap ||
        ((r | g | b | alphaMask) & ~widest) != 0)
      return FailWithReason(failure, image, kBmpCaption, damaged,
                            "BMP bit fields that are zero, overlap, have gaps or lie outside the pixel");
  } else if (bits == 16) {
    ChannelOfMask(0x7C00, h.red), ChannelOfMask(0x03E0, h.green), ChannelOfMask(0x001F, h.blue);
  } else if (bits == 32) {
    ChannelOfMask(0xFF0000, h.red), ChannelOfMask(0xFF00, h.green), ChannelOfMask(0xFF, h.blue);
  }

  const int64_t height = h.signedHeight < 0 ? -h.signedHeight : h.signedHeight;
  if (h.width <= 0 || height == 0)
    return Fail(failure, image, kBmpCaption, "Couldn't load " + Quoted(name) + ". Bitmap has no pixels.");
  if (h.width > kMaxTextureSide || height > kMaxTextureSide)
    return Fail(failure, image, kBmpCaption,
                "Couldn't load " + Quoted(name) + ". Bitmap larger than 16384 x 16384.");
  const size_t width = static_cast<size_t>(h.width), rows = static_cast<size_t>(height);

  // The colour table follows the headers: the count the header gives, or all 2^bits entries.
  std::vector<uint8_t> palette;  // R G B per entry
  const size_t tableEntries = bits <= 8 && h.coloursUsed == 0 ? size_t{1} << bits : h.coloursUsed;
  if (tableEntries > (size - h.headersEnd) / h.paletteEntry)
    return Fail(failure, image, kBmpCaption, "Error reading palette");
  if (bits <= 8) {
    const size_t used = std::min(tableEntries, size_t{1} << bits);
    for (size_t i = 0; i < used; ++i) {
      const uint8_t* entry = data + h.headersEnd + i * h.paletteEntry;
      palette.insert(palette.end(), {entry[2], entry[1], entry[0]});
    }
  }
  // The pixels start where the file header says, when that lies past the headers and inside
  // the file; otherwise they follow the colour table.
  size_t start = LE32(data + 10);
  if (start < h.headersEnd || start >= size) start = h.headersEnd + tableEntries * h.paletteEntry;

  // Rows are padded to 4 bytes in the file; run-length data is as long as the header says,
  // or the rest of the file.
  const size_t stride = ((width * bits + 31) / 32) * 4;
  const size_t needed = rle ? h.imageSizeField : std::max<size_t>(stride * rows, h.imageSizeField);
  if (needed > size - start) return Fail(failure, image, kBmpCaption, "Error reading bitmap data");
  std::vector<uint8_t> indexes;
  if (rle) {
    const size_t length = h.imageSizeField ? h.imageSizeField : size - start;
    // A 4-byte move skips at most 255 rows: a size the data cannot reach is refused before
    // anything is allocated.
    if (rows > (length / 4 + 1) * 255) return Fail(failure, image, kBmpCaption, "Error reading bitmap data");
    const std::string damage =
        DecodeRle(data + start, length, compression == kBiRle4, width, rows, indexes);
    if (!damage.empty()) return FailWithReason(failure, image, kBmpCaption, damaged, damage);
  }

  image.Width = static_cast<int32_t>(width);
  image.Height = static_cast<int32_t>(rows);
  image.BytesPerPixel = h.alpha.bits ? 4 : 3;
  const size_t outBytes = static_cast<size_t>(image.BytesPerPixel);
  image.Pixels.resize(width * outBytes * rows);
  uint8_t* out = image.Pixels.data();
  const size_t colours = palette.size() / 3;
  for (size_t row = 0; row < rows; ++row) {
    const uint8_t* in = data + start + stride * row;
    for (size_t x = 0; x < width; ++x, out += outBytes) {
      if (bits <= 8) {
        const size_t index = rle ? indexes[row * width + x]
                                 : (in[x * bits / 8] >> (8 - bits - x * bits % 8)) & ((1u << bits) - 1);
        if (index >= colours)
          return FailWithReason(failure, image, kBmpCaption, damaged,
                                "palette index " + std::to_string(index) + " past the " +
                                    std::to_string(colours) + "-entry colour table");
        std::copy_n(&palette[index * 3], 3, out);
      } else if (bits == 24) {
        const uint8_t* p = in + x * 3;
        out[0] = p[2], out[1] = p[1], out[2] = p[0];
      } else {
        const uint32_t pixel = bits == 16 ? LE16(in + x * 2) : LE32(in + x * 4);
        out[0] = h.red.From(pixel), out[1] = h.green.From(pixel), out[2] = h.blue.From(pixel);
        if (h.alpha.bits) out[3] = h.alpha.From(pixel);
      }
    }
  }
  if (h.signedHeight < 0) FlipRows(image);  // stored top row first
  return true;
}

bool ReadBmpImage(const std::string& name, TTextureImage& image, TLoadFailure& failure,
                  const TReadContext& files) {
  std::vector<uint8_t> bytes;
  if (!files.ReadWholeFile(name, bytes)) return Fail(failure, image, kBmpCaption, "Error opening " + name);
  return DecodeBmp(name, bytes.data(), bytes.size(), image, failure);
}
