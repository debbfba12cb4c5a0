#include "platform/AudioDecode.h"

#include "platform/Files.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

constexpr sf_count_t kChunkFrames = 4096;

// Normalised float to 16-bit: ×32768 makes 16-bit sources round-trip exactly; louder floats clip.
int16_t FloatToSample(float value) {
  const float scaled = std::nearbyint(value * 32768.0f);
  if (!(scaled > -32768.0f)) return -32768;  // also NaN
  if (scaled > 32767.0f) return 32767;
  return static_cast<int16_t>(scaled);
}

bool FileExists(const std::string& name, std::string& reason) {
  FILE* file = std::fopen(name.c_str(), "rb");
  if (!file) {
    reason = std::strerror(errno);
    return false;
  }
  std::fclose(file);
  return true;
}

}  // namespace

bool DecodeAudioFile(const std::string& fileName, TPcm16& pcm, std::string& reason) {
  pcm = TPcm16();
  const std::string path = ResolveFileName(fileName);
  if (!FileExists(path, reason)) return false;

  SF_INFO info{};
  SndfilePtr file(sf_open(path.c_str(), SFM_READ, &info));
  if (!file) {
    reason = sf_strerror(nullptr);
    return false;
  }
  if (info.channels < 1 || info.channels > 2) {
    reason = "it has " + std::to_string(info.channels) +
             " channels; only mono and stereo music can be played";
    return false;
  }
  if (info.samplerate < 1000 || info.samplerate > 384000) {
    reason = "unsupported sample rate " + std::to_string(info.samplerate) + " Hz";
    return false;
  }
  const int64_t maxFrames = static_cast<int64_t>(kMaxMusicSeconds * info.samplerate);
  if (info.frames > maxFrames) {
    reason = "it is longer than " + std::to_string(static_cast<int>(kMaxMusicSeconds / 60)) +
             " minutes";
    return false;
  }
  pcm.SampleRate = info.samplerate;
  pcm.Channels = info.channels;
  // The header's frame count is only a hint (it may lie); it is within the limit checked above.
  if (info.frames > 0) pcm.Samples.reserve(static_cast<size_t>(info.frames) * info.channels);

  std::vector<float> chunk(static_cast<size_t>(kChunkFrames) * info.channels);
  for (;;) {
    const sf_count_t got = sf_readf_float(file.get(), chunk.data(), kChunkFrames);
    if (got <= 0) break;
    if (pcm.FrameCount() + got > maxFrames) {
      reason = "it is longer than " + std::to_string(static_cast<int>(kMaxMusicSeconds / 60)) +
               " minutes";
      pcm = TPcm16();
      return false;
    }
    const size_t count = static_cast<size_t>(got) * info.channels;
    for (size_t i = 0; i < count; ++i) pcm.Samples.push_back(FloatToSample(chunk[i]));
  }
  if (sf_error(file.get()) != SF_ERR_NO_ERROR) {
    reason = std::string("decoding failed: ") + sf_strerror(file.get());
    pcm = TPcm16();
    return false;
  }
  if (pcm.Samples.empty()) {
    reason = "it holds no audio";
    pcm = TPcm16();
    return false;
  }
  // A header that promised more frames than came leaves spare room; give it back.
  if (pcm.Samples.capacity() > pcm.Samples.size() + pcm.Samples.size() / 8) pcm.Samples.shrink_to_fit();
  return true;
}
