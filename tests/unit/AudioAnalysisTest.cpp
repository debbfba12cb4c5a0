// Demotracks from recordings: a synthesised groove at a known tempo (kicks on the beats, ticks
// between them, a mid-range tone on two beats of each bar, then silence) must give that tempo,
// beats on the beat rows, each sound in its own band's channel and the loudness of each part;
// the player's TRACKER takes the recording; bad files give one message. Kicks and metronome
// clicks on the rows of their tempo must give beats and onsets on those rows.
#include "common/TestAudio.h"
#include "demo/Tracker.h"
#include "support/TestSystem.h"
#include "sync/AudioAnalysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <random>

namespace {

constexpr int kRate = 44100;
constexpr double kBpm = 128.0;
constexpr double kBeat = 60.0 / kBpm;
constexpr double kFirst = 0.05;  // first kick; well inside its row, away from row edges
constexpr int kBeats = 48;

// Adds a decaying burst: a sine of `hz` (or noise when hz is 0) with a 3 ms rise.
void AddBurst(std::vector<float>& out, double at, double hz, double seconds, double gain,
              std::mt19937& random) {
  std::uniform_real_distribution<float> noise(-1.f, 1.f);
  const size_t start = static_cast<size_t>(at * kRate);
  const size_t length = static_cast<size_t>(seconds * kRate);
  for (size_t i = 0; i < length && start + i < out.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double envelope = std::min(1.0, t / 0.003) * std::exp(-t * 5.0 / seconds);
    const double wave = hz > 0 ? std::sin(2 * M_PI * hz * t) : noise(random);
    out[start + i] += static_cast<float>(gain * envelope * wave);
  }
}

// Kicks (60 Hz) on every beat, 9 kHz ticks half-way between, a 1 kHz tone on the second and
// fourth beat of each bar; 4 s of silence after the last beat. (A kick's attack may also count
// as a mid-band onset, as it does in real music.)
std::vector<float> Groove() {
  std::vector<float> out(static_cast<size_t>((kFirst + kBeats * kBeat + 4.0) * kRate), 0.f);
  std::mt19937 random(7);
  for (int k = 0; k < kBeats; ++k) {
    const double t = kFirst + k * kBeat;
    AddBurst(out, t, 60.0, 0.18, 0.6, random);
    AddBurst(out, t + kBeat / 2, 9000.0, 0.03, 0.25, random);
    if (k % 2 == 1) AddBurst(out, t, 1000.0, 0.08, 0.3, random);
  }
  return out;
}

// The row an event at t lands on: the one whose start is nearest.
int Row(double t, double bpm) { return static_cast<int>(std::floor(t * bpm * 4.0 / 60.0 + 0.5)); }

// Rows of `channel` that hold an event.
std::vector<int> EventRows(const TDemotrackData& track, int channel) {
  std::vector<int> rows;
  const auto& values = track.Channels.at(static_cast<size_t>(channel));
  for (size_t r = 0; r < values.size(); ++r)
    if (values[r] != 0) rows.push_back(static_cast<int>(r));
  return rows;
}

bool Has(const std::vector<int>& rows, int row) {
  return std::find(rows.begin(), rows.end(), row) != rows.end();
}

}  // namespace

