// Tracker modules as music: told by their bytes, rendered once to the song's end (a song that
// jumps back to its start still ends), and seekable and heard like any other stream.
#include "common/TinyModule.h"
#include "platform/AudioDecode.h"
#include "platform/KestoBASS.h"
#include "support/TestSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

float Loudest(uint32_t stream, double seconds) {
  float bins[256];
  EXPECT_TRUE(FetchSpectrumAt(stream, seconds, bins));
  return *std::max_element(bins, bins + 256);
}

}  // namespace

TEST(MusicModule, PlaysOnceWithItsLengthPositionAndSpectrum) {
  const std::string folder = MakeTempFolder();
  // No module extension: the bytes alone say what it is.
  WriteTextFile(folder, "tune.dat", MakeTinyModule());
  TPcm16 pcm;
  std::string reason;
  ASSERT_TRUE(DecodeAudioFile(folder + "/tune.dat", pcm, reason)) << reason;
  EXPECT_EQ(pcm.SampleRate, 44100);
  EXPECT_EQ(pcm.Channels, 2);
  EXPECT_NEAR(pcm.FrameCount() / 44100.0, kTinyModuleSeconds, 0.01);
  // Rendering is repeatable, sample for sample.
  const std::string bytes = MakeTinyModule();
  TPcm16 again;
  ASSERT_TRUE(DecodeAudioBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), again,
                               reason));
  EXPECT_EQ(again.Samples, pcm.Samples);

  const uint32_t stream = OpenStream(folder + "/tune.dat", &reason);
  ASSERT_NE(stream, 0u) << reason;
  EXPECT_EQ(StreamFrequency(stream), 44100u);
  ASSERT_TRUE(SetStreamPosition(stream, 5.25f));
  EXPECT_NEAR(StreamPosition(stream), 5.25f, 1.0f / 44100);
  // The note sounds from row 0, is silenced at row 16 (1.92 s) and sounds again at row 32.
  EXPECT_GT(Loudest(stream, 1.0), 0.02f);
  EXPECT_LT(Loudest(stream, 3.0), 0.0001f);
  EXPECT_GT(Loudest(stream, 5.0), 0.02f);
  TPcm16 range;
  ASSERT_TRUE(StreamAudioRange(stream, 7.0, 9.0, range));
  EXPECT_EQ(range.FrameCount(), 2 * 44100);
  EXPECT_EQ(range.Samples[static_cast<size_t>(range.Samples.size() - 1)], 0) << "past the end";
}

TEST(MusicModule, DamagedModulesGiveAReason) {
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "broken.xm", "Extended Module: " + std::string(300, '\x7f'));
  WriteTextFile(folder, "named.mod", std::string(2000, 'x'));
  for (const char* name : {"broken.xm", "named.mod"}) {
    TPcm16 pcm;
    std::string reason, openReason;
    EXPECT_FALSE(DecodeAudioFile(folder + "/" + name, pcm, reason)) << name;
    EXPECT_NE(reason.find("damaged tracker module"), std::string::npos) << name << ": " << reason;
    EXPECT_EQ(OpenStream(folder + "/" + name, &openReason), 0u) << name;
    EXPECT_EQ(openReason, reason);
  }
}
