// PNG decoding through libpng, from memory, into the texture layout of ImageReaders.h: every
// colour type and bit depth is expanded or reduced to 8-bit R G B, with alpha (R G B A) when the
// file has an alpha channel or a tRNS chunk. Rows go straight into their place in the texture
// image, bottom row first.
#include "engine/ImageReaders.h"

#include "platform/Files.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace {

// Deflate cannot shrink data by more than about 1032 to 1; a file far smaller than that share
// of its pixels cannot hold them, and is refused before the image is allocated.
constexpr uint64_t kMostDeflateRatio = 1100;

// What the libpng callbacks share with the decoder.
struct PngInput {
  const uint8_t* Data = nullptr;
  size_t Size = 0, At = 0;
  char Reason[200] = {};
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
  PngInput& input = *static_cast<PngInput*>(png_get_io_ptr(png));
  if (count > input.Size - input.At) png_error(png, "the file ends inside a chunk");
  std::memcpy(out, input.Data + input.At, count);
  input.At += count;
}

void ErrorToReason(png_structp png, png_const_charp message) {
  PngInput& input = *static_cast<PngInput*>(png_get_error_ptr(png));
  std::snprintf(input.Reason, sizeof input.Reason, "%s", message);
  png_longjmp(png, 1);
}

void IgnoreWarning(png_structp, png_const_charp) {}

// The size and layout the transforms give, read from the header before any pixel.
struct PngShape {
  png_uint_32 Width = 0, Height = 0;
  int BytesPerPixel = 0;
};

// Reads the header, sets up the transforms and asks `prepare` for the row pointers (top row
// first), then decodes every pass into them. Kept free of C++ objects with destructors: libpng
// errors leave through longjmp. The read structures are released on every way out.
template <typename Prepare>
bool DecompressPng(PngInput& input, Prepare&& prepare) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &input, ErrorToReason, IgnoreWarning);
  if (!png) {
    std::snprintf(input.Reason, sizeof input.Reason, "libpng could not start");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    std::snprintf(input.Reason, sizeof input.Reason, "libpng could not start");
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &input, ReadFromMemory);
  png_set_user_limits(png, kMaxTextureSide, kMaxTextureSide);
  png_read_info(png, info);
  const int colourType = png_get_color_type(png, info);
  const bool alpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS);
  png_set_expand(png);  // palette to RGB, grey below 8 bits to 8, tRNS to alpha
  png_set_strip_16(png);
  if ((colourType & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);

  PngShape shape;
  shape.Width = png_get_image_width(png, info);
  shape.Height = png_get_image_height(png, info);
  shape.BytesPerPixel = alpha ? 4 : 3;
  const uint64_t rawBytes = static_cast<uint64_t>(shape.Height) *
                            (1 + static_cast<uint64_t>(shape.Width) * shape.BytesPerPixel);
  if (shape.Width == 0 || shape.Height == 0 || png_get_rowbytes(png, info) !=
                                                   static_cast<size_t>(shape.Width) * shape.BytesPerPixel) {
    std::snprintf(input.Reason, sizeof input.Reason, "unexpected PNG layout");
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  if (static_cast<uint64_t>(input.Size) * kMostDeflateRatio < rawBytes) {
    std::snprintf(input.Reason, sizeof input.Reason,
                  "the file is far too small for the picture size its header claims (%u x %u, %zu bytes)",
                  shape.Width, shape.Height, input.Size);
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_bytepp rows = prepare(shape);
  if (!rows) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_read_image(png, rows);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

bool PngFailure(const std::string& name, TTextureImage& image, TLoadFailure& failure,
                const char* reason) {
  failure.Caption = "PNG Unit";
  failure.Text = "Couldn't load PNG - \"" + name + "\"";
  failure.Reason = reason;
  image = TTextureImage();
  return false;
}

}  // namespace

bool IsPngContent(const uint8_t* data, size_t size) {
  static const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return size >= 8 && std::equal(kPngSignature, kPngSignature + 8, data);
}

bool DecodePng(const std::string& name, const uint8_t* data, size_t size, TTextureImage& image,
               TLoadFailure& failure) {
  image = TTextureImage();
  PngInput input;
  input.Data = data;
  input.Size = size;
  std::vector<png_bytep> rows;
  const bool decoded = DecompressPng(input, [&](const PngShape& shape) -> png_bytepp {
    try {
      image.Width = static_cast<int32_t>(shape.Width);
      image.Height = static_cast<int32_t>(shape.Height);
      image.BytesPerPixel = shape.BytesPerPixel;
      const size_t stride = static_cast<size_t>(shape.Width) * shape.BytesPerPixel;
      image.Pixels.resize(stride * shape.Height);
      rows.resize(shape.Height);
      for (size_t fromTop = 0; fromTop < shape.Height; ++fromTop)
        rows[fromTop] = image.Pixels.data() + (shape.Height - 1 - fromTop) * stride;
      return rows.data();
    } catch (const std::bad_alloc&) {
      std::snprintf(input.Reason, sizeof input.Reason, "not enough memory for a %u x %u picture",
                    shape.Width, shape.Height);
      return nullptr;
    }
  });
  if (!decoded) return PngFailure(name, image, failure, input.Reason);
  return true;
}

bool ReadPngImage(const std::string& name, TTextureImage& image, TLoadFailure& failure,
                  const TReadContext& files) {
  std::vector<uint8_t> bytes;
  if (!files.ReadWholeFile(name, bytes)) return PngFailure(name, image, failure, "the file cannot be read");
  return DecodePng(name, bytes.data(), bytes.size(), image, failure);
}
