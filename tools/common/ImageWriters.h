// Picture writers for the tests, the fuzz seeds and the sample production: 24-bit BMP, 24/32-bit
// TGA (raw or run-length, either row order, optional identification field) and JPEG (colour or
// greyscale, through libjpeg). Every writer takes the same in-memory picture: RGBA bytes, top row
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
// A baseline JPEG at the quality (1..100); greyscale writes one luminance channel.
bool WriteJpeg(const std::string& fileName, const TImageRGBA& image, int quality = 90,
               bool greyscale = false);
