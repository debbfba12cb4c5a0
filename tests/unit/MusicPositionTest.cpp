// Playing position and speed: with SDL's dummy driver, and with no sound device at all.
#include "common/TestAudio.h"
#include "platform/KestoBASS.h"
#include "support/TestSystem.h"

#include <gtest/gtest.h>
#include <SDL2/SDL.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double CounterSeconds() {
  return static_cast<double>(SDL_GetPerformanceCounter()) /
         static_cast<double>(SDL_GetPerformanceFrequency());
}

uint32_t OpenGenerated(const TPcm16& pcm) {
  const std::string path = MakeTempFolder() + "/music.wav";
  std::string error;
  if (!WriteAudioFile(path, pcm, TAudioFormat::Wav, error)) return 0;
  return OpenStream(path);
}

// Polls the position for a while; checks it never steps back and returns the slope of the
// least-squares line through (wall time, position).
double PollSlope(uint32_t stream, double seconds) {
  std::vector<double> t, p;
  const double start = CounterSeconds();
  while (CounterSeconds() - start < seconds) {
    t.push_back(CounterSeconds() - start);
    p.push_back(StreamPosition(stream));
    if (p.size() > 1) {
      EXPECT_GE(p.back(), p[p.size() - 2]) << "stepped back at " << t.back();
    }
    SDL_Delay(2);
  }
  double mt = 0, mp = 0;
  for (size_t i = 0; i < t.size(); ++i) mt += t[i], mp += p[i];
  mt /= t.size();
  mp /= p.size();
  double num = 0, den = 0;
  for (size_t i = 0; i < t.size(); ++i) num += (t[i] - mt) * (p[i] - mp), den += (t[i] - mt) * (t[i] - mt);
  return num / den;
}

// Sets an environment variable for one test and gives it back its value afterwards, so the
// tests after it still find the dummy sound device.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    if (old) old_ = old;
    hadOld_ = old != nullptr;
    SetEnvironment(name, value);
  }
  ~ScopedEnvironment() {
    if (hadOld_)
      SetEnvironment(name_, old_);
    else
      UnsetEnvironment(name_);
  }

 private:
  const char* name_;
  std::string old_;
  bool hadOld_ = false;
};

}  // namespace

TEST(MusicPosition, FollowsPlaybackAtSpeedOneAndTwoAndSeeksExactly) {
  ASSERT_TRUE(InitAudio(nullptr));
  // 8 kHz mono keeps the 40-second file small.
  const uint32_t stream = OpenGenerated(MakeClickTrack(8000, 1, 40.0));
  ASSERT_NE(stream, 0u);
  EXPECT_EQ(StreamPosition(stream), 0.0f);
  EXPECT_TRUE(SetStreamPosition(stream, 3.0f));
  ASSERT_TRUE(PlayStream(stream));
  EXPECT_NEAR(PollSlope(stream, 2.0), 1.0, 0.02);
  EXPECT_GT(StreamPosition(stream), 4.8f);

  ASSERT_TRUE(SetStreamSpeed(stream, 2.0f));
  EXPECT_EQ(StreamFrequency(stream), 16000u);
  EXPECT_NEAR(PollSlope(stream, 2.0), 2.0, 0.04);

  ASSERT_TRUE(SetStreamPosition(stream, 30.0f));
  const double seekTime = CounterSeconds();
  EXPECT_NEAR(StreamPosition(stream), 30.0f, 0.001f);
  SDL_Delay(200);
  // Twice the time since the seek, less at most the wait for the device's next buffer.
  const double position = StreamPosition(stream);
  const double expected = 30.0 + 2.0 * (CounterSeconds() - seekTime);
  EXPECT_LE(position, expected + 0.001);
  EXPECT_GE(position, expected - 0.1);
}

TEST(MusicPosition, SeekIsSampleExactAndSpeedCompounds) {
  const uint32_t stream = OpenGenerated(MakeConstant(8000, 1, 1.0, 0));
  ASSERT_NE(stream, 0u);
  ASSERT_TRUE(SetStreamPosition(stream, 0.123456f));
  EXPECT_FLOAT_EQ(StreamPosition(stream), 988.0f / 8000.0f);  // nearest frame to 987.6
  ASSERT_TRUE(SetStreamPosition(stream, -2.5f));              // before the start: silence
  EXPECT_FLOAT_EQ(StreamPosition(stream), -2.5f);
  EXPECT_FALSE(SetStreamPosition(stream, NAN));
  EXPECT_FLOAT_EQ(StreamPosition(stream), -2.5f);

  // Each call scales the frequency the stream has now.
  EXPECT_TRUE(SetStreamSpeed(stream, 1.5f));
  EXPECT_TRUE(SetStreamSpeed(stream, 1.5f));
  EXPECT_EQ(StreamFrequency(stream), 18000u);
  // Factors that leave no playable frequency change nothing.
  EXPECT_FALSE(SetStreamSpeed(stream, 0.0f));
  EXPECT_FALSE(SetStreamSpeed(stream, -1.0f));
  EXPECT_FALSE(SetStreamSpeed(stream, NAN));
  EXPECT_EQ(StreamFrequency(stream), 18000u);

  EXPECT_FALSE(PlayStream(0));
  EXPECT_FALSE(SetStreamPosition(stream + 1, 1.0f));
  EXPECT_FALSE(SetStreamSpeed(stream + 1, 1.0f));
  EXPECT_EQ(StreamPosition(stream + 1), 0.0f);
}

