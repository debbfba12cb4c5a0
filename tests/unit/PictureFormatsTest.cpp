// Pictures as common tools write them: BMP and TGA files made by ImageMagick and Pillow against
// their own PNG of the same picture, BMP information headers of every size with the pixels
// where the file header says, 32-bit BMP, right-to-left TGA, CMYK/YCCK and 12-bit JPEG, JPEG
// headers claiming more than their data can hold, PNG of every colour type, and the format a
// name or the first bytes select.
#include "engine/ImageReaders.h"
#include "support/TestSystem.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {


void PutLE32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

int Distance(uint8_t a, uint8_t b) { return std::abs(static_cast<int>(a) - static_cast<int>(b)); }

// Four flat quarters, so that lossy coding keeps each colour.
TImageRGBA Quarters(int32_t width, int32_t height) {
  TImageRGBA image = FlatImage(width, height, 0, 0, 0);
  const uint8_t colours[4][3] = {{220, 40, 40}, {40, 200, 60}, {30, 60, 210}, {230, 220, 200}};
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const uint8_t* c = colours[(y >= height / 2) * 2 + (x >= width / 2)];
      std::copy(c, c + 3, &image.Pixels[(static_cast<size_t>(y) * width + x) * 4]);
    }
  return image;
}

// The centre colour of each quarter of a decoded (bottom row first) image is within `tolerance`.
void ExpectQuarters(const TTextureImage& image, const TImageRGBA& picture, int tolerance,
                    const std::string& what) {
  for (int32_t y : {picture.Height / 4, picture.Height * 3 / 4})
    for (int32_t x : {picture.Width / 4, picture.Width * 3 / 4}) {
      const uint8_t* want = &picture.Pixels[(static_cast<size_t>(y) * picture.Width + x) * 4];
      const uint8_t* got =
          &image.Pixels[(static_cast<size_t>(picture.Height - 1 - y) * image.Width + x) * image.BytesPerPixel];
      for (int c = 0; c < 3; ++c)
        EXPECT_LE(Distance(got[c], want[c]), tolerance) << what << " at " << x << "," << y << " channel " << c;
    }
}

// Where the baseline frame header (FF C0) of a JPEG starts, or past the end.
size_t FrameHeaderAt(const std::vector<uint8_t>& bytes) {
  size_t at = 2;
  while (at + 9 < bytes.size() && !(bytes[at] == 0xFF && bytes[at + 1] == 0xC0))
    at += 2 + (static_cast<size_t>(bytes[at + 2]) << 8 | bytes[at + 3]);
  return at + 9 < bytes.size() ? at : bytes.size();
}

// The CRC-32 of PNG chunks.
uint32_t Crc32(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

long PeakMemoryKb() { return PeakKilobytesOfThisProcess(); }

}  // namespace

// Every BMP and TGA in tests/data/pictures decodes to the pixels of the PNG the same tool wrote
// from it (palette, run-length, 16-bit, greyscale and colour-mapped kinds; see make-pictures.sh).
TEST(PictureFormats, BmpAndTgaFromImageMagickAndPillowMatchTheirPng) {
  const std::filesystem::path folder = std::filesystem::path(VORPANE_SOURCE_DIR) / "tests/data/pictures";
  int compared = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::filesystem::path file = entry.path();
    const bool bmp = file.extension() == ".bmp";
    if (!bmp && file.extension() != ".tga") continue;
    const std::string what = file.filename().string();
    const Decoded d = DecodeBytes(bmp ? DecodeBmp : DecodeTga, ReadBytes(file.string()), what);
    std::filesystem::path png = file;
    const Decoded want = DecodeBytes(DecodePng, ReadBytes(png.replace_extension(".png").string()), what);
    ASSERT_TRUE(d.Ok) << what << ": " << d.Failure.Text << " " << d.Failure.Reason;
    ASSERT_TRUE(want.Ok) << what << ": " << want.Failure.Reason;
    ASSERT_EQ(d.Image.Width, want.Image.Width) << what;
    ASSERT_EQ(d.Image.Height, want.Image.Height) << what;
    const size_t pixels = static_cast<size_t>(d.Image.Width) * d.Image.Height;
    const int gotBytes = d.Image.BytesPerPixel, wantBytes = want.Image.BytesPerPixel;
    int wrong = 0;
    for (size_t i = 0; i < pixels; ++i) {
      const uint8_t* got = &d.Image.Pixels[i * gotBytes];
      const uint8_t* ref = &want.Image.Pixels[i * wantBytes];
      const uint8_t gotAlpha = gotBytes == 4 ? got[3] : 255, wantAlpha = wantBytes == 4 ? ref[3] : 255;
      wrong += got[0] != ref[0] || got[1] != ref[1] || got[2] != ref[2] || gotAlpha != wantAlpha;
    }
    EXPECT_EQ(wrong, 0) << what << ": pixels that differ from its PNG";
    ++compared;
  }
  EXPECT_GE(compared, 20);
}

