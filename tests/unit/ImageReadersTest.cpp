// The texture file decoders on pictures made by the image writers and on hand-made bytes:
// layout (bottom row first, no row padding), TGA packets, JPEG colour/greyscale/alpha, and
// every malformed file giving its message without reading outside the data.
#include "engine/ImageReaders.h"
#include "support/TestSystem.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {


Decoded DecodeWritten(DecodeFn decode, const std::string& fileName) {
  return DecodeBytes(decode, ReadBytes(fileName), fileName);
}

void PutLE32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// An 18-byte TGA header followed by the data bytes.
std::vector<uint8_t> TgaBytes(uint8_t type, uint16_t width, uint16_t height, uint8_t depth,
                              const std::vector<uint8_t>& data, uint8_t descriptor = 0) {
  std::vector<uint8_t> bytes(18 + data.size(), 0);
  bytes[2] = type;
  bytes[12] = static_cast<uint8_t>(width);
  bytes[13] = static_cast<uint8_t>(width >> 8);
  bytes[14] = static_cast<uint8_t>(height);
  bytes[15] = static_cast<uint8_t>(height >> 8);
  bytes[16] = depth;
  bytes[17] = descriptor;
  std::copy(data.begin(), data.end(), bytes.begin() + 18);
  return bytes;
}

int Distance(uint8_t a, uint8_t b) { return std::abs(static_cast<int>(a) - static_cast<int>(b)); }

struct Case {
  const char* what;
  std::vector<uint8_t> bytes;
  const char* caption;
  std::string text;
};

void ExpectRefused(DecodeFn decode, const std::string& name, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    const Decoded d = DecodeBytes(decode, c.bytes, name);
    EXPECT_FALSE(d.Ok) << c.what;
    EXPECT_EQ(d.Failure.Caption, c.caption) << c.what;
    EXPECT_EQ(d.Failure.Text, c.text) << c.what;
    EXPECT_TRUE(d.Image.Pixels.empty()) << c.what;
  }
}

}  // namespace

TEST(ImageReaders, Bmp24AtWidthsFourAndFiveLosesRowPaddingAndSwapsToRgb) {
  const std::string folder = MakeTempFolder();
  for (int32_t width : {4, 5}) {
    const TImageRGBA picture = PatternImage(width, 3);
    const std::string file = folder + "/w" + std::to_string(width) + ".bmp";
    ASSERT_TRUE(WriteBmp24(file, picture));
    const Decoded d = DecodeWritten(DecodeBmp, file);
    ASSERT_TRUE(d.Ok) << d.Failure.Text;
    EXPECT_EQ(d.Image.Width, width);
    EXPECT_EQ(d.Image.Height, 3);
    EXPECT_EQ(d.Image.BytesPerPixel, 3);
    EXPECT_EQ(d.Image.Pixels, BottomRowFirst(picture, 3)) << "width " << width;
  }

  // A negative height means the rows are stored top row first: the result is still bottom first.
  const TImageRGBA picture = PatternImage(5, 3);
  ASSERT_TRUE(WriteBmp24(folder + "/down.bmp", picture));
  std::vector<uint8_t> bytes = ReadBytes(folder + "/down.bmp");
  PutLE32(bytes, 22, static_cast<uint32_t>(-3));
  std::vector<uint8_t> rows(bytes.begin() + 54, bytes.end());
  const size_t stride = 16;
  for (size_t r = 0; r < 3; ++r)
    std::copy(rows.begin() + (2 - r) * stride, rows.begin() + (3 - r) * stride, bytes.begin() + 54 + r * stride);
  const Decoded d = DecodeBytes(DecodeBmp, bytes, "down.bmp");
  ASSERT_TRUE(d.Ok) << d.Failure.Text;
  EXPECT_EQ(d.Image.Pixels, BottomRowFirst(picture, 3));
}

