// JPEG decoding through libjpeg, from memory, into the texture layout of ImageReaders.h. Rows
// go straight from libjpeg's one-row buffer into the RGBA result, so the largest allocation is
// the result itself.
#include "engine/ImageReaders.h"

#include "engine/JpegErrorTrap.h"
#include "platform/Files.h"

namespace {

// libjpeg may use this much for its own work arrays (a progressive file keeps all its
// coefficients); beyond it the file is refused instead of exhausting memory.
constexpr long kJpegWorkMemory = 256L * 1024 * 1024;

// Where decoded rows go. Accept sees the size first and may refuse it; Row then gets every
// row, top row first, as 8-bit RGB (greyscale files come out as R = G = B).
struct JpegRowSink {
  virtual ~JpegRowSink() = default;
  virtual bool Accept(int32_t width, int32_t height) = 0;
  virtual void Row(int32_t fromTop, const unsigned char* rgb) = 0;
};

// False when the data is not a JPEG libjpeg can decode, a side is 0 or above the limit, or the
// sink refuses the size. Kept free of C++ objects with destructors: libjpeg errors leave
// through longjmp.
bool DecompressJpeg(const uint8_t* data, size_t size, JpegRowSink& sink) {
  jpeg_decompress_struct info;
  TJpegErrorTrap trap;
  info.err = InstallJpegErrorTrap(trap);
  if (setjmp(trap.Jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  info.mem->max_memory_to_use = kJpegWorkMemory;
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  const JDIMENSION limit = static_cast<JDIMENSION>(kMaxTextureSide);
  if (info.output_width == 0 || info.output_height == 0 || info.output_width > limit ||
      info.output_height > limit || info.output_components != 3 ||
      !sink.Accept(static_cast<int32_t>(info.output_width), static_cast<int32_t>(info.output_height))) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  JSAMPARRAY row = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                             info.output_width * 3, 1);
  while (info.output_scanline < info.output_height) {
    const int32_t fromTop = static_cast<int32_t>(info.output_scanline);
    if (jpeg_read_scanlines(&info, row, 1) != 1) break;
    sink.Row(fromTop, row[0]);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

// The texture's pixel of image row `fromTop`, column 0 (texture rows are bottom row first).
uint8_t* TextureRow(TTextureImage& image, int32_t fromTop) {
  return &image.Pixels[static_cast<size_t>(image.Height - 1 - fromTop) * image.Width * 4];
}

// Colour into a new RGBA image, alpha 255.
struct ColourSink : JpegRowSink {
  explicit ColourSink(TTextureImage& target) : image(target) {}
  bool Accept(int32_t width, int32_t height) override {
    image.Width = width;
    image.Height = height;
    image.BytesPerPixel = 4;
    image.Pixels.assign(static_cast<size_t>(width) * height * 4, 255);
    return true;
  }
  void Row(int32_t fromTop, const unsigned char* rgb) override {
    uint8_t* out = TextureRow(image, fromTop);
    for (int32_t x = 0; x < image.Width; ++x, out += 4, rgb += 3) {
      out[0] = rgb[0];
      out[1] = rgb[1];
      out[2] = rgb[2];
    }
  }
  TTextureImage& image;
};

// The blue channel of a picture of the same size into the alpha of an RGBA image.
struct AlphaSink : JpegRowSink {
  explicit AlphaSink(TTextureImage& target) : image(target) {}
  bool Accept(int32_t width, int32_t height) override {
    return width == image.Width && height == image.Height;
  }
  void Row(int32_t fromTop, const unsigned char* rgb) override {
    uint8_t* out = TextureRow(image, fromTop);
    for (int32_t x = 0; x < image.Width; ++x) out[4 * x + 3] = rgb[3 * x + 2];
  }
  TTextureImage& image;
};

bool JpegFailure(const std::string& name, TTextureImage& image, TLoadFailure& failure) {
  failure.Caption = "BMP Unit";
  failure.Text = "Couldn't load JPG - \"" + name + "\"";
  image = TTextureImage();
  return false;
}

}  // namespace

bool DecodeJpeg(const std::string& name, const uint8_t* data, size_t size, TTextureImage& image,
                TLoadFailure& failure) {
  image = TTextureImage();
  ColourSink colour(image);
  if (!DecompressJpeg(data, size, colour)) return JpegFailure(name, image, failure);
  return true;
}

bool DecodeJpegPair(const std::string& colourName, const uint8_t* colourData, size_t colourSize,
                    const std::string& alphaName, const uint8_t* alphaData, size_t alphaSize,
                    TTextureImage& image, TLoadFailure& failure) {
  if (!DecodeJpeg(colourName, colourData, colourSize, image, failure)) return false;
  // An alpha picture of another size has no pixel for every colour pixel: refused.
  AlphaSink alpha(image);
  if (!DecompressJpeg(alphaData, alphaSize, alpha)) return JpegFailure(alphaName, image, failure);
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