// What no tool here writes (RLE4, moves), and damage in palette, run-length and bit-field files.
TEST(PictureFormats, BmpRunLengthAndPaletteDamageIsRefused) {
  // A 5 x 3 RLE4 picture with a 3-colour table: a run, a move, an absolute run and line ends.
  auto rle4 = [](std::vector<uint8_t> stream, uint32_t compression = 2, uint32_t bits = 4) {
    std::vector<uint8_t> bytes(54 + 12 + stream.size(), 0);
    bytes[0] = 'B', bytes[1] = 'M';
    PutLE32(bytes, 10, 66);
    PutLE32(bytes, 14, 40);
    PutLE32(bytes, 18, 5);
    PutLE32(bytes, 22, 3);
    bytes[26] = 1, bytes[28] = static_cast<uint8_t>(bits);
    PutLE32(bytes, 30, compression);
    PutLE32(bytes, 46, 3);
    const uint8_t table[12] = {0, 0, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0};  // black, red, blue
    std::copy(table, table + 12, bytes.begin() + 54);
    std::copy(stream.begin(), stream.end(), bytes.begin() + 66);
    return bytes;
  };
  // Bottom row: 1 2 1 2 1 (and the row's padding); middle: 3 skipped, then 0 2; top: absolute
  // 2 1 0.
  const std::vector<uint8_t> good = {8, 0x12, 0, 0, 0, 2, 3, 0, 2, 0x02, 0, 0, 0, 3, 0x21, 0x00, 0, 1};
  Decoded d = DecodeBytes(DecodeBmp, rle4(good), "r.bmp");
  ASSERT_TRUE(d.Ok) << d.Failure.Text << " " << d.Failure.Reason;
  const uint8_t k[3] = {0, 0, 0}, r[3] = {255, 0, 0}, b[3] = {0, 0, 255};
  const std::vector<const uint8_t*> want = {r, b, r, b, r, k, k, k, k, b, b, r, k, k, k};
  ASSERT_EQ(d.Image.Pixels.size(), 45u);
  for (size_t i = 0; i < want.size(); ++i)
    EXPECT_TRUE(std::equal(want[i], want[i] + 3, &d.Image.Pixels[i * 3])) << "pixel " << i;

  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* reason;
  };
  std::vector<uint8_t> badMasks = rle4({}, 3, 16);
  badMasks.resize(54 + 12 + 24);
  PutLE32(badMasks, 54, 0xF800), PutLE32(badMasks, 58, 0), PutLE32(badMasks, 62, 0x1F);
  std::vector<uint8_t> overlapping = badMasks;
  PutLE32(overlapping, 58, 0x0FE0);
  std::vector<uint8_t> gap = badMasks;
  PutLE32(gap, 58, 0x05E0);
  const std::vector<Case> cases = {
      {"run past the row", rle4({9, 0x12, 0, 1}), "a run-length run goes past the end of a row"},
      {"absolute run past the row", rle4({0, 9, 0x12, 0x12, 0x12, 0x12, 0x12, 0, 0, 1}),
       "a run-length run goes past the end of a row"},
      {"runs past the picture", rle4({0, 0, 0, 0, 0, 0, 1, 0x11, 0, 1}), "run-length data runs past the picture"},
      {"move past the picture", rle4({0, 2, 0, 4, 0, 1}), "a run-length move goes past the picture"},
      {"ends early", rle4({5, 0x12, 0, 0}), "run-length data ends early"},
      {"index past the table", rle4({5, 0x13, 0, 1}), "palette index 3 past the 3-entry colour table"},
      {"zero mask", badMasks, "BMP bit fields that are zero, overlap, have gaps or lie outside the pixel"},
      {"overlapping masks", overlapping, "BMP bit fields that are zero, overlap, have gaps or lie outside the pixel"},
      {"mask with a gap", gap, "BMP bit fields that are zero, overlap, have gaps or lie outside the pixel"},
  };
  for (const Case& c : cases) {
    d = DecodeBytes(DecodeBmp, c.bytes, "r.bmp");
    EXPECT_FALSE(d.Ok) << c.what;
    EXPECT_EQ(d.Failure.Text, "Couldn't load \"r.bmp\". The BMP file is damaged.") << c.what;
    EXPECT_EQ(d.Failure.Reason, c.reason) << c.what;
    EXPECT_TRUE(d.Image.Pixels.empty()) << c.what;
  }
  // An uncompressed 4-bit file whose index lies past its table.
  std::vector<uint8_t> raw = rle4({0x13, 0, 0, 0, 0x11, 0, 0, 0, 0x11, 0, 0, 0}, 0);
  d = DecodeBytes(DecodeBmp, raw, "r.bmp");
  EXPECT_EQ(d.Failure.Reason, "palette index 3 past the 3-entry colour table");
  raw[54 + 12] = 0x12;
  raw[54 + 14] = 0x13, raw[54 + 15] = 0x33;  // 3s only in the row's padding: it decodes
  EXPECT_TRUE(DecodeBytes(DecodeBmp, raw, "r.bmp").Ok);
}

