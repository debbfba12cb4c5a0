// Decoding music files: every format opens, lands its clicks at their source times (MP3 with
// its encoder delay trimmed), and bad files give a reason instead of a crash.
#include "common/TestAudio.h"
#include "platform/AudioDecode.h"
#include "platform/KestoBASS.h"
#include "support/TestSystem.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <cmath>
#include <filesystem>
#include <fstream>

namespace {

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A canonical WAV header for 16-bit PCM with the given sizes written into it.
std::string WavHeader(uint16_t channels, uint32_t rate, uint32_t dataBytes) {
  std::string h = "RIFF....WAVEfmt ";
  auto put = [&h](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) h += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  put(16, 4);
  put(1, 2);
  put(channels, 2);
  put(rate, 4);
  put(rate * channels * 2, 4);
  put(channels * 2, 2);
  put(16, 2);
  h += "data";
  put(dataBytes, 4);
  const uint32_t riff = static_cast<uint32_t>(h.size() - 8 + dataBytes);
  for (int i = 0; i < 4; ++i) h[4 + i] = static_cast<char>((riff >> (8 * i)) & 0xFF);
  return h;
}

const TAudioFormat kEveryFormat[] = {TAudioFormat::Wav, TAudioFormat::Flac, TAudioFormat::Ogg,
                                     TAudioFormat::Opus, TAudioFormat::Mp3};

// The Windows build's libsndfile writes no MP3 (no LAME is built for it): said, and skipped.
bool CannotWrite(TAudioFormat format) {
  if (!kWindowsBuild || format != TAudioFormat::Mp3) return false;
  std::printf("[  SKIPPED ] mp3: this build writes no MP3 files to decode\n");
  return true;
}

}  // namespace

TEST(MusicDecode, EveryFormatLandsItsClicksAtTheSourceTimes) {
  const std::string folder = MakeTempFolder();
  for (TAudioFormat format : kEveryFormat) {
    const char* extension = AudioFormatExtension(format);
    SCOPED_TRACE(extension);
    if (CannotWrite(format)) continue;
    const int32_t rate = format == TAudioFormat::Opus ? 48000 : 44100;  // Opus has its own
    const std::string path = folder + "/clicks." + extension;
    std::string error;
    ASSERT_TRUE(WriteAudioFile(path, MakeClickTrack(rate, 2, 3.0), format, error)) << error;

    TPcm16 pcm;
    std::string reason;
    ASSERT_TRUE(DecodeAudioFile(path, pcm, reason)) << reason;
    EXPECT_EQ(pcm.SampleRate, rate);
    EXPECT_EQ(pcm.Channels, 2);
    // Gapless: no encoder delay in front, no more than a frame of padding behind.
    EXPECT_NEAR(static_cast<double>(pcm.FrameCount()) / rate, 3.0, 0.03);
    for (double click : {1.0, 2.0}) {
      const int64_t found = FindClick(pcm, click);
      EXPECT_NEAR(static_cast<double>(found) / rate, click, 0.001) << "click at " << click;
    }
    EXPECT_NE(OpenStream(path), 0u);
  }
}

TEST(MusicDecode, SixteenBitWavRoundTripsExactly) {
  const std::string folder = MakeTempFolder();
  const TPcm16 source = MakeSine(22050, 1000.0, 0.5, 1.0, true);
  std::string error, reason;
  ASSERT_TRUE(WriteAudioFile(folder + "/s.wav", source, TAudioFormat::Wav, error)) << error;
  TPcm16 pcm;
  ASSERT_TRUE(DecodeAudioFile(folder + "/s.wav", pcm, reason)) << reason;
  EXPECT_EQ(pcm.SampleRate, 22050);
  EXPECT_EQ(pcm.Samples, source.Samples);
}

TEST(MusicDecode, BadFilesGiveAReason) {
  const std::string folder = MakeTempFolder();
  TPcm16 pcm;
  std::string reason;
  EXPECT_FALSE(DecodeAudioFile(folder + "/missing.ogg", pcm, reason));
  EXPECT_NE(reason.find("No such file"), std::string::npos) << reason;
  std::string openReason;
  EXPECT_EQ(OpenStream(folder + "/missing.ogg", &openReason), 0u);
  EXPECT_EQ(openReason, reason);

  WriteBytes(folder + "/empty.wav", "");
  reason.clear();
  EXPECT_FALSE(DecodeAudioFile(folder + "/empty.wav", pcm, reason));
  EXPECT_FALSE(reason.empty());

  WriteBytes(folder + "/text.ogg", std::string(5000, 'x'));
  reason.clear();
  EXPECT_FALSE(DecodeAudioFile(folder + "/text.ogg", pcm, reason));
  EXPECT_FALSE(reason.empty());

  // Six channels are refused by name rather than played wrongly.
  WriteBytes(folder + "/six.wav", WavHeader(6, 44100, 1200) + std::string(1200, '\0'));
  reason.clear();
  EXPECT_FALSE(DecodeAudioFile(folder + "/six.wav", pcm, reason));
  EXPECT_NE(reason.find("6 channels"), std::string::npos) << reason;

  // A header promising 4 GB over 400 bytes of data: what is there is read, nothing more.
  WriteBytes(folder + "/liar.wav", WavHeader(2, 44100, 0xFFFFFFF0u) + std::string(400, '\x01'));
  reason.clear();
  if (DecodeAudioFile(folder + "/liar.wav", pcm, reason)) {
    EXPECT_EQ(pcm.FrameCount(), 100);
    EXPECT_LE(pcm.Samples.capacity(), 1000u);
  } else {
    EXPECT_FALSE(reason.empty());
  }

  // A valid header over no sample data at all.
  WriteBytes(folder + "/nodata.wav", WavHeader(2, 44100, 0));
  reason.clear();
  EXPECT_FALSE(DecodeAudioFile(folder + "/nodata.wav", pcm, reason));
  EXPECT_FALSE(reason.empty());
}

