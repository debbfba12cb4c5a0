// JPEG decoding through libjpeg, from memory, into the texture layout of ImageReaders.h.
#include "engine/ImageReaders.h"

#include "engine/JpegErrorTrap.h"
#include "platform/Files.h"

#include <cstdlib>

namespace {

// libjpeg may use this much for its own work arrays (a progressive file keeps all its
// coefficients); beyond it the file is refused instead of exhausting memory.
constexpr long kJpegWorkMemory = 256L * 1024 * 1024;

// Decodes to 8-bit RGB, top row first, into a malloc'd buffer (null on failure or when a side
// exceeds the limit). Kept free of C++ objects with destructors: libjpeg errors leave through
// longjmp.
unsigned char* DecompressJpegRgb(const uint8_t* data, size_t size, int32_t* width,
                                 int32_t* height) {
  jpeg_decompress_struct info;
  TJpegErrorTrap trap;
  unsigned char* volatile pixels = nullptr;
  info.err = InstallJpegErrorTrap(trap);
  if (setjmp(trap.Jump)) {
    jpeg_destroy_decompress(&info);
    std::free(pixels);
    return nullptr;
  }
  jpeg_create_decompress(&info);
  info.mem->max_memory_to_use = kJpegWorkMemory;
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  if (info.image_width == 0 || info.image_height == 0 ||
      info.image_width > static_cast<JDIMENSION>(kMaxTextureSide) ||
      info.image_height > static_cast<JDIMENSION>(kMaxTextureSide)) {
    jpeg_destroy_decompress(&info);
    return nullptr;
  }
  info.out_color_space = JCS_RGB;  // greyscale files come out as R = G = B
  jpeg_start_decompress(&info);
  const size_t stride = static_cast<size_t>(info.output_width) * 3;
  pixels = static_cast<unsigned char*>(std::malloc(stride * info.output_height));
  if (!pixels) {
    jpeg_destroy_decompress(&info);
    return nullptr;
  }
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = pixels + stride * info.output_scanline;
    jpeg_read_scanlines(&info, &row, 1);
  }
  *width = static_cast<int32_t>(info.output_width);
  *height = static_cast<int32_t>(info.output_height);
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return pixels;
}

struct DecodedRgb {
  int32_t Width = 0, Height = 0;
  unsigned char* Pixels = nullptr;  // top row first
  DecodedRgb() = default;
  DecodedRgb(const DecodedRgb&) = delete;
  DecodedRgb& operator=(const DecodedRgb&) = delete;
  ~DecodedRgb() { std::free(Pixels); }
  bool Decode(const uint8_t* data, size_t size) {
    Pixels = DecompressJpegRgb(data, size, &Width, &Height);
    return Pixels != nullptr;
  }
  const unsigned char* Row(int32_t fromTop) const {
    return Pixels + static_cast<size_t>(fromTop) * Width * 3;
  }
};

bool JpegFailure(const std::string& name, TTextureImage& image, TLoadFailure& failure) {
  failure.Caption = "BMP Unit";
  failure.Text = "Couldn't load JPG - \"" + name + "\"";
  image = TTextureImage();
  return false;
}

// RGBA, bottom row first; alpha from the blue channel of `alpha` when given, else 255.
void BuildRgba(const DecodedRgb& colour, const DecodedRgb* alpha, TTextureImage& image) {
  image.Width = colour.Width;
  image.Height = colour.Height;
  image.BytesPerPixel = 4;
  image.Pixels.resize(static_cast<size_t>(colour.Width) * colour.Height * 4);
  uint8_t* out = image.Pixels.data();
  for (int32_t r = 0; r < colour.Height; ++r) {
    const unsigned char* in = colour.Row(colour.Height - 1 - r);
    const unsigned char* blue = alpha ? alpha->Row(colour.Height - 1 - r) + 2 : nullptr;
    for (int32_t x = 0; x < colour.Width; ++x, out += 4, in += 3) {
      out[0] = in[0];
      out[1] = in[1];
      out[2] = in[2];
      out[3] = blue ? blue[3 * x] : 255;
    }
  }
}

}  // namespace

bool DecodeJpeg(const std::string& name, const uint8_t* data, size_t size, TTextureImage& image,
                TLoadFailure& failure) {
  image = TTextureImage();
  DecodedRgb colour;
  if (!colour.Decode(data, size)) return JpegFailure(name, image, failure);
  BuildRgba(colour, nullptr, image);
  return true;
}

bool DecodeJpegPair(const std::string& colourName, const uint8_t* colourData, size_t colourSize,
                    const std::string& alphaName, const uint8_t* alphaData, size_t alphaSize,
                    TTextureImage& image, TLoadFailure& failure) {
  image = TTextureImage();
  DecodedRgb colour, alpha;
  if (!colour.Decode(colourData, colourSize)) return JpegFailure(colourName, image, failure);
  if (!alpha.Decode(alphaData, alphaSize)) return JpegFailure(alphaName, image, failure);
  // An alpha picture of another size has no pixel for every colour pixel: refused.
  if (alpha.Width != colour.Width || alpha.Height != colour.Height)
    return JpegFailure(alphaName, image, failure);
  BuildRgba(colour, &alpha, image);
  return true;
}

bool ReadJpegImage(const std::string& name, TTextureImage& image, TLoadFailure& failure) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(name, bytes)) return JpegFailure(name, image, failure);
  return DecodeJpeg(name, bytes.data(), bytes.size(), image, failure);
}

bool ReadJpegPairImage(const std::string& colourName, const std::string& alphaName,
                       TTextureImage& image, TLoadFailure& failure) {
  std::vector<uint8_t> colourBytes, alphaBytes;
  if (!ReadWholeFile(colourName, colourBytes)) return JpegFailure(colourName, image, failure);
  if (!ReadWholeFile(alphaName, alphaBytes)) {
    // The colour file is decoded first, so its own fault is the one reported.
    if (!DecodeJpeg(colourName, colourBytes.data(), colourBytes.size(), image, failure))
      return false;
    return JpegFailure(alphaName, image, failure);
  }
  return DecodeJpegPair(colourName, colourBytes.data(), colourBytes.size(), alphaName,
                        alphaBytes.data(), alphaBytes.size(), image, failure);
}