TEST(PictureFormats, BmpHeadersOfEverySizeAnd32BitWithPixelsAtTheStoredOffset) {
  const std::string folder = MakeTempFolder();
  const TImageRGBA picture = PatternImage(5, 3);
  struct Layout {
    const char* what;
    TBmpLayout layout;
    int bytesPerPixel;
  };
  const std::vector<Layout> layouts = {
      {"V5, 24 bit, colour count 16", {124, 24, false, true, 16}, 3},
      {"V4, 24 bit", {108, 24, false, true, 0}, 3},
      {"40, 24 bit, colour count 3", {40, 24, false, true, 3}, 3},
      {"52, 24 bit", {52, 24, false, true, 0}, 3},
      {"40, 32 bit plain", {40, 32, false, true, 0}, 3},
      {"40, 32 bit bit fields after the header", {40, 32, true, true, 0}, 3},
      {"52, 32 bit bit fields without alpha", {52, 32, true, true, 0}, 3},
      {"56, 32 bit bit fields with alpha", {56, 32, true, true, 0}, 4},
      {"V4, 32 bit bit fields with alpha", {108, 32, true, true, 2}, 4},
      {"V5, 32 bit bit fields with alpha", {124, 32, true, true, 0}, 4},
      {"V5, 32 bit bit fields, alpha mask 0", {124, 32, true, false, 0}, 3},
  };
  for (const Layout& l : layouts) {
    const std::string file = folder + "/p.bmp";
    ASSERT_TRUE(WriteBmp(file, picture, l.layout)) << l.what;
    const Decoded d = DecodeBytes(DecodeBmp, ReadBytes(file), "p.bmp");
    ASSERT_TRUE(d.Ok) << l.what << ": " << d.Failure.Text;
    EXPECT_EQ(d.Image.BytesPerPixel, l.bytesPerPixel) << l.what;
    EXPECT_EQ(d.Image.Pixels, BottomRowFirst(picture, l.bytesPerPixel)) << l.what;
  }

  // Masks that swap red and blue are honoured; masks that are not whole bytes are refused.
  ASSERT_TRUE(WriteBmp(folder + "/m.bmp", picture, {56, 32, true, true, 0}));
  std::vector<uint8_t> bytes = ReadBytes(folder + "/m.bmp");
  PutLE32(bytes, 54, 0x000000FF);  // red mask
  PutLE32(bytes, 62, 0x00FF0000);  // blue mask
  Decoded d = DecodeBytes(DecodeBmp, bytes, "m.bmp");
  ASSERT_TRUE(d.Ok) << d.Failure.Text;
  const std::vector<uint8_t> straight = BottomRowFirst(picture, 4);
  EXPECT_EQ(d.Image.Pixels[0], straight[2]);
  EXPECT_EQ(d.Image.Pixels[2], straight[0]);
  PutLE32(bytes, 54, 0x00007C00);
  d = DecodeBytes(DecodeBmp, bytes, "m.bmp");
  EXPECT_FALSE(d.Ok);
  EXPECT_EQ(d.Failure.Reason, "BMP bit fields that are zero, overlap, have gaps or lie outside the pixel");

  // What stays unsupported says why on its own line.
  bytes = ReadBytes(folder + "/p.bmp");
  bytes[28] = 2;
  d = DecodeBytes(DecodeBmp, bytes, "p.bmp");
  EXPECT_FALSE(d.Ok);
  EXPECT_EQ(d.Failure.Reason, "2-bit BMP is not supported");
  bytes[28] = 24;
  PutLE32(bytes, 30, 4);  // a JPEG inside
  d = DecodeBytes(DecodeBmp, bytes, "p.bmp");
  EXPECT_EQ(d.Failure.Text, "Couldn't load \"p.bmp\". This kind of BMP is not supported.");
  EXPECT_EQ(d.Failure.Reason, "BMP compression 4 at 24 bits per pixel is not supported");
}

