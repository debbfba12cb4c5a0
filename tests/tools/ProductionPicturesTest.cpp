// The generated pictures of the sample production: each one must load through the player's own
// readers, with the sizes, channels and contents the script relies on.
#include "common/ProductionPictures.h"
#include "engine/ImageReaders.h"

#include "support/RunVorpane.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>

namespace {

// The pixel at (x, y) counted from the top, as the readers give rows bottom first.
const uint8_t* PixelFromTop(const TTextureImage& image, int32_t x, int32_t y) {
  const size_t row = static_cast<size_t>(image.Height - 1 - y);
  return &image.Pixels[(row * static_cast<size_t>(image.Width) + static_cast<size_t>(x)) *
                       static_cast<size_t>(image.BytesPerPixel)];
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool ReadAny(const std::string& path, TTextureImage& image) {
  TLoadFailure failure;
  const std::string ending = path.substr(path.size() - 4);
  if (ending == ".bmp") return ReadBmpImage(path, image, failure);
  if (ending == ".tga") return ReadTgaImage(path, image, failure);
  return ReadJpegImage(path, image, failure);
}

}  // namespace

TEST(ProductionPictures, EveryPictureLoadsWithTheSizeAndChannelsTheScriptNeeds) {
  const std::string folder = MakeTempFolder();
  std::string error;
  ASSERT_TRUE(WriteProductionPictures(folder, error)) << error;

  std::map<std::string, TTextureImage> images;
  for (const std::string& name : ProductionPictureNames()) {
    TTextureImage image;
    ASSERT_TRUE(ReadAny(folder + "/" + name, image)) << name;
    // Power-of-two sides upload without rescaling.
    EXPECT_EQ(image.Width & (image.Width - 1), 0) << name;
    EXPECT_EQ(image.Height & (image.Height - 1), 0) << name;
    images[name] = image;
  }
  // Every reader is used: BMP, JPEG, run-length 24-bit TGA and 32-bit TGA with alpha.
  EXPECT_EQ(FileBytes(folder + "/grid.tga")[2], 10);
  EXPECT_EQ(FileBytes(folder + "/grid.tga")[16], 24);
  EXPECT_EQ(FileBytes(folder + "/spark.tga")[16], 32);

  // The loading screen is 512 x 512 (the quad it is drawn on) with a bright title in the middle
  // and dark corners.
  const TTextureImage& loading = images["loading.bmp"];
  ASSERT_EQ(loading.Width, 512);
  ASSERT_EQ(loading.Height, 512);
  int brightInTitle = 0;
  for (int32_t x = 60; x < 450; ++x)
    for (int32_t y = 180; y < 260; ++y)
      if (PixelFromTop(loading, x, y)[0] > 200) ++brightInTitle;
  EXPECT_GT(brightInTitle, 2000);
  EXPECT_LT(PixelFromTop(loading, 2, 2)[0] + PixelFromTop(loading, 509, 509)[1], 60);

  // The sprite glows in the middle and fades to nothing at its edge, in colour and in alpha.
  const TTextureImage& spark = images["spark.tga"];
  ASSERT_EQ(spark.BytesPerPixel, 4);
  EXPECT_GT(PixelFromTop(spark, 32, 32)[3], 200);
  EXPECT_EQ(PixelFromTop(spark, 0, 0)[3], 0);
  EXPECT_EQ(PixelFromTop(spark, 0, 32)[0], 0);

  // The logo pair: alpha from the mask, which holds the title and clear space around it.
  TTextureImage logo;
  TLoadFailure failure;
  ASSERT_TRUE(ReadJpegPairImage(folder + "/logo.jpg", folder + "/logo_alpha.jpg", logo, failure));
  int opaque = 0, clear = 0;
  for (size_t i = 3; i < logo.Pixels.size(); i += 4) {
    if (logo.Pixels[i] > 230) ++opaque;
    if (logo.Pixels[i] < 10) ++clear;
  }
  EXPECT_GT(opaque, 5000);
  EXPECT_GT(clear, 50000);
  // The title fits in the picture: the columns at the left and right edges stay clear.
  for (int32_t y = 0; y < logo.Height; ++y) {
    EXPECT_LT(PixelFromTop(logo, 0, y)[3], 10);
    EXPECT_LT(PixelFromTop(logo, logo.Width - 1, y)[3], 10);
  }

  // Generation is deterministic: a second run writes the same bytes.
  const std::string again = MakeTempFolder();
  ASSERT_TRUE(WriteProductionPictures(again, error)) << error;
  for (const std::string& name : ProductionPictureNames())
    EXPECT_EQ(FileBytes(folder + "/" + name), FileBytes(again + "/" + name)) << name;
}