TEST(AudioAnalysis, GrooveGivesTempoBeatsBandsAndLoudness) {
  const std::vector<float> mono = Groove();
  TDemotrackData track;
  double bpm = 0;
  std::string error;
  ASSERT_TRUE(AnalyseAudio(mono.data(), mono.size(), kRate, TTrackGrid{}, track, bpm, error))
      << error;
  EXPECT_NEAR(bpm, kBpm, kBpm * 0.01);
  ASSERT_EQ(track.Channels.size(), static_cast<size_t>(kAudioChannelCount));
  EXPECT_EQ(track.Channels[0].size(),
            static_cast<size_t>(static_cast<double>(mono.size()) / kRate * bpm / 15.0) + 1);

  const std::vector<int> beats = EventRows(track, kAudioBeatChannel);
  const std::vector<int> onsets = EventRows(track, kAudioOnsetChannel);
  const std::vector<int> low = EventRows(track, kAudioLowChannel);
  const std::vector<int> mid = EventRows(track, kAudioMidChannel);
  const std::vector<int> high = EventRows(track, kAudioHighChannel);
  int beatHits = 0;
  for (int k = 1; k < kBeats; ++k) {  // the tracker may need the first beat to settle
    SCOPED_TRACE(k);
    const int kickRow = Row(kFirst + k * kBeat, bpm);
    const int tickRow = Row(kFirst + (k + 0.5) * kBeat, bpm);
    beatHits += Has(beats, kickRow);
    EXPECT_TRUE(Has(onsets, kickRow));
    EXPECT_TRUE(Has(onsets, tickRow));
    EXPECT_TRUE(Has(low, kickRow));
    EXPECT_FALSE(Has(low, tickRow));
    EXPECT_TRUE(Has(high, tickRow));
    EXPECT_FALSE(Has(high, kickRow));
    if (k % 2 == 1) {
      EXPECT_TRUE(Has(mid, kickRow));
    }
    EXPECT_FALSE(Has(mid, tickRow));
  }
  EXPECT_GE(beatHits, kBeats - 3);
  EXPECT_LE(beats.size(), static_cast<size_t>(kBeats + 1));
  for (int row : beats) EXPECT_LE(track.Channels[kAudioBeatChannel][static_cast<size_t>(row)], 2);

  // Loud while the groove plays, the lowest value in the silence after it, never 0.
  const auto& loudness = track.Channels[kAudioLoudnessChannel];
  const int end = Row(kFirst + kBeats * kBeat, bpm);
  EXPECT_GT(loudness[static_cast<size_t>(Row(kFirst, bpm))], 180);
  for (size_t r = static_cast<size_t>(end) + 4; r < loudness.size(); ++r) EXPECT_EQ(loudness[r], 1);
  for (uint8_t v : loudness) EXPECT_GE(v, 1);

  // A finer grid is the same music at a BPM twice as high; a forced tempo places the events on
  // its own grid.
  TDemotrackData fine;
  double fineBpm = 0;
  ASSERT_TRUE(AnalyseAudio(mono.data(), mono.size(), kRate, TTrackGrid{0.0, 8}, fine, fineBpm,
                           error)) << error;
  EXPECT_DOUBLE_EQ(fineBpm, 2 * bpm);
  EXPECT_TRUE(Has(EventRows(fine, kAudioLowChannel), Row(kFirst + 10 * kBeat, fineBpm)));
  TDemotrackData forced;
  double forcedBpm = 0;
  ASSERT_TRUE(AnalyseAudio(mono.data(), mono.size(), kRate, TTrackGrid{100.0, 4}, forced,
                           forcedBpm, error)) << error;
  EXPECT_EQ(forcedBpm, 100.0);
  EXPECT_TRUE(Has(EventRows(forced, kAudioLowChannel), Row(kFirst + 10 * kBeat, 100.0)));

  // From a file whose right channel is the left one inverted (which cancels in a plain mix).
  TPcm16 pcm;
  pcm.SampleRate = kRate;
  pcm.Channels = 2;
  for (float v : mono) {
    const auto sample = static_cast<int16_t>(std::lround(v * 32000.f));
    pcm.Samples.push_back(sample);
    pcm.Samples.push_back(static_cast<int16_t>(-sample));
  }
  const std::string folder = MakeTempFolder();
  const std::string path = folder + "/groove.flac";
  ASSERT_TRUE(WriteAudioFile(path, pcm, TAudioFormat::Flac, error)) << error;
  TDemotrackData fromFile;
  double fileBpm = 0;
  ASSERT_TRUE(AnalyseAudioFile(path, TTrackGrid{}, fromFile, fileBpm, error)) << error;
  EXPECT_NEAR(fileBpm, kBpm, kBpm * 0.01);
  EXPECT_TRUE(Has(EventRows(fromFile, kAudioLowChannel), Row(kFirst + 10 * kBeat, fileBpm)));

  // The player's TRACKER takes the recording itself, at its own tempo.
  RedirectUserCache(folder + "/cache");
  TDemoTracker tracker;
  tracker.LoadTrackerFile(path);
  RestoreUserCache();
  EXPECT_EQ(tracker.MusicKind, "audio file");
  EXPECT_NEAR(tracker.BPM, kBpm, kBpm * 0.01);
  EXPECT_EQ(tracker.ByteAt(kAudioLowChannel, Row(kFirst + 10 * kBeat, tracker.BPM)), 1);
}