TEST(PictureFormats, TgaStoredRightToLeftInEveryRowOrder) {
  const std::string folder = MakeTempFolder();
  const TImageRGBA picture = PatternImage(6, 3);
  for (int bits : {24, 32})
    for (bool rle : {false, true})
      for (bool topLeft : {false, true}) {
        ASSERT_TRUE(WriteTgaRightToLeft(folder + "/r.tga", picture, bits, rle, topLeft));
        const Decoded d = DecodeBytes(DecodeTga, ReadBytes(folder + "/r.tga"), "r.tga");
        ASSERT_TRUE(d.Ok) << d.Failure.Text;
        EXPECT_EQ(d.Image.Pixels, BottomRowFirst(picture, bits / 8))
            << bits << " bit, rle " << rle << ", top row first " << topLeft;
      }
  // Depths a kind cannot have are refused and say why.
  std::vector<uint8_t> bytes = ReadBytes(folder + "/r.tga");
  bytes[16] = 8;
  const Decoded d = DecodeBytes(DecodeTga, bytes, "r.tga");
  EXPECT_FALSE(d.Ok);
  EXPECT_EQ(d.Failure.Reason, "8-bit TGA is not supported");
}

TEST(PictureFormats, JpegCmykYcckConvertedAnd12BitRefusedWithReason) {
  const std::string folder = MakeTempFolder();
  const TImageRGBA picture = Quarters(32, 32);
  for (TJpegInk ink : {TJpegInk::Cmyk, TJpegInk::AdobeCmyk, TJpegInk::Ycck}) {
    ASSERT_TRUE(WriteJpegAs(folder + "/ink.jpg", picture, ink, 100));
    const Decoded d = DecodeBytes(DecodeJpeg, ReadBytes(folder + "/ink.jpg"), "ink.jpg");
    ASSERT_TRUE(d.Ok) << d.Failure.Text << " " << d.Failure.Reason;
    EXPECT_EQ(d.Image.BytesPerPixel, 4);
    ExpectQuarters(d.Image, picture, 8, "ink " + std::to_string(static_cast<int>(ink)));
    EXPECT_EQ(d.Image.Pixels[3], 255);
  }

  // A CMYK alpha picture gives its blue as alpha too.
  ASSERT_TRUE(WriteJpegAs(folder + "/c.jpg", picture, TJpegInk::Rgb, 100));
  ASSERT_TRUE(WriteJpegAs(folder + "/a.jpg", FlatImage(32, 32, 0, 0, 200), TJpegInk::AdobeCmyk, 100));
  const std::vector<uint8_t> colour = ReadBytes(folder + "/c.jpg"), alpha = ReadBytes(folder + "/a.jpg");
  TTextureImage pair;
  TLoadFailure failure;
  ASSERT_TRUE(DecodeJpegPair("c.jpg", colour.data(), colour.size(), "a.jpg", alpha.data(), alpha.size(),
                             pair, failure));
  EXPECT_LE(Distance(pair.Pixels[3], 200), 8);

  // The same file marked as 12-bit in its frame header.
  std::vector<uint8_t> twelve = colour;
  const size_t sof = FrameHeaderAt(twelve);
  ASSERT_LT(sof + 9, twelve.size());
  twelve[sof + 4] = 12;
  const Decoded d = DecodeBytes(DecodeJpeg, twelve, "deep.jpg");
  EXPECT_FALSE(d.Ok);
  EXPECT_EQ(d.Failure.Text, "Couldn't load JPG - \"deep.jpg\"");
  EXPECT_EQ(d.Failure.Reason, "12-bit JPEG is not supported");
}