TEST(ImageReaders, TgaRawAndRunLengthAt24And32BitWithIdFieldAndEitherOrigin) {
  const std::string folder = MakeTempFolder();
  TImageRGBA picture = PatternImage(7, 4);
  // A run of equal pixels so the run-length file has run packets as well as raw ones.
  for (int x = 1; x < 6; ++x)
    std::copy(picture.Pixels.begin(), picture.Pixels.begin() + 4, picture.Pixels.begin() + 4 * (7 + x));
  for (int bits : {24, 32})
    for (bool rle : {false, true})
      for (bool topLeft : {false, true}) {
        const std::string file = folder + "/p.tga";
        ASSERT_TRUE(WriteTga(file, picture, bits, rle, topLeft, topLeft ? "made by a test" : ""));
        const Decoded d = DecodeWritten(DecodeTga, file);
        ASSERT_TRUE(d.Ok) << d.Failure.Text;
        EXPECT_EQ(d.Image.BytesPerPixel, bits / 8);
        EXPECT_EQ(d.Image.Pixels, BottomRowFirst(picture, bits / 8))
            << bits << " bit, rle " << rle << ", top-left " << topLeft;
      }
}

TEST(ImageReaders, TgaPacketsRepeatAndCopyPixels) {
  // 0x85: the next pixel 6 times; 0x02: the next 3 pixels as they are. Pixels are B, G, R.
  const std::vector<uint8_t> data = {0x85, 1, 2, 3, 0x02, 10, 20, 30, 40, 50, 60, 70, 80, 90};
  const Decoded d = DecodeBytes(DecodeTga, TgaBytes(10, 9, 1, 24, data), "packets.tga");
  ASSERT_TRUE(d.Ok) << d.Failure.Text;
  const std::vector<uint8_t> expected = {3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 1,
                                         30, 20, 10, 60, 50, 40, 90, 80, 70};
  EXPECT_EQ(d.Image.Pixels, expected);

  // 32 bit: the alpha byte goes with each pixel.
  const std::vector<uint8_t> data32 = {0x81, 1, 2, 3, 4, 0x00, 5, 6, 7, 8};
  const Decoded d32 = DecodeBytes(DecodeTga, TgaBytes(10, 3, 1, 32, data32), "packets.tga");
  ASSERT_TRUE(d32.Ok) << d32.Failure.Text;
  EXPECT_EQ(d32.Image.Pixels, (std::vector<uint8_t>{3, 2, 1, 4, 3, 2, 1, 4, 7, 6, 5, 8}));
}