TEST(MusicPosition, WithoutADeviceTheMusicRunsSilentlyOnTheClock) {
  ScopedEnvironment noDevice("SDL_AUDIODRIVER", "no-such-driver");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(InitAudio(nullptr));
  EXPECT_FALSE(InitAudio(nullptr));  // tried once, reported once
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("No sound device"), std::string::npos) << err;
  EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;

  const uint32_t stream = OpenGenerated(MakeClickTrack(8000, 1, 10.0));
  ASSERT_NE(stream, 0u);
  ASSERT_TRUE(SetStreamPosition(stream, 2.0f));
  ASSERT_TRUE(PlayStream(stream));
  ASSERT_TRUE(SetStreamSpeed(stream, 2.0f));
  const double playTime = CounterSeconds();
  EXPECT_NEAR(PollSlope(stream, 1.0), 2.0, 0.02);
  // On the clock the position is exact: two seconds of music per second since the start.
  const double position = StreamPosition(stream);
  EXPECT_NEAR(position, 2.0 + 2.0 * (CounterSeconds() - playTime), 0.01);
}

TEST(MusicPosition, OutputIsTheSourceResampledToTheDeviceRate) {
  ScopedEnvironment noDevice("SDL_AUDIODRIVER", "no-such-driver");
  testing::internal::CaptureStderr();
  InitAudio(nullptr);
  testing::internal::GetCapturedStderr();

  // A ramp at the device rate, stereo with the right channel negated.
  TPcm16 ramp;
  ramp.SampleRate = 44100;
  ramp.Channels = 2;
  for (int n = 0; n < 4000; ++n) {
    ramp.Samples.push_back(static_cast<int16_t>(n));
    ramp.Samples.push_back(static_cast<int16_t>(-n));
  }
  const uint32_t stream = OpenGenerated(ramp);
  ASSERT_NE(stream, 0u);
  ASSERT_TRUE(SetStreamPosition(stream, 100.0f / 44100.0f));
  ASSERT_TRUE(PlayStream(stream));
  std::vector<int16_t> out(2 * 256);
  RenderDeviceAudio(out.data(), 256);
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(out[2 * i], 100 + i) << i;
    ASSERT_EQ(out[2 * i + 1], -(100 + i)) << i;
  }
  // Twice the frequency takes every second sample; 1.5 times interpolates between them.
  ASSERT_TRUE(SetStreamSpeed(stream, 2.0f));
  RenderDeviceAudio(out.data(), 100);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(out[2 * i], 356 + 2 * i) << i;
  ASSERT_TRUE(SetStreamSpeed(stream, 0.75f));
  RenderDeviceAudio(out.data(), 100);
  for (int i = 0; i < 100; ++i) ASSERT_NEAR(out[2 * i], 556 + 1.5 * i, 0.51) << i;
  // Past the end of the music the stream plays silence and its position runs on.
  ASSERT_TRUE(SetStreamPosition(stream, 3990.0f / 44100.0f));
  ASSERT_TRUE(SetStreamSpeed(stream, 1.0f / 1.5f));
  RenderDeviceAudio(out.data(), 20);
  EXPECT_EQ(out[2 * 9], 3999);
  for (int i = 10; i < 20; ++i) EXPECT_EQ(out[2 * i], 0) << i;
  // Mono is heard on both sides (the ramp is past its end by now).
  const uint32_t mono = OpenGenerated(MakeConstant(44100, 1, 0.1, 1234));
  ASSERT_TRUE(PlayStream(mono));
  RenderDeviceAudio(out.data(), 4);
  EXPECT_EQ(out[0], 1234);
  EXPECT_EQ(out[1], 1234);
}

TEST(MusicPosition, PauseHoldsThePositionUntilPlayOrSeek) {
  ScopedEnvironment noDevice("SDL_AUDIODRIVER", "no-such-driver");
  testing::internal::CaptureStderr();
  InitAudio(nullptr);
  testing::internal::GetCapturedStderr();
  const uint32_t stream = OpenGenerated(MakeConstant(8000, 1, 10.0, 1000));
  ASSERT_NE(stream, 0u);
  ASSERT_TRUE(SetStreamPosition(stream, 1.0f));
  ASSERT_TRUE(PlayStream(stream));
  SDL_Delay(200);
  ASSERT_TRUE(PauseStream(stream));
  const float paused = StreamPosition(stream);
  EXPECT_GT(paused, 1.1f);
  SDL_Delay(200);
  EXPECT_EQ(StreamPosition(stream), paused);
  EXPECT_TRUE(PauseStream(stream)) << "pausing a paused stream changes nothing";
  EXPECT_EQ(StreamPosition(stream), paused);
  // A seek while paused moves the held position; play runs on from there.
  ASSERT_TRUE(SetStreamPosition(stream, 4.0f));
  SDL_Delay(100);
  EXPECT_FLOAT_EQ(StreamPosition(stream), 4.0f);
  ASSERT_TRUE(PlayStream(stream));
  SDL_Delay(200);
  EXPECT_GT(StreamPosition(stream), 4.15f);
  EXPECT_LT(StreamPosition(stream), 6.0f);
  // Nothing is heard while paused: the device's mix of the stream is silence.
  std::vector<int16_t> playing(2 * 4410, 0);
  RenderDeviceAudio(playing.data(), 4410);
  EXPECT_NE(playing[100], 0) << "the music is heard while it plays";
  ASSERT_TRUE(PauseStream(stream));
  std::vector<int16_t> out(2 * 4410, 1);
  RenderDeviceAudio(out.data(), 4410);
  for (int16_t sample : out) ASSERT_EQ(sample, 0);
  EXPECT_FALSE(PauseStream(stream + 1));
  EXPECT_FALSE(PauseStream(0));
}
