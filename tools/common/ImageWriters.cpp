#include "common/ImageWriters.h"

#include "engine/JpegErrorTrap.h"

#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>

namespace {

// Largest side any writer accepts; keeps every byte count far inside 32 bits.
constexpr int32_t kMaxSide = 32768;

bool IsConsistent(const TImageRGBA& image) {
  if (image.Width <= 0 || image.Height <= 0) return false;
  if (image.Width > kMaxSide || image.Height > kMaxSide) return false;
  return image.Pixels.size() == static_cast<size_t>(image.Width) * image.Height * 4;
}

void PutLE16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutLE32(std::vector<uint8_t>& out, uint32_t value) {
  PutLE16(out, value & 0xFFFF);
  PutLE16(out, value >> 16);
}

bool WriteBytes(const std::string& fileName, const std::vector<uint8_t>& bytes) {
  std::ofstream file(fileName, std::ios::binary | std::ios::trunc);
  if (!file) return false;
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

const uint8_t* PixelAt(const TImageRGBA& image, int32_t x, int32_t rowFromTop) {
  return &image.Pixels[(static_cast<size_t>(rowFromTop) * image.Width + x) * 4];
}

// One pixel in file order: B, G, R[, A].
void PutBgr(std::vector<uint8_t>& out, const uint8_t* rgba, int bytesPerPixel) {
  out.push_back(rgba[2]);
  out.push_back(rgba[1]);
  out.push_back(rgba[0]);
  if (bytesPerPixel == 4) out.push_back(rgba[3]);
}

bool SamePixel(const uint8_t* a, const uint8_t* b, int bytesPerPixel) {
  for (int i = 0; i < bytesPerPixel; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

// Run-length packets for one row: runs of two or more equal pixels become run packets, the
// rest raw packets; no packet is longer than 128 pixels or crosses the row's end.
void PutRleRow(std::vector<uint8_t>& out, const TImageRGBA& image, int32_t rowFromTop,
               int bytesPerPixel) {
  const int32_t width = image.Width;
  int32_t x = 0;
  while (x < width) {
    int32_t run = 1;
    while (x + run < width && run < 128 &&
           SamePixel(PixelAt(image, x, rowFromTop), PixelAt(image, x + run, rowFromTop),
                     bytesPerPixel))
      ++run;
    if (run >= 2) {
      out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
      PutBgr(out, PixelAt(image, x, rowFromTop), bytesPerPixel);
      x += run;
      continue;
    }
    int32_t raw = 1;
    while (x + raw < width && raw < 128 &&
           !(x + raw + 1 < width && SamePixel(PixelAt(image, x + raw, rowFromTop),
                                              PixelAt(image, x + raw + 1, rowFromTop),
                                              bytesPerPixel)))
      ++raw;
    out.push_back(static_cast<uint8_t>(raw - 1));
    for (int32_t i = 0; i < raw; ++i) PutBgr(out, PixelAt(image, x + i, rowFromTop), bytesPerPixel);
    x += raw;
  }
}

// Compresses rows (top row first, 1 or 3 components each) into memory. Kept free of C++
// objects with destructors because a libjpeg error leaves it through longjmp.
bool CompressJpeg(const uint8_t* rows, int32_t width, int32_t height, TJpegInk ink,
                  int quality, unsigned char** output, unsigned long* outputSize) {
  jpeg_compress_struct info;
  TJpegErrorTrap trap;
  info.err = InstallJpegErrorTrap(trap);
  if (setjmp(trap.Jump)) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, output, outputSize);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  const bool inks = ink == TJpegInk::Cmyk || ink == TJpegInk::AdobeCmyk || ink == TJpegInk::Ycck;
  const int components = ink == TJpegInk::Grey ? 1 : inks ? 4 : 3;
  info.input_components = components;
  info.in_color_space = ink == TJpegInk::Grey ? JCS_GRAYSCALE : inks ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&info);
  if (ink == TJpegInk::Ycck) jpeg_set_colorspace(&info, JCS_YCCK);
  if (ink == TJpegInk::Cmyk) info.write_Adobe_marker = FALSE;
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  const size_t stride = static_cast<size_t>(width) * components;
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rows + stride * info.next_scanline);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

struct TPngHeader {
  png_uint_32 Width, Height;
  int Bits, ColourType;
  bool Interlaced;
};

// Writes a PNG through libpng. Kept free of locals changed after setjmp: libpng errors leave
// through longjmp.
bool EncodePng(std::FILE* file, const TPngHeader& header, const std::vector<png_color>& colours,
               const std::vector<png_byte>& alphas, png_bytepp rows) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, header.Width, header.Height, header.Bits, header.ColourType,
               header.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!colours.empty())
    png_set_PLTE(png, info, colours.data(), static_cast<int>(colours.size()));
  if (!alphas.empty())
    png_set_tRNS(png, info, alphas.data(), static_cast<int>(alphas.size()), nullptr);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool WriteBmp24(const std::string& fileName, const TImageRGBA& image) {
  if (!IsConsistent(image)) return false;
  const uint32_t stride = (static_cast<uint32_t>(image.Width) * 3 + 3) & ~3u;
  const uint32_t dataSize = stride * static_cast<uint32_t>(image.Height);
  std::vector<uint8_t> out;
  out.reserve(54 + dataSize);
  out.push_back('B');
  out.push_back('M');
  PutLE32(out, 54 + dataSize);  // file size
  PutLE32(out, 0);              // reserved
  PutLE32(out, 54);             // offset of the pixel data
  PutLE32(out, 40);             // info header size
  PutLE32(out, static_cast<uint32_t>(image.Width));
  PutLE32(out, static_cast<uint32_t>(image.Height));
  PutLE16(out, 1);   // planes
  PutLE16(out, 24);  // bits per pixel
  PutLE32(out, 0);   // no compression
  PutLE32(out, dataSize);
  PutLE32(out, 2835);  // 72 dpi
  PutLE32(out, 2835);
  PutLE32(out, 0);  // colours used
  PutLE32(out, 0);  // important colours
  for (int32_t row = image.Height - 1; row >= 0; --row) {
    for (int32_t x = 0; x < image.Width; ++x) PutBgr(out, PixelAt(image, x, row), 3);
    for (uint32_t pad = static_cast<uint32_t>(image.Width) * 3; pad < stride; ++pad) out.push_back(0);
  }
  return WriteBytes(fileName, out);
}

bool WriteTga(const std::string& fileName, const TImageRGBA& image, int bits, bool rle,
              bool topLeftOrigin, const std::string& idField) {
  if (!IsConsistent(image) || image.Width > 0xFFFF || image.Height > 0xFFFF) return false;
  if ((bits != 24 && bits != 32) || idField.size() > 255) return false;
  const int bytesPerPixel = bits / 8;
  std::vector<uint8_t> out;
  out.push_back(static_cast<uint8_t>(idField.size()));
  out.push_back(0);                         // no colour map
  out.push_back(rle ? 10 : 2);              // true colour, raw or run-length
  for (int i = 0; i < 5; ++i) out.push_back(0);  // colour map fields (no colour map)
  PutLE16(out, 0);                          // x origin
  PutLE16(out, 0);                          // y origin
  PutLE16(out, static_cast<uint32_t>(image.Width));
  PutLE16(out, static_cast<uint32_t>(image.Height));
  out.push_back(static_cast<uint8_t>(bits));
  // Descriptor: alpha bits in the low nibble, bit 5 set for a top row first image.
  out.push_back(static_cast<uint8_t>((bits == 32 ? 8 : 0) | (topLeftOrigin ? 0x20 : 0)));
  out.insert(out.end(), idField.begin(), idField.end());
  for (int32_t i = 0; i < image.Height; ++i) {
    const int32_t row = topLeftOrigin ? i : image.Height - 1 - i;
    if (rle) {
      PutRleRow(out, image, row, bytesPerPixel);
    } else {
      for (int32_t x = 0; x < image.Width; ++x) PutBgr(out, PixelAt(image, x, row), bytesPerPixel);
    }
  }
  return WriteBytes(fileName, out);
}

bool WriteJpeg(const std::string& fileName, const TImageRGBA& image, int quality, bool greyscale) {
  return WriteJpegAs(fileName, image, greyscale ? TJpegInk::Grey : TJpegInk::Rgb, quality);
}

bool WriteJpegAs(const std::string& fileName, const TImageRGBA& image, TJpegInk ink, int quality) {
  if (!IsConsistent(image) || quality < 1 || quality > 100) return false;
  std::vector<uint8_t> rows;
  rows.reserve(image.Pixels.size());
  for (size_t i = 0; i < image.Pixels.size(); i += 4) {
    const uint8_t* p = &image.Pixels[i];
    if (ink == TJpegInk::Grey) {
      // ITU-R BT.601 luma, as libjpeg uses for its own colour conversion.
      rows.push_back(static_cast<uint8_t>((299 * p[0] + 587 * p[1] + 114 * p[2] + 500) / 1000));
    } else if (ink == TJpegInk::Rgb) {
      rows.insert(rows.end(), p, p + 3);
    } else {
      // Black takes what all three share; the inks the rest. Adobe files store 255 - ink.
      const int most = std::max({p[0], p[1], p[2]});
      uint8_t inks[4] = {0, 0, 0, static_cast<uint8_t>(255 - most)};
      for (int c = 0; c < 3 && most > 0; ++c)
        inks[c] = static_cast<uint8_t>(((most - p[c]) * 255 + most / 2) / most);
      for (uint8_t value : inks)
        rows.push_back(ink == TJpegInk::Cmyk ? value : static_cast<uint8_t>(255 - value));
    }
  }
  unsigned char* compressed = nullptr;
  unsigned long compressedSize = 0;
  const bool ok = CompressJpeg(rows.data(), image.Width, image.Height, ink, quality, &compressed,
                               &compressedSize);
  std::vector<uint8_t> bytes;
  if (ok) bytes.assign(compressed, compressed + compressedSize);
  std::free(compressed);
  return ok && WriteBytes(fileName, bytes);
}

bool WriteBmp(const std::string& fileName, const TImageRGBA& image, const TBmpLayout& layout) {
  if (!IsConsistent(image)) return false;
  const uint32_t h = layout.HeaderSize;
  if (h != 40 && h != 52 && h != 56 && h != 108 && h != 124) return false;
  if ((layout.Bits != 24 && layout.Bits != 32) || (layout.BitFields && layout.Bits != 32)) return false;
  if (layout.ColoursUsed > 256) return false;
  const uint32_t bytesPerPixel = static_cast<uint32_t>(layout.Bits) / 8;
  const uint32_t stride = (static_cast<uint32_t>(image.Width) * bytesPerPixel + 3) & ~3u;
  const uint32_t dataSize = stride * static_cast<uint32_t>(image.Height);
  // A 40-byte header keeps its three masks right after it.
  const uint32_t masksAfter = layout.BitFields && h == 40 ? 12 : 0;
  const uint32_t offset = 14 + h + masksAfter + 4 * layout.ColoursUsed;
  const bool alpha = layout.BitFields && layout.AlphaMask && h >= 56;
  std::vector<uint8_t> out;
  out.reserve(offset + dataSize);
  out.push_back('B');
  out.push_back('M');
  PutLE32(out, offset + dataSize);  // file size
  PutLE32(out, 0);                  // reserved
  PutLE32(out, offset);             // offset of the pixel data
  PutLE32(out, h);
  PutLE32(out, static_cast<uint32_t>(image.Width));
  PutLE32(out, static_cast<uint32_t>(image.Height));
  PutLE16(out, 1);  // planes
  PutLE16(out, static_cast<uint32_t>(layout.Bits));
  PutLE32(out, layout.BitFields ? 3 : 0);
  PutLE32(out, dataSize);
  PutLE32(out, 2835);  // 72 dpi
  PutLE32(out, 2835);
  PutLE32(out, layout.ColoursUsed);
  PutLE32(out, 0);  // important colours
  // Masks (in the larger headers, or after a 40-byte one), then the rest of a V4/V5 header:
  // colour space "sRGB", end points, gamma, and for V5 intent and profile fields.
  if (layout.BitFields || h > 40) {
    const bool masks = layout.BitFields;
    PutLE32(out, masks ? 0x00FF0000u : 0);
    PutLE32(out, masks ? 0x0000FF00u : 0);
    PutLE32(out, masks ? 0x000000FFu : 0);
  }
  if (h >= 56) PutLE32(out, alpha ? 0xFF000000u : 0);
  if (h >= 108) {
    PutLE32(out, 0x73524742);  // 'sRGB'
    for (int i = 0; i < 12; ++i) PutLE32(out, 0);
  }
  if (h >= 124) {
    PutLE32(out, 4);  // LCS_GM_IMAGES
    for (int i = 0; i < 3; ++i) PutLE32(out, 0);
  }
  // Colour table entries (B G R 0), unused by a true-colour picture but present in the file.
  for (uint32_t i = 0; i < layout.ColoursUsed; ++i) {
    for (int c = 0; c < 3; ++c) out.push_back(static_cast<uint8_t>(0xA0 + i));
    out.push_back(0);
  }
  for (int32_t row = image.Height - 1; row >= 0; --row) {
    for (int32_t x = 0; x < image.Width; ++x) {
      const uint8_t* p = PixelAt(image, x, row);
      PutBgr(out, p, 3);
      if (bytesPerPixel == 4) out.push_back(alpha ? p[3] : 0);
    }
    for (uint32_t pad = static_cast<uint32_t>(image.Width) * bytesPerPixel; pad < stride; ++pad)
      out.push_back(0);
  }
  return WriteBytes(fileName, out);
}

bool WriteTgaRightToLeft(const std::string& fileName, const TImageRGBA& image, int bits, bool rle,
                         bool topLeftOrigin) {
  if (!IsConsistent(image)) return false;
  TImageRGBA mirrored = image;
  for (int32_t y = 0; y < image.Height; ++y)
    for (int32_t x = 0; x < image.Width; ++x)
      std::copy_n(PixelAt(image, image.Width - 1 - x, y), 4,
                  &mirrored.Pixels[(static_cast<size_t>(y) * image.Width + x) * 4]);
  if (!WriteTga(fileName, mirrored, bits, rle, topLeftOrigin)) return false;
  std::fstream file(fileName, std::ios::binary | std::ios::in | std::ios::out);
  const char descriptor = static_cast<char>((bits == 32 ? 8 : 0) | (topLeftOrigin ? 0x20 : 0) | 0x10);
  file.seekp(17);
  file.write(&descriptor, 1);
  return static_cast<bool>(file);
}

bool WritePng(const std::string& fileName, const TImageRGBA& image, TPngKind kind, int bits,
              bool interlaced) {
  const bool palette = kind == TPngKind::Palette || kind == TPngKind::PaletteAlpha;
  if (!IsConsistent(image) || (bits != 8 && bits != 16) || (palette && bits != 8)) return false;
  int colourType = PNG_COLOR_TYPE_RGB, channels = 3;
  switch (kind) {
    case TPngKind::Grey: colourType = PNG_COLOR_TYPE_GRAY, channels = 1; break;
    case TPngKind::GreyAlpha: colourType = PNG_COLOR_TYPE_GRAY_ALPHA, channels = 2; break;
    case TPngKind::Rgb: break;
    case TPngKind::Rgba: colourType = PNG_COLOR_TYPE_RGBA, channels = 4; break;
    case TPngKind::Palette:
    case TPngKind::PaletteAlpha: colourType = PNG_COLOR_TYPE_PALETTE, channels = 1; break;
  }
  // The samples of each row, and for palettes the table of distinct colours.
  std::map<uint32_t, uint8_t> indexOf;
  std::vector<png_color> colours;
  std::vector<png_byte> alphas;
  const size_t sampleBytes = static_cast<size_t>(bits / 8);
  std::vector<uint8_t> samples;
  samples.reserve(image.Pixels.size() * sampleBytes);
  auto put = [&](uint8_t value) {
    samples.push_back(value);
    if (bits == 16) samples.push_back(value);  // v * 257: reduces back to v exactly
  };
  for (size_t i = 0; i < image.Pixels.size(); i += 4) {
    const uint8_t* p = &image.Pixels[i];
    if (palette) {
      const uint32_t key = static_cast<uint32_t>(p[0]) | (p[1] << 8) | (p[2] << 16) |
                           (kind == TPngKind::PaletteAlpha ? static_cast<uint32_t>(p[3]) << 24 : 0);
      auto found = indexOf.find(key);
      if (found == indexOf.end()) {
        if (colours.size() == 256) return false;
        found = indexOf.emplace(key, static_cast<uint8_t>(colours.size())).first;
        colours.push_back(png_color{p[0], p[1], p[2]});
        alphas.push_back(p[3]);
      }
      samples.push_back(found->second);
      continue;
    }
    const int colour = channels >= 3 ? 3 : 1;
    for (int c = 0; c < colour; ++c) put(p[c]);
    if (channels == 2 || channels == 4) put(p[3]);
  }
  std::vector<png_bytep> rows(static_cast<size_t>(image.Height));
  const size_t stride = static_cast<size_t>(image.Width) * channels * sampleBytes;
  for (size_t y = 0; y < rows.size(); ++y) rows[y] = samples.data() + y * stride;
  std::FILE* file = std::fopen(fileName.c_str(), "wb");
  if (!file) return false;
  TPngHeader header{static_cast<png_uint_32>(image.Width), static_cast<png_uint_32>(image.Height),
                    bits, colourType, interlaced};
  const bool ok = EncodePng(file, header, colours, kind == TPngKind::PaletteAlpha ? alphas : std::vector<png_byte>(),
                            rows.data());
  return std::fclose(file) == 0 && ok;
}
