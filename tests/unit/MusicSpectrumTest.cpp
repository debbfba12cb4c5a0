// The spectrum of a stream: 512 frames at a position, mixed to mono, Hann window, 256
// magnitudes 2·|X_k|/512.
#include "common/TestAudio.h"
#include "platform/KestoBASS.h"
#include "platform/Spectrum.h"
#include "support/TestSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr int32_t kRate = 44100;
constexpr double kBin8Hz = 8.0 * kRate / 512.0;

uint32_t OpenGenerated(const TPcm16& pcm) {
  const std::string path = MakeTempFolder() + "/music.wav";
  std::string error;
  if (!WriteAudioFile(path, pcm, TAudioFormat::Wav, error)) return 0;
  return OpenStream(path);
}

struct Bins {
  float Value[512];
};

Bins SpectrumAt(uint32_t stream, double seconds) {
  Bins bins;
  std::fill(std::begin(bins.Value), std::end(bins.Value), -1.0f);
  EXPECT_TRUE(FetchSpectrumAt(stream, seconds, bins.Value));
  return bins;
}

float MaxOf(const Bins& bins, int from, int to) {
  return *std::max_element(bins.Value + from, bins.Value + to);
}

}  // namespace

TEST(MusicSpectrum, SineAtBinCentreDcAndSilence) {
  const uint32_t sine = OpenGenerated(MakeSine(kRate, kBin8Hz, 1.0, 1.0, false));
  ASSERT_NE(sine, 0u);
  Bins bins = SpectrumAt(sine, 0.3);
  EXPECT_NEAR(bins.Value[8], 0.5f, 0.02f);
  // The Hann window spreads a centred sine over its two neighbours only.
  EXPECT_NEAR(bins.Value[7], 0.25f, 0.02f);
  EXPECT_NEAR(bins.Value[9], 0.25f, 0.02f);
  EXPECT_LT(MaxOf(bins, 0, 7), 0.001f);
  EXPECT_LT(MaxOf(bins, 10, 256), 0.001f);
  EXPECT_EQ(bins.Value[256], -1.0f) << "only the first 256 values are written";

  const uint32_t dc = OpenGenerated(MakeConstant(kRate, 2, 1.0, 32767));
  bins = SpectrumAt(dc, 0.5);
  EXPECT_NEAR(bins.Value[0], 1.0f, 0.001f);
  EXPECT_NEAR(bins.Value[1], 0.5f, 0.001f);
  EXPECT_LT(MaxOf(bins, 2, 256), 0.001f);

  const uint32_t silence = OpenGenerated(MakeConstant(kRate, 1, 1.0, 0));
  bins = SpectrumAt(silence, 0.5);
  EXPECT_EQ(MaxOf(bins, 0, 256), 0.0f);
}

TEST(MusicSpectrum, ChannelsAreAveragedSoOpposedChannelsCancel) {
  const uint32_t opposed = OpenGenerated(MakeSine(kRate, kBin8Hz, 1.0, 1.0, true));
  ASSERT_NE(opposed, 0u);
  EXPECT_LT(MaxOf(SpectrumAt(opposed, 0.5), 0, 256), 0.001f);

  // One full-scale channel over a silent one is half as loud, not as loud.
  TPcm16 left = MakeSine(kRate, kBin8Hz, 1.0, 1.0, true);
  for (size_t i = 1; i < left.Samples.size(); i += 2) left.Samples[i] = 0;
  EXPECT_NEAR(SpectrumAt(OpenGenerated(left), 0.5).Value[8], 0.25f, 0.01f);
}

TEST(MusicSpectrum, OutsideTheMusicIsSilence) {
  const uint32_t sine = OpenGenerated(MakeSine(kRate, kBin8Hz, 1.0, 1.0, false));
  ASSERT_NE(sine, 0u);
  EXPECT_EQ(MaxOf(SpectrumAt(sine, 1.0), 0, 256), 0.0f);
  EXPECT_EQ(MaxOf(SpectrumAt(sine, 5000.0), 0, 256), 0.0f);
  EXPECT_EQ(MaxOf(SpectrumAt(sine, -1.0), 0, 256), 0.0f);
  // Straddling the end: the first half of the window still hears the sine, but less of it.
  const float straddling = SpectrumAt(sine, 1.0 - 256.0 / kRate).Value[8];
  EXPECT_GT(straddling, 0.1f);
  EXPECT_LT(straddling, 0.4f);
}

TEST(MusicSpectrum, ClippedAudioStaysWithinZeroAndOne) {
  // A full-scale square wave: the loudest a window can see.
  TPcm16 square = MakeSine(kRate, kBin8Hz, 1.0, 1.0, false);
  for (int16_t& s : square.Samples) s = s >= 0 ? 32767 : -32768;
  const Bins bins = SpectrumAt(OpenGenerated(square), 0.5);
  EXPECT_GT(bins.Value[8], 0.6f);
  for (int k = 0; k < 256; ++k) {
    EXPECT_GE(bins.Value[k], 0.0f) << k;
    EXPECT_LE(bins.Value[k], 1.0f) << k;
  }
}

TEST(MusicSpectrum, FetchSpectrumReadsAtTheStreamPosition) {
  // One second of silence, then the sine.
  TPcm16 pcm = MakeSine(kRate, kBin8Hz, 2.0, 1.0, false);
  std::fill(pcm.Samples.begin(), pcm.Samples.begin() + kRate, 0);
  const uint32_t stream = OpenGenerated(pcm);
  ASSERT_NE(stream, 0u);
  float bins[512] = {};
  ASSERT_TRUE(FetchSpectrum(stream, bins));
  EXPECT_EQ(bins[8], 0.0f);
  ASSERT_TRUE(SetStreamPosition(stream, 1.5f));
  ASSERT_TRUE(FetchSpectrum(stream, bins));
  EXPECT_NEAR(bins[8], 0.5f, 0.02f);

  std::fill(std::begin(bins), std::end(bins), 7.0f);
  EXPECT_FALSE(FetchSpectrum(0, bins));
  EXPECT_FALSE(FetchSpectrum(stream + 100, bins));
  EXPECT_FALSE(FetchSpectrumAt(stream + 100, 0.0, bins));
  EXPECT_EQ(bins[0], 7.0f);
}
