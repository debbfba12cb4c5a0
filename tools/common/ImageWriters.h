// Picture writers for the tests, the fuzz seeds and the sample production: BMP (24 or 32 bit,
// any common information header, bit fields, a colour table before the pixels), 24/32-bit TGA
// (raw or run-length, any row and column order, optional identification field), JPEG (colour,
// greyscale, CMYK, Adobe CMYK and YCCK, through libjpeg) and PNG (every colour type, 8 or 16
// bit, interlaced or not, through libpng). Every writer takes the same in-memory picture: RGBA bytes, top row
// first. Each returns false when the picture is inconsistent (size and byte count disagree,
// a size the format cannot hold, a bad option) or the file cannot be written.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct TImageRGBA {
  int32_t Width = 0, Height = 0;
  std::vector<uint8_t> Pixels;  // RGBA, 4 bytes per pixel, top row first
};

// A 24-bit uncompressed BMP (40-byte info header, bottom row first, rows padded to 4 bytes).
bool WriteBmp24(const std::string& fileName, const TImageRGBA& image);
// A true-colour TGA: bits 24 or 32, type 2 (raw) or 10 (rle); bottom row first unless
// topLeftOrigin; idField goes into the identification field (at most 255 bytes).
bool WriteTga(const std::string& fileName, const TImageRGBA& image, int bits /*24 or 32*/,
              bool rle, bool topLeftOrigin = false, const std::string& idField = "");
// How WriteBmp lays the file out.
struct TBmpLayout {
  uint32_t HeaderSize = 40;  // information header: 40, 52, 56, 108 or 124 bytes
  int Bits = 24;             // 24 or 32
  bool BitFields = false;    // 32 bit only: BI_BITFIELDS with masks for R G B A at bytes 2 1 0 3
  bool AlphaMask = true;     // with BitFields: an alpha mask (where the header has room for it)
  uint32_t ColoursUsed = 0;  // entries of a colour table (4 bytes each) before the pixels
};
// A BMP in the given layout; the pixel-data offset in the file header points past the table.
bool WriteBmp(const std::string& fileName, const TImageRGBA& image, const TBmpLayout& layout);
// A true-colour TGA like WriteTga, stored right to left (the descriptor's bit 4).
bool WriteTgaRightToLeft(const std::string& fileName, const TImageRGBA& image, int bits,
                         bool rle, bool topLeftOrigin);
// JPEG colour spaces WriteJpegAs writes.
enum class TJpegInk { Rgb, Grey, Cmyk, AdobeCmyk, Ycck };
// A baseline JPEG in that colour space. Cmyk stores plain inks and no Adobe marker; AdobeCmyk and
// Ycck store inverted inks with an Adobe marker, as print software does.
bool WriteJpegAs(const std::string& fileName, const TImageRGBA& image, TJpegInk ink, int quality = 90);
// PNG colour types WritePng writes.
enum class TPngKind { Grey, GreyAlpha, Rgb, Rgba, Palette, PaletteAlpha };
// A PNG of that kind (grey takes the red channel; palettes need at most 256 colours; palette
// alpha goes into tRNS) at 8 or 16 bits per channel (16 only for the non-palette kinds).
bool WritePng(const std::string& fileName, const TImageRGBA& image, TPngKind kind, int bits = 8,
              bool interlaced = false);
// A baseline JPEG at the quality (1..100); greyscale writes one luminance channel.
bool WriteJpeg(const std::string& fileName, const TImageRGBA& image, int quality = 90,
               bool greyscale = false);
