// Decoders for the texture files: BMP, TGA (raw and run-length), JPEG
// (colour, greyscale, CMYK/YCCK, and a colour/alpha pair) and PNG. They turn file bytes into
// pixels ready for UploadTexture and need no OpenGL, so they can be tested and fuzzed on their
// own. The picture format table (ImageReaders.cpp) has one row per format: its name, endings,
// signature check, decoder and file reader; each decoder has a file of its own. A new format is
// a value of TPictureFormat, its row, and its decoder.
//
// Contract: every decoder checks sizes and counts against the bytes it has before it reads or
// allocates; it never reads or writes outside a buffer. On failure it returns false and fills
// the message box text and caption the loader shows, and, where the text alone does not say
// why, a one-line reason for stderr; the image is then left empty. Images larger than
// kMaxTextureSide on either side are refused.
#pragma once
#include "platform/ReadContext.h"

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
  // Why part of the picture was filled in by the decoder (a JPEG cut short or with corrupt
  // data decodes, grey below the damage); empty for a clean picture.
  std::string Damage;
};

// What a loader shows when it fails.
struct TLoadFailure {
  std::string Caption;
  std::string Text;
  std::string Reason;  // why, for stderr after the message (may be empty)
};

// The picture formats the readers know.
enum class TPictureFormat { Unknown, Bmp, Tga, Jpeg, Png };

// The format a file name asks for by its ending, in any letter case: .bmp, .tga, .png, and
// .jpg, .jpeg, .jpe, .jfif for JPEG. Unknown for any other ending.
TPictureFormat PictureFormatOfName(const std::string& name);
// The format the first bytes prove (BMP "BM" with a known header size, JPEG FF D8 FF, the PNG
// signature); Unknown when they prove nothing (TGA has no signature).
TPictureFormat PictureFormatOfContent(const uint8_t* data, size_t size);
// "BMP", "TGA", "JPEG", "PNG" (or "unknown").
const char* PictureFormatLabel(TPictureFormat format);

// The signature checks of PictureFormatOfContent, one per format that has a signature.
bool IsBmpContent(const uint8_t* data, size_t size);
bool IsJpegContent(const uint8_t* data, size_t size);
bool IsPngContent(const uint8_t* data, size_t size);

// A BMP with a 12 (OS/2 core), 40, 52, 56, 108 or 124 byte information header: 1, 4 and 8 bit
// with a colour table (raw, RLE8, RLE4), 16 bit (5-5-5 or bit fields), 24 bit, 32 bit (plain
// or bit fields). Pixels start at the file header's pixel-data offset; rows lose their
// padding, a negative height (top row first) is turned around. Gives RGB, or RGBA when a
// bit-field file has an alpha mask. Damage is refused: runs past a row or the picture, an index
// past the colour table, bit fields that are zero, overlap or have gaps.
bool DecodeBmp(const std::string& name, const uint8_t* data, size_t size, TTextureImage& image,
               TLoadFailure& failure);
// A TGA, raw or run-length: colour-mapped (8 or 16-bit indexes into 15/16/24/32-bit entries),
// true colour (15/16, 24, 32 bit) or greyscale (8 bit, or 16 with alpha); skips the
// identification field and honours the top-to-bottom and right-to-left bits. Gives RGBA for
// 32-bit colours, 16-bit ones whose descriptor counts an alpha bit, and grey with alpha; RGB
// otherwise. An index outside the colour map is refused as damage.
bool DecodeTga(const std::string& name, const uint8_t* data, size_t size, TTextureImage& image,
               TLoadFailure& failure);
// A JPEG file (greyscale gives R = G = B, CMYK and YCCK are turned into RGB). Gives RGBA with
// A = 255. Corrupt or missing data decodes as far as it can and sets Damage to libjpeg's first
// complaint. 12-bit files, and files whose data is far too small for the size their header
// claims, are refused before anything is decoded.
bool DecodeJpeg(const std::string& name, const uint8_t* data, size_t size, TTextureImage& image,
                TLoadFailure& failure);
// Colour from one JPEG, alpha from the blue channel of another of the same size. Gives RGBA.
bool DecodeJpegPair(const std::string& colourName, const uint8_t* colourData, size_t colourSize,
                    const std::string& alphaName, const uint8_t* alphaData, size_t alphaSize,
                    TTextureImage& image, TLoadFailure& failure);
// A PNG of any colour type (grey, grey+alpha, RGB, RGBA, palette with or without tRNS), 8 or 16
// bits per channel (16 becomes 8), interlaced or not. Gives RGB, or RGBA when it has alpha.
bool DecodePng(const std::string& name, const uint8_t* data, size_t size, TTextureImage& image,
               TLoadFailure& failure);
// "NAME: picture is damaged (decoded with errors: ...)" for a picture with Damage, else empty.
std::string PictureDamageLine(const std::string& name, const TTextureImage& image);
// The decoder of a format (Unknown is refused with the unknown-type message).
bool DecodePicture(TPictureFormat format, const std::string& name, const uint8_t* data,
                   size_t size, TTextureImage& image, TLoadFailure& failure);

// The same from files (names resolved by `files` as every file the program opens). A file that cannot be
// read gives its loader's message: BMP "Error opening <name>", TGA "File not found  - <name>"
// when it does not exist and "Couldn't read file" when it cannot be read, JPEG "Couldn't load
// JPG", PNG "Couldn't load PNG".
bool ReadBmpImage(const std::string& name, TTextureImage& image, TLoadFailure& failure,
                  const TReadContext& files = TReadContext());
bool ReadTgaImage(const std::string& name, TTextureImage& image, TLoadFailure& failure,
                  const TReadContext& files = TReadContext());
bool ReadJpegImage(const std::string& name, TTextureImage& image, TLoadFailure& failure,
                   const TReadContext& files = TReadContext());
bool ReadPngImage(const std::string& name, TTextureImage& image, TLoadFailure& failure,
                  const TReadContext& files = TReadContext());
bool ReadJpegPairImage(const std::string& colourName, const std::string& alphaName,
                       TTextureImage& image, TLoadFailure& failure,
                       const TReadContext& files = TReadContext());
// A picture file as the texture loader reads it: by the reader its name's ending picks, or by
// its content when the first bytes prove another format (then `note` says the name misleads).
// A file that cannot be read gets the message of the loader its name picks.
bool ReadPictureFile(const std::string& name, TTextureImage& image, TLoadFailure& failure,
                     std::string& note, const TReadContext& files = TReadContext());
