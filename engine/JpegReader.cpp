// JPEG decoding through libjpeg(-turbo), from memory, into the texture layout of
// ImageReaders.h. Colour rows are decoded as R G B A (A = 255) straight into their place in the
// texture image, bottom row first, so nothing is copied and the image is the only large buffer.
// CMYK and YCCK rows arrive as C M Y K in the same four bytes and are converted in place.
#include "engine/ImageReaders.h"

#include "engine/JpegErrorTrap.h"
#include "platform/Files.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include <jerror.h>

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

// A decoded picture needs at least one bit of Huffman data per 8 x 8 block (its DC code);
// a file with far less than that cannot hold the picture its header claims. Arithmetic coding
// can go below a bit per block on flat pictures, so it gets a wider margin.
bool DataCanHoldPicture(const jpeg_decompress_struct& info, size_t size) {
  const uint64_t blocks = ((static_cast<uint64_t>(info.image_width) + 7) / 8) *
                          ((static_cast<uint64_t>(info.image_height) + 7) / 8);
  const uint64_t blocksPerBit = info.arith_code ? 256 : 16;
  return static_cast<uint64_t>(size) * 8 >= blocks / blocksPerBit;
}

// C, M, Y, K (Adobe files store them inverted) in place to R, G, B, 255.
void CmykToRgbx(unsigned char* row, JDIMENSION width, bool inverted) {
  for (JDIMENSION x = 0; x < width; ++x, row += 4) {
    unsigned c = row[0], m = row[1], y = row[2], k = row[3];
    if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
    row[0] = static_cast<unsigned char>((c * k + 127) / 255);
    row[1] = static_cast<unsigned char>((m * k + 127) / 255);
    row[2] = static_cast<unsigned char>((y * k + 127) / 255);
    row[3] = 255;
  }
}

// Decodes into 4-byte pixels (JCS_EXT_RGBA or JCS_EXT_RGBX; greyscale gives R = G = B, CMYK
// and YCCK are converted here). False, with the reason, when the data is not a JPEG libjpeg can
// decode, a side is 0 or above the limit, the data is far too small for the size, or the sink
// refuses the size. Kept free of C++ objects with destructors: libjpeg errors leave through
// longjmp. The decompressor is released on every way out.
bool DecompressJpeg(const uint8_t* data, size_t size, J_COLOR_SPACE space, JpegRowSink& sink,
                    char (&reason)[JMSG_LENGTH_MAX], char (&damage)[JMSG_LENGTH_MAX]) {
  jpeg_decompress_struct info;
  TJpegErrorTrap trap;
  info.err = InstallJpegErrorTrap(trap);
  reason[0] = 0;
  damage[0] = 0;
  if (setjmp(trap.Jump)) {
    if (trap.Manager.msg_code == JERR_BAD_PRECISION && info.data_precision == 12)
      std::snprintf(reason, JMSG_LENGTH_MAX, "12-bit JPEG is not supported");
    else
      (*info.err->format_message)(reinterpret_cast<j_common_ptr>(&info), reason);
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  info.mem->max_memory_to_use = kJpegWorkMemory;
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  const JDIMENSION limit = static_cast<JDIMENSION>(kMaxTextureSide);
  const char* refusal = nullptr;
  if (info.image_width == 0 || info.image_height == 0)
    refusal = "the picture has no pixels";
  else if (info.image_width > limit || info.image_height > limit)
    refusal = "the picture is larger than 16384 x 16384";
  else if (!DataCanHoldPicture(info, size))
    refusal = "the file is far too small for the picture size its header claims";
  if (refusal) {
    std::snprintf(reason, JMSG_LENGTH_MAX, "%s (%u x %u, %zu bytes)", refusal, info.image_width,
                  info.image_height, size);
    jpeg_destroy_decompress(&info);
    return false;
  }
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  const bool inverted = cmyk && info.saw_Adobe_marker;
  info.out_color_space = cmyk ? JCS_CMYK : space;
  jpeg_start_decompress(&info);
  bool accepted = false;
  try {
    accepted = sink.Accept(static_cast<int32_t>(info.output_width),
                           static_cast<int32_t>(info.output_height));
  } catch (const std::bad_alloc&) {
    std::snprintf(reason, JMSG_LENGTH_MAX, "not enough memory for a %u x %u picture",
                  info.output_width, info.output_height);
  }
  if (!accepted) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  while (info.output_scanline < info.output_height) {
    const int32_t fromTop = static_cast<int32_t>(info.output_scanline);
    JSAMPROW row = sink.Target(fromTop);
    if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
    if (cmyk) CmykToRgbx(row, info.output_width, inverted);
    sink.Done(fromTop);
  }
  jpeg_finish_decompress(&info);
  std::memcpy(damage, trap.FirstDamage, sizeof damage);
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
    row.resize(static_cast<size_t>(width) * 4);
    return true;
  }
  unsigned char* Target(int32_t) override { return row.data(); }
  void Done(int32_t fromTop) override {
    uint8_t* out = TextureRow(image, fromTop);
    const size_t width = static_cast<size_t>(image.Width);
    for (size_t x = 0; x < width; ++x) out[4 * x + 3] = row[4 * x + 2];
  }
  TTextureImage& image;
  std::vector<uint8_t> row;
};

