// End to end: the demo follows its music (start time, speed), captures write the music of
// their range, and music that cannot be loaded leaves the demo on its timer.
#include "common/TestAudio.h"
#include "common/TinyModule.h"
#include "platform/AudioDecode.h"
#include "platform/Files.h"
#include "support/RunVorpane.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

void WriteMusic(const std::string& folder, const std::string& name, const TPcm16& pcm) {
  std::string error;
  ASSERT_TRUE(WriteAudioFile(folder + "/" + name, pcm, TAudioFormat::Wav, error)) << error;
}

}  // namespace

TEST(Music, StartTimeAndSpeedComeFromTheMusic) {
  const std::string folder = MakeTempFolder();
  WriteMusic(folder, "music.wav", MakeClickTrack(8000, 1, 40.0));
  // The demo ends a second after its start only if the music was moved to 30 s first.
  WriteTextFile(folder, "moltrax.vrp", "INIT\nLOADMUSIC music.wav\nSTARTTIME 30\nENDTIME 3100\n");
  TRunResult run = RunVorpaneIn(folder, {}, 25);
  EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_GE(run.Seconds, 0.9);
  EXPECT_LT(run.Seconds, 8.0);

  // Twice the speed: six seconds of music pass in about three.
  WriteTextFile(folder, "moltrax.vrp",
                "INIT\nLOADMUSIC music.wav\nSTARTTIME 30\nSPEED 200\nENDTIME 3600\n");
  run = RunVorpaneIn(folder, {}, 25);
  EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_GE(run.Seconds, 2.9);
  EXPECT_LT(run.Seconds, 5.0);
}

TEST(Music, TimeRunsOnPastTheEndOfTheMusic) {
  const std::string folder = MakeTempFolder();
  WriteMusic(folder, "short.wav", MakeConstant(8000, 1, 0.5, 0));
  WriteTextFile(folder, "moltrax.vrp", "INIT\nLOADMUSIC short.wav\nENDTIME 150\n");
  const TRunResult run = RunVorpaneIn(folder, {}, 25);
  EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_GE(run.Seconds, 1.4);
  EXPECT_LT(run.Seconds, 8.0);
}

TEST(Music, CaptureWritesItsFramesAndTheMusicOfItsRange) {
  const std::string folder = MakeTempFolder();
  WriteMusic(folder, "clicks.wav", MakeClickTrack(44100, 2, 20.0));
  WriteTextFile(folder, "moltrax.vrp", "INIT\nLOADMUSIC clicks.wav\nENDTIME 10000\n");
  const TRunResult run =
      RunVorpaneIn(folder, {"--capture", "out", "--fps", "25", "--from", "10.5", "--to", "12.5"}, 120);
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_TRUE(FileExists(folder + "/out/frame_000049.png"));
  EXPECT_FALSE(FileExists(folder + "/out/frame_000050.png"));

  TPcm16 audio;
  std::string reason;
  ASSERT_TRUE(DecodeAudioFile(folder + "/out/audio.wav", audio, reason)) << reason;
  EXPECT_EQ(audio.SampleRate, 44100);
  EXPECT_EQ(audio.Channels, 2);
  EXPECT_NEAR(audio.FrameCount(), 2 * 44100, 44100 / 25);
  // The clicks of 11 s and 12 s of the music lie at 0.5 s and 1.5 s of the range.
  EXPECT_NEAR(FindClick(audio, 0.5) / 44100.0, 0.5, 0.0001);
  EXPECT_NEAR(FindClick(audio, 1.5) / 44100.0, 1.5, 0.0001);
}

