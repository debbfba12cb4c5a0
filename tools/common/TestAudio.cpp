#include "common/TestAudio.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Not every C library defines M_PI.
constexpr double kPi = 3.14159265358979323846;

constexpr double kClickHz = 3000.0;
constexpr double kClickSeconds = 0.002;

int16_t ToSample(double value) {
  return static_cast<int16_t>(std::lround(std::max(-1.0, std::min(1.0, value)) * 32767.0));
}

int64_t FramesOf(int32_t rate, double seconds) {
  return static_cast<int64_t>(std::llround(seconds * rate));
}

TPcm16 Silence(int32_t rate, int32_t channels, double seconds) {
  TPcm16 pcm;
  pcm.SampleRate = rate;
  pcm.Channels = channels;
  pcm.Samples.assign(static_cast<size_t>(FramesOf(rate, seconds) * channels), 0);
  return pcm;
}

// Value n of the click burst (n from 0 to its length).
double ClickValue(int32_t rate, int64_t n) {
  const double length = kClickSeconds * rate;
  const double envelope = 0.5 - 0.5 * std::cos(2.0 * kPi * static_cast<double>(n) / length);
  return envelope * std::sin(2.0 * kPi * kClickHz * static_cast<double>(n) / rate);
}

}  // namespace

TPcm16 MakeClickTrack(int32_t rate, int32_t channels, double seconds, double firstClick) {
  TPcm16 pcm = Silence(rate, channels, seconds);
  const int64_t frames = pcm.FrameCount();
  const int64_t length = FramesOf(rate, kClickSeconds);
  for (double at = firstClick; at < seconds; at += 1.0) {
    const int64_t start = FramesOf(rate, at);
    for (int64_t n = 0; n < length && start + n < frames; ++n)
      for (int32_t c = 0; c < channels; ++c)
        pcm.Samples[static_cast<size_t>((start + n) * channels + c)] = ToSample(ClickValue(rate, n));
  }
  return pcm;
}

TPcm16 MakeSine(int32_t rate, double frequency, double seconds, double amplitude, bool opposed) {
  TPcm16 pcm = Silence(rate, opposed ? 2 : 1, seconds);
  for (int64_t n = 0; n < pcm.FrameCount(); ++n) {
    const double value = amplitude * std::sin(2.0 * kPi * frequency * static_cast<double>(n) / rate);
    if (opposed) {
      pcm.Samples[static_cast<size_t>(2 * n)] = ToSample(value);
      pcm.Samples[static_cast<size_t>(2 * n + 1)] = ToSample(-value);
    } else {
      pcm.Samples[static_cast<size_t>(n)] = ToSample(value);
    }
  }
  return pcm;
}

TPcm16 MakeBeatTrack(int32_t rate, double bpm, double seconds, TBeatSound sound,
                     double firstBeat) {
  TPcm16 pcm = Silence(rate, 1, seconds);
  const int64_t frames = pcm.FrameCount();
  const bool kick = sound == TBeatSound::Kick;
  const int64_t length = FramesOf(rate, kick ? 0.25 : 0.010);
  uint32_t noise = 12345;
  std::vector<double> hit(static_cast<size_t>(length));
  double phase = 0.0;
  for (int64_t n = 0; n < length; ++n) {
    const double t = static_cast<double>(n) / rate;
    double value;
    if (kick) {
      // Pitch and level fall together; the noise is gone after 20 ms.
      phase += 2.0 * kPi * (45.0 + 105.0 * std::exp(-t / 0.04)) / rate;
      noise = noise * 1664525u + 1013904223u;
      const double white = static_cast<double>(noise >> 8) / 8388608.0 - 1.0;
      // The last 50 ms fade to nothing, so the end is not a click of its own.
      const double fade = std::min(1.0, (0.25 - t) / 0.05);
      value = 0.8 * fade * std::exp(-t / 0.08) * std::sin(phase) +
              0.3 * std::exp(-t / 0.005) * white;
    } else {
      // A 1 ms rise, then an even fall to the end.
      const double envelope = std::min(t / 0.001, 1.0) * (1.0 - t / 0.010);
      value = 0.8 * envelope * std::sin(2.0 * kPi * 2000.0 * t);
    }
    hit[static_cast<size_t>(n)] = value;
  }
  for (int64_t k = 0; firstBeat + static_cast<double>(k) * 60.0 / bpm < seconds; ++k) {
    const int64_t start = FramesOf(rate, firstBeat + static_cast<double>(k) * 60.0 / bpm);
    for (int64_t n = 0; n < length && start + n < frames; ++n)
      pcm.Samples[static_cast<size_t>(start + n)] = ToSample(hit[static_cast<size_t>(n)]);
  }
  return pcm;
}

