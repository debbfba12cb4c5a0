// Small pictures for the image tests: a pattern in which every pixel differs from its
// neighbours, the texture layout (bottom row first) the readers are expected to give, and a
// decoder's whole result from bytes.
#pragma once
#include "common/ImageWriters.h"
#include "engine/ImageReaders.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// Pixel (x, y), y counted from the top, has its own colour and alpha.
inline TImageRGBA PatternImage(int32_t width, int32_t height) {
  TImageRGBA image;
  image.Width = width;
  image.Height = height;
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      image.Pixels.push_back(static_cast<uint8_t>(40 * x + y));
      image.Pixels.push_back(static_cast<uint8_t>(50 * y + x + 7));
      image.Pixels.push_back(static_cast<uint8_t>(17 * x + 3 * y + 90));
      image.Pixels.push_back(static_cast<uint8_t>(255 - 11 * x - 5 * y));
    }
  return image;
}

// One colour everywhere.
inline TImageRGBA FlatImage(int32_t width, int32_t height, uint8_t r, uint8_t g, uint8_t b) {
  TImageRGBA image;
  image.Width = width;
  image.Height = height;
  for (int32_t i = 0; i < width * height; ++i) image.Pixels.insert(image.Pixels.end(), {r, g, b, 255});
  return image;
}

// The picture as the texture readers give it: bottom row first, 3 (RGB) or 4 (RGBA) bytes.
inline std::vector<uint8_t> BottomRowFirst(const TImageRGBA& image, int bytesPerPixel) {
  std::vector<uint8_t> pixels;
  for (int32_t y = image.Height - 1; y >= 0; --y)
    for (int32_t x = 0; x < image.Width; ++x)
      for (int c = 0; c < bytesPerPixel; ++c)
        pixels.push_back(image.Pixels[(static_cast<size_t>(y) * image.Width + x) * 4 + c]);
  return pixels;
}

inline std::vector<uint8_t> ReadBytes(const std::string& fileName) {
  std::ifstream file(fileName, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline void WriteBytesTo(const std::string& fileName, const std::vector<uint8_t>& bytes) {
  std::ofstream file(fileName, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// What a decoder gave for some bytes.
struct Decoded {
  bool Ok = false;
  TTextureImage Image;
  TLoadFailure Failure;
};

using DecodeFn = bool (*)(const std::string&, const uint8_t*, size_t, TTextureImage&, TLoadFailure&);

inline Decoded DecodeBytes(DecodeFn decode, const std::vector<uint8_t>& bytes, const std::string& name) {
  Decoded result;
  result.Ok = decode(name, bytes.data(), bytes.size(), result.Image, result.Failure);
  return result;
}
