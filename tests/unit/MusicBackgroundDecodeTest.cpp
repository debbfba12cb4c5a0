// Music decoded on a background thread: what can fail before decoding still fails when the
// stream is opened, the decode is not disturbed by a change of the current folder after the
// open, data that fails to decode after a sound header plays as far as it decodes, and a script
// read ahead starts the decode that its LOADMUSIC then takes.
#include "common/TestAudio.h"
#include "demo/MusicPrefetch.h"
#include "platform/KestoBASS.h"
#include "platform/Files.h"
#include "support/TestSystem.h"
#include "support/WorkingFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

namespace {

TPcm16 Ramp(int32_t frames) {
  TPcm16 pcm;
  pcm.SampleRate = 8000;
  pcm.Channels = 1;
  for (int32_t n = 0; n < frames; ++n) pcm.Samples.push_back(static_cast<int16_t>(n % 20000));
  return pcm;
}

}  // namespace

TEST(MusicBackgroundDecode, OpenFailuresComeAtOnceAndTheDecodeKeepsItsFolder) {
  const std::string folder = MakeTempFolder();
  std::string error;
  ASSERT_TRUE(WriteAudioFile(folder + "/ramp.wav", Ramp(40000), TAudioFormat::Wav, error)) << error;
  ASSERT_TRUE(WriteAudioFile(folder + "/empty.wav", Ramp(0), TAudioFormat::Wav, error)) << error;

  WorkingFolder here(folder);
  std::string reason;
  EXPECT_EQ(OpenStream("missing.wav", &reason), 0u);
  EXPECT_EQ(reason, "No such file or directory");
  EXPECT_EQ(OpenStream("empty.wav", &reason), 0u);
  EXPECT_EQ(reason, "it holds no audio");

  // Opened by a name relative to this folder; the folder changes right after the open, as a
  // DATADIR after LOADMUSIC does. A few rounds, since the decode may have begun before.
  for (int round = 0; round < 5; ++round) {
    ASSERT_EQ(::chdir(folder.c_str()), 0);
    const uint32_t stream = OpenStream("ramp.wav", &reason);
    ASSERT_NE(stream, 0u) << reason;
    ASSERT_EQ(::chdir("/"), 0);
    EXPECT_EQ(StreamFrequency(stream), 8000u);
    TPcm16 range;
    ASSERT_TRUE(StreamAudioRange(stream, 4.0, 4.5, range));
    ASSERT_EQ(range.Samples.size(), 4000u);
    for (size_t i = 0; i < range.Samples.size(); i += 997)
      ASSERT_EQ(range.Samples[i], static_cast<int16_t>((32000 + i) % 20000)) << round << " " << i;
  }
}

TEST(MusicBackgroundDecode, DataThatFailsAfterASoundHeaderPlaysWhatDecodesWithOneLine) {
  // A FLAC file whose frames are overwritten from a third of the way on: its header reads well,
  // its decoder loses sync.
  const std::string folder = MakeTempFolder();
  const std::string name = folder + "/broken.flac";
  std::string error;
  ASSERT_TRUE(WriteAudioFile(name, Ramp(400000), TAudioFormat::Flac, error)) << error;
  {
    std::fstream file(name, std::ios::in | std::ios::out | std::ios::binary);
    file.seekg(0, std::ios::end);
    const long size = static_cast<long>(file.tellg());
    for (long at = size / 3; at < size - 100; at += 7) {
      file.seekp(at);
      file.put(static_cast<char>(at * 31));
    }
  }
  // Captured from the open on: the decode runs on its own thread from there, and its one line
  // must be caught whenever it is written.
  testing::internal::CaptureStderr();
  std::string reason;
  const uint32_t stream = OpenStream(name, &reason);
  ASSERT_NE(stream, 0u) << reason;
  EXPECT_EQ(StreamFrequency(stream), 8000u);
  TPcm16 range, lost;
  ASSERT_TRUE(StreamAudioRange(stream, 1.0, 2.0, range));
  ASSERT_TRUE(StreamAudioRange(stream, 40.0, 41.0, lost));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind(name + ": music is cut short or damaged (its header promises 50.00 s; "
                             "decoding stopped: ", 0),
            0u) << err;
  EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
  // What decodes before the damage plays as it was; after it, silence.
  ASSERT_EQ(range.Samples.size(), 8000u);
  for (size_t i = 0; i < range.Samples.size(); ++i)
    ASSERT_EQ(range.Samples[i], static_cast<int16_t>((8000 + i) % 20000)) << i;
  for (int16_t sample : lost.Samples) ASSERT_EQ(sample, 0);
}

TEST(MusicBackgroundDecode, TheScriptIsReadAheadForItsMusicAndLoadMusicTakesThatDecode) {
  const std::string folder = MakeTempFolder();
  ASSERT_TRUE(MakeFolders(folder + "/sub"));
  std::string error;
  ASSERT_TRUE(WriteAudioFile(folder + "/sub/song.wav", Ramp(40000), TAudioFormat::Wav, error));
  WorkingFolder here(folder);
  const std::string song = CurrentDirectory() + "/sub/song.wav";

  // A DATADIR that does not exist moves nowhere; a file named twice decodes once; lines are read
  // as written, so a name made by a macro is not read ahead.
  PrefetchScriptMusic(TReadContext(),
                      {"REGISTER @SONG song.wav", "DATADIR nowhere", "DATADIR sub",
                       "LOADMUSIC song.wav", "LOADMUSIC song.wav", "LOADMUSIC @SONG",
                       "LOADMUSIC missing.wav"});
  std::vector<std::string> pending = PrefetchedMusic();
  EXPECT_EQ(std::count(pending.begin(), pending.end(), song), 1) << pending.size();
  for (const std::string& path : pending) EXPECT_EQ(path.find("@SONG"), std::string::npos);

  // The script's own LOADMUSIC, after its DATADIR, takes that decode.
  ASSERT_EQ(::chdir("sub"), 0);
  std::string reason;
  const uint32_t stream = OpenStream("song.wav", &reason);
  ASSERT_NE(stream, 0u) << reason;
  pending = PrefetchedMusic();
  EXPECT_EQ(std::count(pending.begin(), pending.end(), song), 0);
  TPcm16 range;
  ASSERT_TRUE(StreamAudioRange(stream, 1.0, 1.5, range));
  ASSERT_EQ(range.Samples.size(), 4000u);
  for (size_t i = 0; i < range.Samples.size(); i += 499)
    ASSERT_EQ(range.Samples[i], static_cast<int16_t>((8000 + i) % 20000)) << i;
}