TPcm16 MakeConstant(int32_t rate, int32_t channels, double seconds, int16_t value) {
  TPcm16 pcm = Silence(rate, channels, seconds);
  std::fill(pcm.Samples.begin(), pcm.Samples.end(), value);
  return pcm;
}

int64_t FindClick(const TPcm16& pcm, double expectedSeconds, double searchSeconds) {
  const int32_t rate = pcm.SampleRate;
  const int64_t length = FramesOf(rate, kClickSeconds);
  const int64_t lo = std::max<int64_t>(0, FramesOf(rate, expectedSeconds - searchSeconds));
  const int64_t hi = std::min(pcm.FrameCount() - length, FramesOf(rate, expectedSeconds + searchSeconds));
  if (pcm.Channels < 1 || lo > hi) return -1;
  int64_t best = -1;
  double bestScore = -1.0;
  for (int64_t start = lo; start <= hi; ++start) {
    double score = 0.0;
    for (int64_t n = 0; n < length; ++n) {
      double mix = 0.0;
      for (int32_t c = 0; c < pcm.Channels; ++c)
        mix += pcm.Samples[static_cast<size_t>((start + n) * pcm.Channels + c)];
      score += mix * ClickValue(rate, n);
    }
    if (score > bestScore) {
      bestScore = score;
      best = start;
    }
  }
  return best;
}

bool AudioFormatFromName(const std::string& name, TAudioFormat& format) {
  static const std::pair<const char*, TAudioFormat> kNames[] = {
      {"wav", TAudioFormat::Wav}, {"flac", TAudioFormat::Flac}, {"ogg", TAudioFormat::Ogg},
      {"opus", TAudioFormat::Opus}, {"mp3", TAudioFormat::Mp3}};
  for (const auto& entry : kNames)
    if (name == entry.first) {
      format = entry.second;
      return true;
    }
  return false;
}

const char* AudioFormatExtension(TAudioFormat format) {
  switch (format) {
    case TAudioFormat::Wav: return "wav";
    case TAudioFormat::Flac: return "flac";
    case TAudioFormat::Ogg: return "ogg";
    case TAudioFormat::Opus: return "opus";
    case TAudioFormat::Mp3: return "mp3";
  }
  return "";
}

bool WriteAudioFile(const std::string& fileName, const TPcm16& pcm, TAudioFormat format,
                    std::string& error) {
  SF_INFO info{};
  info.samplerate = pcm.SampleRate;
  info.channels = pcm.Channels;
  switch (format) {
    case TAudioFormat::Wav: info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16; break;
    case TAudioFormat::Flac: info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16; break;
    case TAudioFormat::Ogg: info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS; break;
    case TAudioFormat::Opus: info.format = SF_FORMAT_OGG | SF_FORMAT_OPUS; break;
    case TAudioFormat::Mp3: info.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III; break;
  }
  SNDFILE* file = sf_open(fileName.c_str(), SFM_WRITE, &info);
  if (!file) {
    error = fileName + ": " + sf_strerror(nullptr);
    return false;
  }
  // Written in pieces: libsndfile's Vorbis encoder overflows the stack on one huge write.
  constexpr sf_count_t kPiece = 16384;
  const sf_count_t frames = pcm.FrameCount();
  bool written = true;
  std::vector<float> samples;
  for (sf_count_t at = 0; written && at < frames; at += kPiece) {
    const sf_count_t count = std::min(kPiece, frames - at);
    const int16_t* piece = pcm.Samples.data() + at * pcm.Channels;
    if (format == TAudioFormat::Mp3) {
      // libsndfile's MP3 encoder garbles 16-bit stereo input (every frame repeats a burst of
      // the signal); its float input is encoded correctly.
      samples.resize(static_cast<size_t>(count * pcm.Channels));
      for (size_t i = 0; i < samples.size(); ++i) samples[i] = piece[i] / 32768.0f;
      written = sf_writef_float(file, samples.data(), count) == count;
    } else {
      written = sf_writef_short(file, piece, count) == count;
    }
  }
  if (!written) error = fileName + ": " + sf_strerror(file);
  sf_close(file);
  return written;
}