TEST(AudioAnalysis, BadInputGivesOneMessage) {
  const std::string folder = MakeTempFolder();
  TDemotrackData track;
  double bpm = 0;
  std::string error;
  // Not audio at all.
  const std::string garbage = folder + "/song.ogg";
  std::ofstream(garbage, std::ios::binary) << std::string(4096, '\x5a');
  EXPECT_FALSE(AnalyseAudioFile(garbage, TTrackGrid{}, track, bpm, error));
  EXPECT_NE(error.find("not music"), std::string::npos) << error;
  EXPECT_FALSE(AnalyseAudioFile(folder + "/missing.wav", TTrackGrid{}, track, bpm, error));
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;

  // 16 MiB of noise behind the magic of each container, and a FLAC file damaged after its
  // first frames: one line, quickly.
  std::mt19937 random(3);
  std::string noise(16u << 20, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  TPcm16 pcm;
  pcm.SampleRate = kRate;
  pcm.Channels = 1;
  for (int i = 0; i < kRate * 4; ++i) pcm.Samples.push_back(static_cast<int16_t>(random() % 20000));
  ASSERT_TRUE(WriteAudioFile(folder + "/damaged.flac", pcm, TAudioFormat::Flac, error)) << error;
  std::string flac;
  {
    std::ifstream in(folder + "/damaged.flac", std::ios::binary);
    flac.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  ASSERT_GT(flac.size(), 40000u);
  flac.replace(20000, 20000, noise, 0, 20000);
  std::ofstream(folder + "/damaged.flac", std::ios::binary) << flac;
  std::vector<std::string> names = {"damaged.flac"};
  for (const std::string magic : {"OggS", "fLaC", "ID3", "RIFF\xff\xff\xff\xffWAVE"}) {
    names.push_back("hostile" + std::to_string(names.size()));
    std::ofstream(folder + "/" + names.back(), std::ios::binary) << magic << noise;
  }
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const auto start = std::chrono::steady_clock::now();
    error.clear();
    EXPECT_FALSE(AnalyseAudioFile(folder + "/" + name, TTrackGrid{}, track, bpm, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
  }

  // Silence and a blip too short for a tempo: no tempo unless one is given, no crash.
  std::vector<float> silence(kRate * 3, 0.f);
  error.clear();
  EXPECT_FALSE(AnalyseAudio(silence.data(), silence.size(), kRate, TTrackGrid{}, track, bpm,
                            error));
  EXPECT_NE(error.find("--bpm"), std::string::npos) << error;
  ASSERT_TRUE(AnalyseAudio(silence.data(), silence.size(), kRate, TTrackGrid{120.0, 4}, track,
                           bpm, error)) << error;
  EXPECT_EQ(track.Channels[kAudioLoudnessChannel].size(), static_cast<size_t>(Row(3.0, 120) + 1));
  std::vector<float> blip(kRate / 2, 0.f);
  blip[100] = 1.f;
  EXPECT_TRUE(AnalyseAudio(blip.data(), blip.size(), kRate, TTrackGrid{120.0, 4}, track, bpm,
                           error)) << error;
  EXPECT_FALSE(AnalyseAudio(blip.data(), blip.size(), 0, TTrackGrid{120.0, 4}, track, bpm, error));
}

// A flash peaks at its row's start: on kick and click tracks whose hits fall on row starts, the
// rows of the beats and onsets nearest each hit must start within 5 ms of it on the mean, every
// hit must be a beat (at 60 and 200 BPM the tracker alone takes twice or half the tempo), every
// click an onset, and no beat may lie away from the hits.
TEST(AudioAnalysis, KicksAndClicksLandOnTheRowsOfTheirHits) {
  struct TCase {
    TBeatSound Sound;
    double Bpm;
    int Rate;
  };
  for (const TCase& c : {TCase{TBeatSound::Kick, 60, 48000}, TCase{TBeatSound::Click, 60, 44100},
                         TCase{TBeatSound::Click, 123, 48000}, TCase{TBeatSound::Kick, 200, 48000},
                         TCase{TBeatSound::Click, 200, 44100}}) {
    const bool kicks = c.Sound == TBeatSound::Kick;
    SCOPED_TRACE(std::to_string(c.Bpm) + " BPM, " + std::to_string(c.Rate) + " Hz, " +
                 (kicks ? "kicks" : "clicks"));
    const double beat = 60.0 / c.Bpm;
    constexpr int kHits = 24;
    const TPcm16 pcm = MakeBeatTrack(c.Rate, c.Bpm, (kHits + 0.9) * beat, c.Sound, beat);
    std::vector<float> mono;
    for (int16_t v : pcm.Samples) mono.push_back(v / 32768.f);
    TDemotrackData track;
    double bpm = 0;
    std::string error;
    ASSERT_TRUE(AnalyseAudio(mono.data(), mono.size(), c.Rate, TTrackGrid{}, track, bpm, error))
        << error;
    auto seconds = [&](int row) { return row * 15.0 / bpm; };
    for (int channel : {kAudioBeatChannel, kAudioOnsetChannel, kAudioLowChannel}) {
      if (channel == kAudioLowChannel && !kicks) continue;  // clicks have no bass
      SCOPED_TRACE(channel);
      const std::vector<int> rows = EventRows(track, channel);
      double sum = 0;
      int found = 0;
      for (int k = 1; k <= kHits; ++k) {
        int nearest = -1;
        for (int row : rows)
          if (nearest < 0 ||
              std::fabs(seconds(row) - k * beat) < std::fabs(seconds(nearest) - k * beat))
            nearest = row;
        if (nearest < 0 || std::fabs(seconds(nearest) - k * beat) > beat / 2) continue;
        sum += seconds(nearest) - k * beat;
        ++found;
      }
      // The tracker may need a beat to settle.
      EXPECT_GE(found, channel == kAudioBeatChannel ? kHits - 1 : kHits);
      ASSERT_GT(found, 0);
      EXPECT_LT(std::fabs(sum / found), 0.005);
      if (channel == kAudioBeatChannel) {
        for (int row : rows)
          EXPECT_LT(std::fabs(std::remainder(seconds(row), beat)), 0.02) << "row " << row;
      }
      if (channel == kAudioOnsetChannel && !kicks) {
        EXPECT_EQ(rows.size(), static_cast<size_t>(kHits));
      }
    }
  }
}