TEST(Music, MusicThatCannotBeLoadedIsAScriptErrorAndTheDemoRunsOnItsTimer) {
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "moltrax.vrp", "INIT\nLOADMUSIC nothere.ogg\nENDTIME 100\n");
  TRunResult run = RunVorpaneIn(folder, {}, 25);
  EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_NE(run.Stderr.find("Cannot load music nothere.ogg: No such file or directory"),
            std::string::npos)
      << run.Stderr;
  EXPECT_GE(run.Seconds, 0.9);
  EXPECT_LT(run.Seconds, 8.0);

  WriteTextFile(folder, "noise.mp3", std::string(3000, '\x55'));
  WriteTextFile(folder, "moltrax.vrp", "INIT\nLOADMUSIC noise.mp3\nENDTIME 100\n");
  // A capture without its music would be a silent video: it stops before its first frame.
  run = RunVorpaneIn(folder, {"--capture", "out", "--to", "0.5"}, 60);
  EXPECT_EQ(run.ExitStatus, 1) << run.Stderr;
  EXPECT_NE(run.Stderr.find("Cannot load music noise.mp3: "), std::string::npos) << run.Stderr;
  EXPECT_NE(run.Stderr.find("The music noise.mp3 failed to load; a capture or benchmark needs it"),
            std::string::npos)
      << run.Stderr;
  EXPECT_FALSE(FileExists(folder + "/out/frame_000000.png"));
  EXPECT_FALSE(FileExists(folder + "/out/audio.wav"));
}

TEST(Music, WithoutASoundDeviceTheDemoStillFollowsItsMusic) {
  const std::string folder = MakeTempFolder();
  WriteMusic(folder, "music.wav", MakeClickTrack(8000, 1, 40.0));
  // Two LOADMUSIC lines try the device once; the second music is the one that plays.
  WriteTextFile(folder, "moltrax.vrp",
                "INIT\nLOADMUSIC music.wav\nLOADMUSIC music.wav\nSTARTTIME 30\nENDTIME 3100\n");
  const TRunResult run = RunVorpaneIn(folder, {}, 25, {"SDL_AUDIODRIVER=no-such-driver"});
  EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
  const size_t first = run.Stderr.find("No sound device");
  ASSERT_NE(first, std::string::npos) << run.Stderr;
  EXPECT_EQ(run.Stderr.find("No sound device", first + 1), std::string::npos) << run.Stderr;
  EXPECT_GE(run.Seconds, 0.9);
  EXPECT_LT(run.Seconds, 8.0);
}

TEST(Music, AModuleIsCapturedCheckedAndDrawnLikeAStream) {
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "song.mod", MakeTinyModule());
  WriteTextFile(folder, "moltrax.vrp", "INIT\nLOADMUSIC song.mod\nENDTIME 10000\n");
  TRunResult run =
      RunVorpaneIn(folder, {"--capture", "out", "--fps", "25", "--from", "1", "--to", "3"}, 120);
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  TPcm16 audio;
  std::string reason;
  ASSERT_TRUE(DecodeAudioFile(folder + "/out/audio.wav", audio, reason)) << reason;
  EXPECT_EQ(audio.SampleRate, 44100);
  EXPECT_EQ(audio.Channels, 2);
  EXPECT_EQ(audio.FrameCount(), 2 * 44100);
  // The note is silenced at 1.92 s of the song: 0.92 s into the capture.
  auto loudest = [&audio](double from, double to) {
    int peak = 0;
    const size_t end = static_cast<size_t>(to * 44100) * 2;
    for (size_t i = static_cast<size_t>(from * 44100) * 2; i < end; ++i)
      peak = std::max(peak, std::abs(static_cast<int>(audio.Samples[i])));
    return peak;
  };
  EXPECT_GT(loudest(0.0, 0.9), 3000);
  EXPECT_EQ(loudest(1.0, 2.0), 0);

  run = RunVorpaneIn(folder, {"--check"});
  EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
  run = RunVorpaneIn(folder, {"--timeline", "picture.svg"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  std::ifstream picture(folder + "/picture.svg");
  std::stringstream text;
  text << picture.rdbuf();
  EXPECT_NE(text.str().find("<path class=\"wave\" d=\"M"), std::string::npos);

  WriteTextFile(folder, "song.mod", MakeTinyModule().substr(0, 600));
  run = RunVorpaneIn(folder, {"--check"});
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_NE(run.Stdout.find("Cannot load music song.mod: it is a damaged tracker module"),
            std::string::npos)
      << run.Stdout;
  // A capture without its music stops before its first frame, saying why once.
  run = RunVorpaneIn(folder, {"--capture", "out2", "--to", "0.5"}, 60);
  EXPECT_EQ(run.ExitStatus, 1) << run.Stderr;
  const size_t first = run.Stderr.find("damaged tracker module");
  ASSERT_NE(first, std::string::npos) << run.Stderr;
  EXPECT_EQ(run.Stderr.find("damaged tracker module", first + 1), std::string::npos) << run.Stderr;
}
