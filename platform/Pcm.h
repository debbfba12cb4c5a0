// Decoded music in memory: interleaved 16-bit sample frames and the bound on how much a file
// may decode to. Shared by the stream decoder and the module renderer.
#pragma once
#include <cstdint>
#include <vector>

// Interleaved signed 16-bit sample frames.
struct TPcm16 {
  int32_t SampleRate = 0;        // frames per second
  int32_t Channels = 0;          // samples per frame (1 or 2 for music)
  std::vector<int16_t> Samples;  // FrameCount() * Channels values

  // Number of whole sample frames held.
  int64_t FrameCount() const {
    return Channels > 0 ? static_cast<int64_t>(Samples.size()) / Channels : 0;
  }
};

// The most decoded music accepted: 30 minutes of 48 kHz stereo, 346 MB (bounds the memory a file
// can make us allocate).
constexpr double kMaxMusicSeconds = 30.0 * 60.0;
constexpr int64_t kMaxMusicSamples = static_cast<int64_t>(kMaxMusicSeconds) * 48000 * 2;