TEST(PictureFormats, JpegHeaderClaimingFarMoreThanItsDataIsRefusedQuicklyWhileCutPhotosLoad) {
  const std::string folder = MakeTempFolder();
  ASSERT_TRUE(WriteJpeg(folder + "/small.jpg", PatternImage(16, 16), 90));
  std::vector<uint8_t> bytes = ReadBytes(folder + "/small.jpg");
  ASSERT_LT(bytes.size(), 1500u);
  const size_t sof = FrameHeaderAt(bytes);
  ASSERT_LT(sof + 9, bytes.size());
  for (size_t at : {sof + 5, sof + 7}) {  // height, width: 16384 each
    bytes[at] = 0x40;
    bytes[at + 1] = 0x00;
  }
  const long memoryBefore = PeakMemoryKb();
  const auto start = std::chrono::steady_clock::now();
  const Decoded d = DecodeBytes(DecodeJpeg, bytes, "claims.jpg");
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_FALSE(d.Ok);
  EXPECT_EQ(d.Failure.Text, "Couldn't load JPG - \"claims.jpg\"");
  EXPECT_EQ(d.Failure.Reason.rfind("the file is far too small for the picture size its header claims", 0), 0u)
      << d.Failure.Reason;
  EXPECT_LT(seconds, 0.5);
  EXPECT_LT(PeakMemoryKb() - memoryBefore, 50 * 1024);  // nothing near the 1 GiB picture

  // A photo cut off part way still loads; the missing part is filled by the decoder.
  const TImageRGBA photo = PatternImage(256, 192);
  ASSERT_TRUE(WriteJpeg(folder + "/photo.jpg", photo, 90));
  const std::vector<uint8_t> whole = ReadBytes(folder + "/photo.jpg");
  const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(whole.size() * 3 / 10));
  const Decoded part = DecodeBytes(DecodeJpeg, cut, "cut.jpg");
  ASSERT_TRUE(part.Ok) << part.Failure.Reason;
  EXPECT_EQ(part.Image.Width, 256);
  EXPECT_EQ(part.Image.Height, 192);
  EXPECT_EQ(part.Image.Damage, "Premature end of JPEG file");
  EXPECT_EQ(DecodeBytes(DecodeJpeg, whole, "photo.jpg").Image.Damage, "");
}

