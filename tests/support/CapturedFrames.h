// Reading the PNG frames a capture writes, for the end-to-end tests.
#pragma once
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct TFrame {
  int Width = 0, Height = 0;
  std::vector<uint8_t> Rgb;  // rows top first
  // The pixel at (x, y) with y counted from the bottom, as the effects place things.
  const uint8_t* At(int x, int y) const {
    return &Rgb[(static_cast<size_t>(Height - 1 - y) * static_cast<size_t>(Width) +
                 static_cast<size_t>(x)) * 3];
  }
};

// Reads a PNG as 8-bit RGB. False when it cannot be read.
inline bool ReadPng(const std::string& fileName, TFrame& frame) {
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, fileName.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  frame.Width = static_cast<int>(image.width);
  frame.Height = static_cast<int>(image.height);
  frame.Rgb.resize(PNG_IMAGE_SIZE(image));
  return png_image_finish_read(&image, nullptr, frame.Rgb.data(), 0, nullptr) != 0;
}

// Writes 8-bit RGB as a PNG (well compressed, for files kept in the tree). False on failure.
inline bool WritePng(const std::string& fileName, const TFrame& frame) {
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(frame.Width);
  image.height = static_cast<png_uint_32>(frame.Height);
  image.format = PNG_FORMAT_RGB;
  return png_image_write_to_file(&image, fileName.c_str(), 0, frame.Rgb.data(), 0, nullptr) != 0;
}

// folder/frame_NNNNNN.png, the name a capture gives frame n.
inline std::string FrameName(const std::string& folder, int index) {
  char name[32];
  std::snprintf(name, sizeof name, "/frame_%06d.png", index);
  return folder + name;
}