TEST(ImageReaders, JpegColourGreyscaleAndAlphaPair) {
  const std::string folder = MakeTempFolder();
  // Top half red, bottom half blue: the first texture row must be blue.
  TImageRGBA picture = FlatImage(16, 16, 220, 30, 30);
  for (size_t i = 16 * 8 * 4; i < picture.Pixels.size(); i += 4) {
    picture.Pixels[i] = 30;
    picture.Pixels[i + 2] = 220;
  }
  ASSERT_TRUE(WriteJpeg(folder + "/c.jpg", picture, 100));
  Decoded d = DecodeWritten(DecodeJpeg, folder + "/c.jpg");
  ASSERT_TRUE(d.Ok) << d.Failure.Text;
  ASSERT_EQ(d.Image.Width, 16);
  ASSERT_EQ(d.Image.BytesPerPixel, 4);
  const uint8_t* bottom = &d.Image.Pixels[0];
  const uint8_t* top = &d.Image.Pixels[(15 * 16 + 3) * 4];
  EXPECT_LE(Distance(bottom[0], 30), 6);
  EXPECT_LE(Distance(bottom[2], 220), 6);
  EXPECT_LE(Distance(top[0], 220), 6);
  EXPECT_LE(Distance(top[2], 30), 6);
  for (size_t i = 3; i < d.Image.Pixels.size(); i += 4) ASSERT_EQ(d.Image.Pixels[i], 255);

  ASSERT_TRUE(WriteJpeg(folder + "/g.jpg", FlatImage(8, 8, 200, 100, 50), 100, true));
  d = DecodeWritten(DecodeJpeg, folder + "/g.jpg");
  ASSERT_TRUE(d.Ok) << d.Failure.Text;
  const uint8_t* grey = &d.Image.Pixels[20];
  EXPECT_EQ(grey[0], grey[1]);
  EXPECT_EQ(grey[1], grey[2]);
  EXPECT_LE(Distance(grey[0], 124), 3);  // BT.601 luma of (200, 100, 50)

  // Alpha is the blue channel of the alpha picture (pure blue: blue 255 while its luma is 29).
  ASSERT_TRUE(WriteJpeg(folder + "/a.jpg", FlatImage(16, 16, 0, 0, 255), 100));
  const std::vector<uint8_t> colour = ReadBytes(folder + "/c.jpg");
  const std::vector<uint8_t> alpha = ReadBytes(folder + "/a.jpg");
  TTextureImage pair;
  TLoadFailure failure;
  ASSERT_TRUE(DecodeJpegPair("c.jpg", colour.data(), colour.size(), "a.jpg", alpha.data(),
                             alpha.size(), pair, failure));
  EXPECT_EQ(pair.BytesPerPixel, 4);
  EXPECT_GE(pair.Pixels[3], 245);
  EXPECT_LE(Distance(pair.Pixels[2], 220), 6);  // the colour still comes from c.jpg
}

