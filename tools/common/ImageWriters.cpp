#include "common/ImageWriters.h"

#include "engine/JpegErrorTrap.h"

#include <cstdlib>
#include <fstream>

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
bool CompressJpeg(const uint8_t* rows, int32_t width, int32_t height, int components,
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
  info.input_components = components;
  info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
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
  if (!IsConsistent(image) || quality < 1 || quality > 100) return false;
  const int components = greyscale ? 1 : 3;
  std::vector<uint8_t> rows;
  rows.reserve(static_cast<size_t>(image.Width) * image.Height * components);
  for (size_t i = 0; i < image.Pixels.size(); i += 4) {
    const uint8_t* p = &image.Pixels[i];
    if (greyscale) {
      // ITU-R BT.601 luma, as libjpeg uses for its own colour conversion.
      rows.push_back(static_cast<uint8_t>((299 * p[0] + 587 * p[1] + 114 * p[2] + 500) / 1000));
    } else {
      rows.insert(rows.end(), p, p + 3);
    }
  }
  unsigned char* compressed = nullptr;
  unsigned long compressedSize = 0;
  const bool ok = CompressJpeg(rows.data(), image.Width, image.Height, components, quality,
                               &compressed, &compressedSize);
  std::vector<uint8_t> bytes;
  if (ok) bytes.assign(compressed, compressed + compressedSize);
  std::free(compressed);
  return ok && WriteBytes(fileName, bytes);
}