TEST(MusicDecode, BytesInMemoryDecodeLikeTheFileAndCutFilesStaySafe) {
  const std::string folder = MakeTempFolder();
  const std::string path = folder + "/clicks.ogg";
  std::string error;
  ASSERT_TRUE(WriteAudioFile(path, MakeClickTrack(44100, 2, 2.0), TAudioFormat::Ogg, error));
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const uint8_t* data = reinterpret_cast<const uint8_t*>(bytes.data());

  TPcm16 fromFile, fromBytes;
  std::string reason;
  ASSERT_TRUE(DecodeAudioFile(path, fromFile, reason)) << reason;
  ASSERT_TRUE(DecodeAudioBytes(data, bytes.size(), fromBytes, reason)) << reason;
  EXPECT_EQ(fromBytes.Samples, fromFile.Samples);

  // Every cut of the file either fails with a reason or gives whole frames of the start.
  for (size_t cut : {size_t{0}, size_t{10}, size_t{60}, bytes.size() / 3, bytes.size() - 1}) {
    TPcm16 part;
    reason.clear();
    if (DecodeAudioBytes(data, cut, part, reason)) {
      EXPECT_EQ(part.Samples.size(), static_cast<size_t>(part.FrameCount()) * 2) << cut;
      EXPECT_LE(part.FrameCount(), fromFile.FrameCount()) << cut;
    } else {
      EXPECT_FALSE(reason.empty()) << cut;
    }
  }
}

TEST(MusicDecode, CutFilesPlayWhatDecodesWithOneLine) {
  const std::string folder = MakeTempFolder();
  for (TAudioFormat format : kEveryFormat) {
    const char* extension = AudioFormatExtension(format);
    SCOPED_TRACE(extension);
    if (CannotWrite(format)) continue;
    const int32_t rate = format == TAudioFormat::Opus ? 48000 : 44100;  // Opus has its own
    const std::string whole = folder + "/whole." + extension, cut = folder + "/cut." + extension;
    std::string error, reason, damage = "unset";
    // Clicks over a tone, so that every part of the file holds sound to encode.
    TPcm16 source = MakeClickTrack(rate, 1, 4.0);
    const TPcm16 tone = MakeSine(rate, 440.0, 4.0, 0.1, false);
    for (size_t i = 0; i < source.Samples.size(); ++i)
      source.Samples[i] = static_cast<int16_t>(source.Samples[i] / 2 + tone.Samples[i] / 2);
    ASSERT_TRUE(WriteAudioFile(whole, source, format, error)) << error;
    TPcm16 pcm;
    ASSERT_TRUE(DecodeAudioFile(whole, pcm, reason, &damage)) << reason;
    EXPECT_EQ(damage, "");
    std::filesystem::copy_file(whole, cut);
    std::filesystem::resize_file(cut, std::filesystem::file_size(whole) * 4 / 5);

    // The first part plays, its click where it was, and the loss is named.
    ASSERT_TRUE(DecodeAudioFile(cut, pcm, reason, &damage)) << reason;
    EXPECT_GT(pcm.FrameCount(), rate * 3 / 2);
    EXPECT_LT(pcm.FrameCount(), rate * 7 / 2);
    EXPECT_NEAR(static_cast<double>(FindClick(pcm, 1.0)) / rate, 1.0, 0.001);
    EXPECT_EQ(damage.rfind("music is cut short", 0), 0u) << damage;
  }

  // The player says so once, on stderr, and plays it; a MIDI file is refused for what it is.
  testing::internal::CaptureStderr();
  const uint32_t stream = OpenStream(folder + "/cut.ogg");
  EXPECT_GT(StreamFrequency(stream), 0u);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(said, folder + "/cut.ogg: music is cut short (its end is missing): the " +
                      said.substr(said.find("the ") + 4, 6) + " that decode play\n");
  WriteBytes(folder + "/song.mid", std::string("MThd\0\0\0\6\0\0\0\1\0\x60", 14));
  std::string why;
  EXPECT_EQ(OpenStream(folder + "/song.mid", &why), 0u);
  EXPECT_EQ(why, "it is a MIDI file, which the player does not play (TRACKER makes a demotrack of it)");
  // Cut inside its headers, a file is refused for that.
  std::filesystem::resize_file(folder + "/cut.ogg", 100);
  EXPECT_EQ(OpenStream(folder + "/cut.ogg", &why), 0u);
  EXPECT_EQ(why, "it is an Ogg file whose start is damaged or cut short");
}