TEST(ImageReaders, MalformedFilesGiveTheirMessageAndNoImage) {
  const std::string folder = MakeTempFolder();
  ASSERT_TRUE(WriteBmp24(folder + "/ok.bmp", PatternImage(5, 4)));
  const std::vector<uint8_t> bmp = ReadBytes(folder + "/ok.bmp");
  const std::string onlyBmp = "Couldn't load \"x.bmp\". This kind of BMP is not supported.";
  std::vector<Case> bmpCases;
  bmpCases.push_back({"headers cut", std::vector<uint8_t>(bmp.begin(), bmp.begin() + 40), "BMP Unit",
                      "Error reading bitmap header"});
  bmpCases.push_back({"pixels cut", std::vector<uint8_t>(bmp.begin(), bmp.end() - 1), "BMP Unit",
                      "Error reading bitmap data"});
  auto changed = [&](size_t at, uint32_t value) {
    std::vector<uint8_t> bytes = bmp;
    PutLE32(bytes, at, value);
    return bytes;
  };
  // Without a usable pixel-data offset, the pixels follow the colour table the header counts.
  std::vector<uint8_t> noOffset = changed(10, 0);
  PutLE32(noOffset, 46, 0x40000000);
  bmpCases.push_back({"colours used past the end", noOffset, "BMP Unit", "Error reading palette"});
  PutLE32(noOffset, 46, 2);
  bmpCases.push_back({"colours used eat the pixels", noOffset, "BMP Unit", "Error reading bitmap data"});
  std::vector<uint8_t> bits2 = bmp;
  bits2[28] = 2;
  bmpCases.push_back({"2 bit", bits2, "BMP Unit", onlyBmp});
  std::vector<uint8_t> bits8 = bmp;
  bits8[28] = 8;
  bmpCases.push_back({"palette", bits8, "BMP Unit", "Error reading palette"});
  bmpCases.push_back({"compressed", changed(30, 1), "BMP Unit", onlyBmp});
  bmpCases.push_back({"OS/2 2.x header", changed(14, 64), "BMP Unit", onlyBmp});
  bmpCases.push_back({"header past the end", changed(14, 124), "BMP Unit", "Error reading bitmap header"});
  // 52-byte header with an alpha mask that would lie past it, and past the end of the file.
  std::vector<uint8_t> alphaMask(bmp.begin(), bmp.begin() + 66);
  PutLE32(alphaMask, 14, 52);
  PutLE32(alphaMask, 28, 32);
  PutLE32(alphaMask, 30, 6);
  bmpCases.push_back({"alpha mask past the end", alphaMask, "BMP Unit", "Error reading bitmap header"});
  bmpCases.push_back({"negative width", changed(18, static_cast<uint32_t>(-5)), "BMP Unit",
                      "Couldn't load \"x.bmp\". Bitmap has no pixels."});
  bmpCases.push_back({"zero height", changed(22, 0), "BMP Unit", "Couldn't load \"x.bmp\". Bitmap has no pixels."});
  bmpCases.push_back({"lowest height", changed(22, 0x80000000u), "BMP Unit",
                      "Couldn't load \"x.bmp\". Bitmap larger than 16384 x 16384."});
  bmpCases.push_back({"huge", changed(18, 20000), "BMP Unit",
                      "Couldn't load \"x.bmp\". Bitmap larger than 16384 x 16384."});
  std::vector<uint8_t> big = changed(18, 16000);
  PutLE32(big, 22, 16000);
  bmpCases.push_back({"size beyond the file", big, "BMP Unit", "Error reading bitmap data"});
  bmpCases.push_back({"image size field beyond the file", changed(34, 1000), "BMP Unit", "Error reading bitmap data"});
  ExpectRefused(DecodeBmp, "x.bmp", bmpCases);

  const std::string readError = "Couldn't read file \"x.tga\".";
  const std::vector<uint8_t> twoPixels = {1, 2, 3, 4, 5, 6};
  std::vector<Case> tgaCases;
  tgaCases.push_back({"header cut", std::vector<uint8_t>(10, 0), "TGA File Error", readError});
  const std::string onlyTga = "Couldn't load \"x.tga\". This kind of TGA is not supported.";
  tgaCases.push_back({"black and white type", TgaBytes(32, 2, 1, 24, twoPixels), "TGA File Error", onlyTga});
  tgaCases.push_back({"colour-mapped without a map", TgaBytes(1, 2, 1, 8, twoPixels), "TGA File Error",
                      "Couldn't load \"x.tga\". The TGA file is damaged."});
  std::vector<uint8_t> mapped = TgaBytes(2, 2, 1, 24, twoPixels);
  mapped[1] = 1;
  tgaCases.push_back({"colour map of 0-bit entries", mapped, "TGA File Error",
                      "Couldn't load \"x.tga\". The TGA file is damaged."});
  std::vector<uint8_t> outside = TgaBytes(1, 2, 1, 8, {0, 1});
  outside[1] = 1, outside[5] = 1, outside[7] = 24;  // one 24-bit entry, so index 1 lies outside
  outside.insert(outside.begin() + 18, {9, 9, 9});
  tgaCases.push_back({"colour index outside the map", outside, "TGA File Error",
                      "Couldn't load \"x.tga\". The TGA file is damaged."});
  tgaCases.push_back({"8-bit true colour", TgaBytes(2, 2, 1, 8, twoPixels), "TGA File Error", onlyTga});
  tgaCases.push_back({"raw pixels cut", TgaBytes(2, 3, 1, 24, twoPixels), "TGA File Error", readError});
  std::vector<uint8_t> longId = TgaBytes(2, 1, 1, 24, {1, 2, 3});
  longId[0] = 200;
  tgaCases.push_back({"id field past the end", longId, "TGA File Error", readError});
  tgaCases.push_back({"packets end early", TgaBytes(10, 9, 1, 24, {0x85, 1, 2, 3, 0x02, 1, 2, 3}),
                      "TGA File Error", readError});
  tgaCases.push_back({"run past the image", TgaBytes(10, 4, 1, 24, {0x85, 1, 2, 3}), "TGA File Error",
                      "Couldn't load \"x.tga\". Run-length packets run past the image."});
  tgaCases.push_back({"raw packet past the image", TgaBytes(10, 1, 1, 24, {0x01, 1, 2, 3, 4, 5, 6}),
                      "TGA File Error", "Couldn't load \"x.tga\". Run-length packets run past the image."});
  tgaCases.push_back({"zero width", TgaBytes(2, 0, 1, 24, twoPixels), "TGA File Error",
                      "Couldn't load \"x.tga\". Image has no pixels."});
  tgaCases.push_back({"huge", TgaBytes(10, 20000, 2, 24, {0xFF, 1, 2, 3}), "TGA File Error",
                      "Couldn't load \"x.tga\". Image larger than 16384 x 16384."});
  tgaCases.push_back({"run-length size beyond the data", TgaBytes(10, 16384, 16384, 32, {0xFF, 1, 2, 3, 4}),
                      "TGA File Error", readError});
  ExpectRefused(DecodeTga, "x.tga", tgaCases);

  ASSERT_TRUE(WriteJpeg(folder + "/ok.jpg", PatternImage(16, 8)));
  const std::vector<uint8_t> jpeg = ReadBytes(folder + "/ok.jpg");
  for (const std::vector<uint8_t>& bytes :
       {std::vector<uint8_t>(), std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + 20),
        std::vector<uint8_t>(bmp)}) {
    const Decoded d = DecodeBytes(DecodeJpeg, bytes, "x.jpg");
    EXPECT_FALSE(d.Ok);
    EXPECT_EQ(d.Failure.Caption, "BMP Unit");
    EXPECT_EQ(d.Failure.Text, "Couldn't load JPG - \"x.jpg\"");
  }
  // A pair whose alpha picture has another size is refused, naming the alpha file.
  ASSERT_TRUE(WriteJpeg(folder + "/small.jpg", PatternImage(8, 8)));
  const std::vector<uint8_t> small = ReadBytes(folder + "/small.jpg");
  TTextureImage pair;
  TLoadFailure failure;
  EXPECT_FALSE(DecodeJpegPair("ok.jpg", jpeg.data(), jpeg.size(), "small.jpg", small.data(),
                              small.size(), pair, failure));
  EXPECT_EQ(failure.Text, "Couldn't load JPG - \"small.jpg\"");
  EXPECT_TRUE(pair.Pixels.empty());
}

