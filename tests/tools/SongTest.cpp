// The sample production's song: the demotrack and the rendered music must agree, so that bars,
// flashes and particles hit the beats. Onsets are found from the decoded samples of the Ogg
// Vorbis files, the same way the production's music is written.
#include "common/AudioFiles.h"
#include "common/Song.h"
#include "common/Synth.h"

#include "support/RunVorpane.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

namespace {

std::vector<float> Mono(const TStereoAudio& audio) {
  std::vector<float> mono(audio.Left.size());
  for (size_t i = 0; i < mono.size(); ++i) mono[i] = 0.5f * (audio.Left[i] + audio.Right[i]);
  return mono;
}

TStereoAudio ThroughOggVorbis(const TStereoAudio& audio, const std::string& name) {
  const std::string path = MakeTempFolder() + "/" + name;
  EXPECT_TRUE(WriteOggVorbis(path, audio));
  TStereoAudio decoded;
  EXPECT_TRUE(ReadAudioFile(path, decoded));
  return decoded;
}

// Onsets without knowing where to look: the first sample above a tenth of the peak after 10 ms
// below it.
std::vector<int64_t> FindOnsets(const std::vector<float>& samples, int32_t sampleRate) {
  float peak = 0.0f;
  for (float s : samples) peak = std::max(peak, std::fabs(s));
  const size_t quietSpan = static_cast<size_t>(sampleRate / 100);
  std::vector<int64_t> onsets;
  size_t quietSince = 0;  // first sample of the current run of quiet samples
  for (size_t i = 0; i < samples.size(); ++i) {
    if (std::fabs(samples[i]) < 0.1f * peak) continue;
    if (i >= quietSince + quietSpan) onsets.push_back(static_cast<int64_t>(i));
    quietSince = i + 1;
  }
  return onsets;
}

// Where a sound of the given shape starts near the expected sample: the start, within 30 ms,
// at which the samples best match the shape (normalised cross-correlation).
int64_t BestMatchNear(const std::vector<float>& samples, const std::vector<float>& shape,
                      int64_t around, int32_t sampleRate) {
  const int64_t window = 30 * sampleRate / 1000;
  int64_t best = -1;
  double bestScore = -2.0;
  for (int64_t start = around - window; start <= around + window; ++start) {
    if (start < 0 || static_cast<size_t>(start) + shape.size() > samples.size()) continue;
    double dot = 0, energy = 0;
    for (size_t i = 0; i < shape.size(); ++i) {
      const double s = samples[static_cast<size_t>(start) + i];
      dot += s * shape[i];
      energy += s * s;
    }
    const double score = energy > 0 ? dot / std::sqrt(energy) : 0.0;
    if (score > bestScore) {
      bestScore = score;
      best = start;
    }
  }
  return best;
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<int32_t> RowsWithValue(const TDemotrackGrid& grid, int channel) {
  std::vector<int32_t> rows;
  const std::vector<uint8_t>& bytes = grid[static_cast<size_t>(channel)];
  for (size_t r = 0; r < bytes.size(); ++r)
    if (bytes[r] != 0) rows.push_back(static_cast<int32_t>(r));
  return rows;
}

}  // namespace

TEST(Song, EveryKickOfTheDemotrackStartsInTheMusicWithinOneMillisecond) {
  const TSong song = MoltraxSong();
  const TDemotrackGrid grid = SongDemotrack(song);
  const std::vector<int32_t> kickRows = RowsWithValue(grid, kKickChannel);
  ASSERT_GT(kickRows.size(), 90u);

  // The kick alone, found blind: one onset per kick row, each within 1 ms of the row's time.
  const TStereoAudio kicks =
      ThroughOggVorbis(RenderSong(song, 44100, SongPartBit(TSongPart::Kick)), "kicks.ogg");
  const std::vector<int64_t> onsets = FindOnsets(Mono(kicks), kicks.SampleRate);
  ASSERT_EQ(onsets.size(), kickRows.size());
  for (size_t i = 0; i < onsets.size(); ++i) {
    const double rowSeconds = SongRowSeconds(song, kickRows[i]);
    EXPECT_NEAR(static_cast<double>(onsets[i]) / kicks.SampleRate, rowSeconds, 0.001)
        << "kick on row " << kickRows[i];
  }

  // The whole mix as the production plays it: the first 15 ms of a kick, taken from the kick
  // alone, is found in the mix within 1 ms of every kick row's time.
  const std::vector<float> kickMono = Mono(kicks);
  const std::vector<float> shape(kickMono.begin() + onsets[0],
                                 kickMono.begin() + onsets[0] + 15 * kicks.SampleRate / 1000);
  const TStereoAudio mix = ThroughOggVorbis(RenderSong(song), "mix.ogg");
  const std::vector<float> mono = Mono(mix);
  for (int32_t row : kickRows) {
    const double rowSeconds = SongRowSeconds(song, row);
    const int64_t expected = std::llround(rowSeconds * mix.SampleRate);
    EXPECT_NEAR(static_cast<double>(BestMatchNear(mono, shape, expected, mix.SampleRate)) /
                    mix.SampleRate,
                rowSeconds, 0.001)
        << "kick on row " << row;
  }
}

TEST(Song, FormLengthAndChannelsFitTheProduction) {
  const TSong song = MoltraxSong();
  const double seconds = SongRowSeconds(song, song.RowCount);
  EXPECT_GE(seconds, 60.0);
  EXPECT_LE(seconds, 90.0);
  const TDemotrackGrid grid = SongDemotrack(song);
  ASSERT_EQ(grid.size(), static_cast<size_t>(kSongChannelCount));
  for (const auto& channel : grid) EXPECT_EQ(channel.size(), static_cast<size_t>(song.RowCount));

  // Every section is marked with its number on its first row, and only there.
  const std::vector<int32_t> marks = RowsWithValue(grid, kSectionChannel);
  ASSERT_EQ(marks.size(), song.Sections.size());
  for (size_t i = 0; i < marks.size(); ++i) {
    EXPECT_EQ(marks[i], song.Sections[i].FirstRow);
    EXPECT_EQ(grid[kSectionChannel][static_cast<size_t>(marks[i])], i + 1);
  }
  // Bass notes carry their pitch; hats tell open (2) from closed (1).
  for (uint8_t note : grid[kBassChannel]) EXPECT_TRUE(note == 0 || (note >= 24 && note < 60));
  const auto& hats = grid[kHatChannel];
  EXPECT_NE(std::find(hats.begin(), hats.end(), 2), hats.end());
  EXPECT_NE(std::find(hats.begin(), hats.end(), 1), hats.end());

  // Two renders are the same to the sample; the render lasts the rows plus the tail.
  const TStereoAudio first = RenderSong(song, 22050), second = RenderSong(song, 22050);
  EXPECT_EQ(first.Left, second.Left);
  EXPECT_EQ(first.Left.size(),
            static_cast<size_t>(SongRowSample(song, song.RowCount, 22050) + kSongTailSeconds * 22050));

  // The same sound written twice gives the same file, and it still decodes to that sound.
  TStereoAudio bar;
  bar.SampleRate = 22050;
  bar.Left.assign(first.Left.begin(), first.Left.begin() + 4 * 22050);
  bar.Right.assign(first.Right.begin(), first.Right.begin() + 4 * 22050);
  const std::string folder = MakeTempFolder();
  ASSERT_TRUE(WriteOggVorbis(folder + "/a.ogg", bar));
  ASSERT_TRUE(WriteOggVorbis(folder + "/b.ogg", bar));
  EXPECT_EQ(FileBytes(folder + "/a.ogg"), FileBytes(folder + "/b.ogg"));
  TStereoAudio decoded;
  ASSERT_TRUE(ReadAudioFile(folder + "/a.ogg", decoded));
  ASSERT_EQ(decoded.Left.size(), bar.Left.size());
  double error = 0;
  for (size_t i = 0; i < bar.Left.size(); ++i) error += std::fabs(decoded.Left[i] - bar.Left[i]);
  EXPECT_LT(error / static_cast<double>(bar.Left.size()), 0.01);
}
