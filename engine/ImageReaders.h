// Decoders for the texture files: 24-bit BMP, 24/32-bit TGA (raw and run-length) and JPEG
// (colour, greyscale, and a colour/alpha pair). They turn file bytes into pixels ready for
// UploadTexture and need no OpenGL, so they can be tested and fuzzed on their own.
//
// Contract: every decoder checks sizes and counts against the bytes it has before it reads or
// allocates; it never reads or writes outside a buffer. On failure it returns false and fills
// the message box text and caption the loader shows; the image is then left empty. Images
// larger than kMaxTextureSide on either side are refused.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr int32_t kMaxTextureSide = 16384;

// Pixels for UploadTexture: tightly packed rows, bottom row first, R G B or R G B A.
struct TTextureImage {
  int32_t Width = 0, Height = 0;
  int32_t BytesPerPixel = 0;  // 3 (RGB) or 4 (RGBA)
  std::vector<uint8_t> Pixels;
};

// What a loader shows when it fails.
struct TLoadFailure {
  std::string Caption;
  std::string Text;
};

// A 24-bit uncompressed BMP; rows lose their padding, a negative height (top row first) is
// turned around. Gives RGB.
bool DecodeBmp(const std::string& name, const uint8_t* data, size_t size, TTextureImage& image,
               TLoadFailure& failure);
// A TGA of type 2 or 10, 24 or 32 bit; skips the identification field and honours the
// top-left origin bit. Gives RGB for 24 bit, RGBA for 32 bit.
bool DecodeTga(const std::string& name, const uint8_t* data, size_t size, TTextureImage& image,
               TLoadFailure& failure);
// A JPEG file (greyscale gives R = G = B). Gives RGBA with A = 255.
bool DecodeJpeg(const std::string& name, const uint8_t* data, size_t size, TTextureImage& image,
                TLoadFailure& failure);
// Colour from one JPEG, alpha from the blue channel of another of the same size. Gives RGBA.
bool DecodeJpegPair(const std::string& colourName, const uint8_t* colourData, size_t colourSize,
                    const std::string& alphaName, const uint8_t* alphaData, size_t alphaSize,
                    TTextureImage& image, TLoadFailure& failure);

// The same from files (names resolved as every file the program opens). A file that cannot be
// read gives its loader's message: BMP "Error opening <name>", TGA "File not found  - <name>"
// when it does not exist and "Couldn't read file" when it cannot be read, JPEG "Couldn't load
// JPG".
bool ReadBmpImage(const std::string& name, TTextureImage& image, TLoadFailure& failure);
bool ReadTgaImage(const std::string& name, TTextureImage& image, TLoadFailure& failure);
bool ReadJpegImage(const std::string& name, TTextureImage& image, TLoadFailure& failure);
bool ReadJpegPairImage(const std::string& colourName, const std::string& alphaName,
                       TTextureImage& image, TLoadFailure& failure);