TEST(ImageReaders, FilesThatCannotBeReadGiveTheLoadersMessages) {
  const std::string folder = MakeTempFolder();
  TTextureImage image;
  TLoadFailure failure;
  EXPECT_FALSE(ReadBmpImage(folder + "/none.bmp", image, failure));
  EXPECT_EQ(failure.Caption, "BMP Unit");
  EXPECT_EQ(failure.Text, "Error opening " + folder + "/none.bmp");

  EXPECT_FALSE(ReadTgaImage(folder + "/none.tga", image, failure));
  EXPECT_EQ(failure.Caption, "TGA Texture");
  EXPECT_EQ(failure.Text, "File not found  - " + folder + "/none.tga");

  // It exists but cannot be read as a file.
  const std::string directory = folder + "/dir.tga";
  ASSERT_EQ(system(("mkdir " + directory).c_str()), 0);
  EXPECT_FALSE(ReadTgaImage(directory, image, failure));
  EXPECT_EQ(failure.Caption, "TGA File Error");
  EXPECT_EQ(failure.Text, "Couldn't read file \"" + directory + "\".");

  ASSERT_TRUE(WriteJpeg(folder + "/c.jpg", PatternImage(8, 8)));
  EXPECT_FALSE(ReadJpegPairImage(folder + "/c.jpg", folder + "/none.jpg", image, failure));
  EXPECT_EQ(failure.Text, "Couldn't load JPG - \"" + folder + "/none.jpg\"");
  EXPECT_FALSE(ReadJpegPairImage(folder + "/none.jpg", folder + "/c.jpg", image, failure));
  EXPECT_EQ(failure.Text, "Couldn't load JPG - \"" + folder + "/none.jpg\"");
}