bool JpegFailure(const std::string& name, TTextureImage& image, TLoadFailure& failure,
                 const char* reason = "") {
  failure.Caption = "BMP Unit";
  failure.Text = "Couldn't load JPG - \"" + name + "\"";
  failure.Reason = reason;
  image = TTextureImage();
  return false;
}

}  // namespace

bool IsJpegContent(const uint8_t* data, size_t size) {
  return size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

bool DecodeJpeg(const std::string& name, const uint8_t* data, size_t size, TTextureImage& image,
                TLoadFailure& failure) {
  image = TTextureImage();
  ColourSink colour(image);
  char reason[JMSG_LENGTH_MAX], damage[JMSG_LENGTH_MAX];
  if (!DecompressJpeg(data, size, JCS_EXT_RGBA, colour, reason, damage))
    return JpegFailure(name, image, failure, reason);
  image.Damage = damage;
  return true;
}

bool DecodeJpegPair(const std::string& colourName, const uint8_t* colourData, size_t colourSize,
                    const std::string& alphaName, const uint8_t* alphaData, size_t alphaSize,
                    TTextureImage& image, TLoadFailure& failure) {
  if (!DecodeJpeg(colourName, colourData, colourSize, image, failure)) return false;
  // An alpha picture of another size has no pixel for every colour pixel: refused.
  AlphaSink alpha(image);
  char reason[JMSG_LENGTH_MAX], damage[JMSG_LENGTH_MAX];
  if (!DecompressJpeg(alphaData, alphaSize, JCS_EXT_RGBX, alpha, reason, damage))
    return JpegFailure(alphaName, image, failure, reason[0] ? reason : "the alpha picture's size differs from the colour picture's");
  if (image.Damage.empty() && damage[0]) image.Damage = "alpha picture " + alphaName + ": " + damage;
  return true;
}

bool ReadJpegImage(const std::string& name, TTextureImage& image, TLoadFailure& failure,
                   const TReadContext& files) {
  std::vector<uint8_t> bytes;
  if (!files.ReadWholeFile(name, bytes)) return JpegFailure(name, image, failure);
  return DecodeJpeg(name, bytes.data(), bytes.size(), image, failure);
}

bool ReadJpegPairImage(const std::string& colourName, const std::string& alphaName,
                       TTextureImage& image, TLoadFailure& failure, const TReadContext& files) {
  std::vector<uint8_t> colourBytes, alphaBytes;
  if (!files.ReadWholeFile(colourName, colourBytes)) {
    JpegFailure(colourName, image, failure);
    failure.Text += files.NotFoundNote(colourName);
    return false;
  }
  if (!files.ReadWholeFile(alphaName, alphaBytes)) {
    // The colour file is decoded first, so its own fault is the one reported.
    if (!DecodeJpeg(colourName, colourBytes.data(), colourBytes.size(), image, failure))
      return false;
    JpegFailure(alphaName, image, failure);
    failure.Text += files.NotFoundNote(alphaName);
    return false;
  }
  return DecodeJpegPair(colourName, colourBytes.data(), colourBytes.size(), alphaName,
                        alphaBytes.data(), alphaBytes.size(), image, failure);
}
