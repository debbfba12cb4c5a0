#include "common/AudioFiles.h"

#include <sndfile.h>

#include <algorithm>

bool WriteOggVorbis(const std::string& fileName, const TStereoAudio& audio, double quality) {
  if (audio.Left.size() != audio.Right.size() || audio.SampleRate <= 0) return false;
  SF_INFO info{};
  info.samplerate = audio.SampleRate;
  info.channels = 2;
  info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
  SNDFILE* file = sf_open(fileName.c_str(), SFM_WRITE, &info);
  if (!file) return false;
  double level = std::clamp(quality, 0.0, 1.0);
  sf_command(file, SFC_SET_VBR_ENCODING_QUALITY, &level, sizeof level);
  // Frames go to the encoder in blocks, interleaved left/right.
  constexpr size_t kBlock = 4096;
  std::vector<float> interleaved(kBlock * 2);
  bool ok = true;
  for (size_t start = 0; start < audio.Left.size() && ok; start += kBlock) {
    const size_t count = std::min(kBlock, audio.Left.size() - start);
    for (size_t i = 0; i < count; ++i) {
      interleaved[2 * i] = audio.Left[start + i];
      interleaved[2 * i + 1] = audio.Right[start + i];
    }
    ok = sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(count)) ==
         static_cast<sf_count_t>(count);
  }
  return sf_close(file) == 0 && ok;
}

bool ReadAudioFile(const std::string& fileName, TStereoAudio& audio) {
  SF_INFO info{};
  SNDFILE* file = sf_open(fileName.c_str(), SFM_READ, &info);
  if (!file) return false;
  if (info.channels <= 0 || info.samplerate <= 0) {
    sf_close(file);
    return false;
  }
  const size_t channels = static_cast<size_t>(info.channels);
  audio = TStereoAudio();
  audio.SampleRate = info.samplerate;
  constexpr size_t kBlock = 4096;
  std::vector<float> block(kBlock * channels);
  for (;;) {
    const sf_count_t got = sf_readf_float(file, block.data(), static_cast<sf_count_t>(kBlock));
    if (got <= 0) break;
    for (size_t i = 0; i < static_cast<size_t>(got); ++i) {
      audio.Left.push_back(block[i * channels]);
      audio.Right.push_back(block[i * channels + (channels > 1 ? 1 : 0)]);
    }
  }
  sf_close(file);
  return true;
}
