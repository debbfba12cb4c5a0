// JPEG decoding through libjpeg(-turbo), from memory, into the texture layout of
// ImageReaders.h. Colour rows are decoded as R G B A (A = 255) straight into their place in the
// texture image, bottom row first, so nothing is copied and the image is the only large buffer.
#include "engine/ImageReaders.h"

#include "engine/JpegErrorTrap.h"
#include "platform/Files.h"

#include <vector>

namespace {

// libjpeg may use this much for its own work arrays (a progressive file keeps all its
// coefficients); beyond it the file is refused instead of exhausting memory.
constexpr long kJpegWorkMemory = 256L * 1024 * 1024;

// Where decoded rows go. Accept sees the size first and may refuse it; Target gives the place
// for each row (top row first) and Done follows each row.
struct JpegRowSink {
  virtual ~JpegRowSink() = default;
  virtual bool Accept(int32_t width, int32_t height) = 0;
  virtual unsigned char* Target(int32_t fromTop) = 0;
  virtual void Done(int32_t /*fromTop*/) {}
};

// Decodes into `space` (JCS_EXT_RGBA or JCS_RGB; greyscale files give R = G = B). False when
// the data is not a JPEG libjpeg can decode, a side is 0 or above the limit, or the sink
// refuses the size. Kept free of C++ objects with destructors: libjpeg errors leave through
// longjmp.
bool DecompressJpeg(const uint8_t* data, size_t size, J_COLOR_SPACE space, JpegRowSink& sink) {
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
  const JDIMENSION limit = static_cast<JDIMENSION>(kMaxTextureSide);
  if (info.image_width == 0 || info.image_height == 0 || info.image_width > limit ||
      info.image_height > limit) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  info.out_color_space = space;
  jpeg_start_decompress(&info);
  if (!sink.Accept(static_cast<int32_t>(info.output_width), static_cast<int32_t>(info.output_height))) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  while (info.output_scanline < info.output_height) {
    const int32_t fromTop = static_cast<int32_t>(info.output_scanline);
    JSAMPROW row = sink.Target(fromTop);
    if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
    sink.Done(fromTop);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

// Texture row of image row `fromTop` (texture rows are bottom row first).
uint8_t* TextureRow(TTextureImage& image, int32_t fromTop) {
  return &image.Pixels[static_cast<size_t>(image.Height - 1 - fromTop) * image.Width * 4];
}

// Colour (R G B A, alpha 255 from the decoder) straight into a new image.
struct ColourSink : JpegRowSink {
  explicit ColourSink(TTextureImage& target) : image(target) {}
  bool Accept(int32_t width, int32_t height) override {
    image.Width = width;
    image.Height = height;
    image.BytesPerPixel = 4;
    image.Pixels.resize(static_cast<size_t>(width) * height * 4);
    return true;
  }
  unsigned char* Target(int32_t fromTop) override { return TextureRow(image, fromTop); }
  TTextureImage& image;
};

// The blue channel of a picture of the same size into the alpha of an RGBA image.
struct AlphaSink : JpegRowSink {
  explicit AlphaSink(TTextureImage& target) : image(target) {}
  bool Accept(int32_t width, int32_t height) override {
    if (width != image.Width || height != image.Height) return false;
    row.resize(static_cast<size_t>(width) * 3);
    return true;
  }
  unsigned char* Target(int32_t) override { return row.data(); }
  void Done(int32_t fromTop) override {
    uint8_t* out = TextureRow(image, fromTop);
    const size_t width = static_cast<size_t>(image.Width);
    for (size_t x = 0; x < width; ++x) out[4 * x + 3] = row[3 * x + 2];
  }
  TTextureImage& image;
  std::vector<uint8_t> row;
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
  if (!DecompressJpeg(data, size, JCS_EXT_RGBA, colour)) return JpegFailure(name, image, failure);
  return true;
}

bool DecodeJpegPair(const std::string& colourName, const uint8_t* colourData, size_t colourSize,
                    const std::string& alphaName, const uint8_t* alphaData, size_t alphaSize,
                    TTextureImage& image, TLoadFailure& failure) {
  if (!DecodeJpeg(colourName, colourData, colourSize, image, failure)) return false;
  // An alpha picture of another size has no pixel for every colour pixel: refused.
  AlphaSink alpha(image);
  if (!DecompressJpeg(alphaData, alphaSize, JCS_RGB, alpha)) return JpegFailure(alphaName, image, failure);
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