#if defined(_WIN32)
TEST(PictureFormats, JpegWhoseOutputCannotBeAllocatedIsRefused) {
  GTEST_SKIP() << WhyNoLimitedChildren();
}
#elif !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// An address-space limit in a child process makes the picture's allocation fail: the decoder
// reports it (the decompressor released) instead of letting the exception end the program.
TEST(PictureFormats, JpegWhoseOutputCannotBeAllocatedIsRefused) {
  const std::string folder = MakeTempFolder();
  ASSERT_TRUE(WriteJpeg(folder + "/small.jpg", PatternImage(16, 16), 90));
  std::vector<uint8_t> bytes = ReadBytes(folder + "/small.jpg");
  const size_t sof = FrameHeaderAt(bytes);
  ASSERT_LT(sof + 9, bytes.size());
  for (size_t at : {sof + 5, sof + 7}) {  // 4096 x 4096: 64 MiB of RGBA
    bytes[at] = 0x10;
    bytes[at + 1] = 0x00;
  }
  // A comment segment makes the file large enough to be worth decoding.
  std::vector<uint8_t> comment = {0xFF, 0xFE, 0x30, 0x02};
  comment.resize(0x3002 + 2, 'c');
  bytes.insert(bytes.begin() + 2, comment.begin(), comment.end());
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    long pages = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
      std::fclose(statm);
    }
    const rlim_t limit = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (32u << 20);
    const rlimit space{limit, limit};
    // What earlier tests freed stays in the heap and could hold the picture under any limit:
    // take every block the limit allows, then give 32 MiB back, room for the decoder's own
    // working memory but not for 64 MiB of pixels.
    constexpr size_t kBlock = size_t{1} << 16;
    std::vector<void*> blocks;
    blocks.reserve(limit / kBlock + 1024);
    if (pages == 0 || setrlimit(RLIMIT_AS, &space) != 0) _exit(3);
    while (void* block = std::malloc(kBlock)) blocks.push_back(block);
    for (size_t i = 0; i < (32u << 20) / kBlock && !blocks.empty(); ++i) {
      std::free(blocks.back());
      blocks.pop_back();
    }
    TTextureImage image;
    TLoadFailure failure;
    const bool ok = DecodeJpeg("big.jpg", bytes.data(), bytes.size(), image, failure);
    _exit(!ok && failure.Reason == "not enough memory for a 4096 x 4096 picture" ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the child died from signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif

TEST(PictureFormats, PngOfEveryColourTypeDepthAndInterlace) {
  const std::string folder = MakeTempFolder();
  const TImageRGBA picture = PatternImage(7, 5);
  TImageRGBA grey = picture;
  for (size_t i = 0; i < grey.Pixels.size(); i += 4) grey.Pixels[i + 1] = grey.Pixels[i + 2] = grey.Pixels[i];
  TImageRGBA opaque = picture;
  for (size_t i = 3; i < opaque.Pixels.size(); i += 4) opaque.Pixels[i] = 255;
  TImageRGBA opaqueGrey = grey;
  for (size_t i = 3; i < opaqueGrey.Pixels.size(); i += 4) opaqueGrey.Pixels[i] = 255;
  struct Kind {
    TPngKind kind;
    const TImageRGBA* expected;
    int bytesPerPixel;
    bool sixteen;
  };
  const std::vector<Kind> kinds = {
      {TPngKind::Grey, &opaqueGrey, 3, true},     {TPngKind::GreyAlpha, &grey, 4, true},
      {TPngKind::Rgb, &opaque, 3, true},          {TPngKind::Rgba, &picture, 4, true},
      {TPngKind::Palette, &opaque, 3, false},     {TPngKind::PaletteAlpha, &picture, 4, false},
  };
  for (const Kind& k : kinds)
    for (int bits : {8, 16})
      for (bool interlaced : {false, true}) {
        if (bits == 16 && !k.sixteen) continue;
        const std::string what = "kind " + std::to_string(static_cast<int>(k.kind)) + ", " +
                                 std::to_string(bits) + " bit, interlaced " + std::to_string(interlaced);
        ASSERT_TRUE(WritePng(folder + "/p.png", *k.expected, k.kind, bits, interlaced)) << what;
        const Decoded d = DecodeBytes(DecodePng, ReadBytes(folder + "/p.png"), "p.png");
        ASSERT_TRUE(d.Ok) << what << ": " << d.Failure.Reason;
        EXPECT_EQ(d.Image.BytesPerPixel, k.bytesPerPixel) << what;
        EXPECT_EQ(d.Image.Pixels, BottomRowFirst(*k.expected, k.bytesPerPixel)) << what;
      }
}

TEST(PictureFormats, MalformedPngGivesItsMessageAndReason) {
  const std::string folder = MakeTempFolder();
  ASSERT_TRUE(WritePng(folder + "/ok.png", PatternImage(40, 30), TPngKind::Rgb));
  const std::vector<uint8_t> png = ReadBytes(folder + "/ok.png");
  // The header claims 16384 x 16384 (big-endian), with a matching checksum.
  std::vector<uint8_t> huge = png;
  huge[16] = 0, huge[17] = 0, huge[18] = 0x40, huge[19] = 0;
  huge[20] = 0, huge[21] = 0, huge[22] = 0x40, huge[23] = 0;
  const uint32_t crc = Crc32(&huge[12], 17);
  for (int i = 0; i < 4; ++i) huge[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
  const Decoded claims = DecodeBytes(DecodePng, huge, "x.png");
  EXPECT_FALSE(claims.Ok);
  EXPECT_EQ(claims.Failure.Reason.rfind("the file is far too small for the picture size its header claims", 0), 0u)
      << claims.Failure.Reason;
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  const std::vector<Case> cases = {
      {"empty", {}},
      {"signature only", std::vector<uint8_t>(png.begin(), png.begin() + 8)},
      {"cut in the data", std::vector<uint8_t>(png.begin(), png.end() - 30)},
      {"header checksum wrong", [&] {
         std::vector<uint8_t> bad = png;
         bad[20] ^= 1;
         return bad;
       }()},
      {"not a PNG", std::vector<uint8_t>(100, 0x42)},
  };
  for (const Case& c : cases) {
    const Decoded d = DecodeBytes(DecodePng, c.bytes, "x.png");
    EXPECT_FALSE(d.Ok) << c.what;
    EXPECT_EQ(d.Failure.Caption, "PNG Unit") << c.what;
    EXPECT_EQ(d.Failure.Text, "Couldn't load PNG - \"x.png\"") << c.what;
    EXPECT_FALSE(d.Failure.Reason.empty()) << c.what;
    EXPECT_TRUE(d.Image.Pixels.empty()) << c.what;
  }
}

TEST(PictureFormats, FormatByNameAndByFirstBytes) {
  EXPECT_EQ(PictureFormatOfName("a.bmp"), TPictureFormat::Bmp);
  EXPECT_EQ(PictureFormatOfName("DIR.X/A.BMP"), TPictureFormat::Bmp);
  EXPECT_EQ(PictureFormatOfName("a.Tga"), TPictureFormat::Tga);
  for (const char* name : {"a.jpg", "a.JPEG", "a.jpe", "a.JFIF", "x/y.Jpeg"})
    EXPECT_EQ(PictureFormatOfName(name), TPictureFormat::Jpeg) << name;
  EXPECT_EQ(PictureFormatOfName("a.PNG"), TPictureFormat::Png);
  for (const char* name : {"a.gif", "a", "dir.bmp/a", "a.bmpx", "a.jpg2", ""})
    EXPECT_EQ(PictureFormatOfName(name), TPictureFormat::Unknown) << name;

  const std::string folder = MakeTempFolder();
  ASSERT_TRUE(WriteBmp24(folder + "/p.bmp", PatternImage(3, 3)));
  ASSERT_TRUE(WriteJpeg(folder + "/p.jpg", PatternImage(3, 3)));
  ASSERT_TRUE(WritePng(folder + "/p.png", PatternImage(3, 3), TPngKind::Rgb));
  ASSERT_TRUE(WriteTga(folder + "/p.tga", PatternImage(3, 3), 24, false));
  auto ofFile = [&](const std::string& name) {
    const std::vector<uint8_t> bytes = ReadBytes(folder + name);
    return PictureFormatOfContent(bytes.data(), bytes.size());
  };
  EXPECT_EQ(ofFile("/p.bmp"), TPictureFormat::Bmp);
  EXPECT_EQ(ofFile("/p.jpg"), TPictureFormat::Jpeg);
  EXPECT_EQ(ofFile("/p.png"), TPictureFormat::Png);
  EXPECT_EQ(ofFile("/p.tga"), TPictureFormat::Unknown);
  const std::vector<uint8_t> bmOnly = {'B', 'M', 0, 0};
  EXPECT_EQ(PictureFormatOfContent(bmOnly.data(), bmOnly.size()), TPictureFormat::Unknown);

  TTextureImage image;
  TLoadFailure failure;
  EXPECT_FALSE(DecodePicture(TPictureFormat::Unknown, "x.gif", nullptr, 0, image, failure));
  EXPECT_EQ(failure.Text, "Couldn't load \"x.gif\". Unknown picture type: supported are BMP, JPEG "
                          "(.jpg, .jpeg, .jpe, .jfif), PNG and TGA.");
}
