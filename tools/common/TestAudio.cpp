#include "common/TestAudio.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

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
  const double envelope = 0.5 - 0.5 * std::cos(2.0 * M_PI * static_cast<double>(n) / length);
  return envelope * std::sin(2.0 * M_PI * kClickHz * static_cast<double>(n) / rate);
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
    const double value = amplitude * std::sin(2.0 * M_PI * frequency * static_cast<double>(n) / rate);
    if (opposed) {
      pcm.Samples[static_cast<size_t>(2 * n)] = ToSample(value);
      pcm.Samples[static_cast<size_t>(2 * n + 1)] = ToSample(-value);
    } else {
      pcm.Samples[static_cast<size_t>(n)] = ToSample(value);
    }
  }
  return pcm;
}

TPcm16 MakeConstant(int32_t rate, int32_t channels, double seconds, int16_t value) {
  TPcm16 pcm = Silence(rate, channels, seconds);
  std::fill(pcm.Samples.begin(), pcm.Samples.end(), value);
  return pcm;
}

TPcm16 MakeTune(int32_t rate, double seconds, double bpm) {
  TPcm16 pcm = Silence(rate, 2, seconds);
  const double beat = 60.0 / bpm;
  static const double kBass[] = {55.0, 55.0, 73.42, 65.41, 49.0, 49.0, 65.41, 73.42};
  static const double kChords[][3] = {
      {220.0, 261.63, 329.63}, {196.0, 246.94, 293.66}, {174.61, 220.0, 261.63}, {196.0, 246.94, 329.63}};
  for (int64_t n = 0; n < pcm.FrameCount(); ++n) {
    const double t = static_cast<double>(n) / rate;
    const int64_t beatIndex = static_cast<int64_t>(t / beat);
    const double inBeat = t - static_cast<double>(beatIndex) * beat;
    const int64_t bar = beatIndex / 4;
    // Kick: a sine falling from 145 Hz to 45 Hz, decaying fast.
    const double kickPhase = 45.0 * inBeat + 100.0 * (1.0 - std::exp(-25.0 * inBeat)) / 25.0;
    const double kick = std::exp(-inBeat * 30.0) * std::sin(2.0 * M_PI * kickPhase);
    const double bassHz = kBass[beatIndex % 8];
    const double bass = 0.25 * std::exp(-inBeat * 4.0) * std::sin(2.0 * M_PI * bassHz * t);
    double chord = 0.0;
    for (double hz : kChords[bar % 4]) chord += std::sin(2.0 * M_PI * hz * t);
    chord *= 0.06 * (0.6 + 0.4 * std::sin(2.0 * M_PI * t / (4.0 * beat)));
    const double left = 0.6 * kick + bass + chord * 1.1;
    const double right = 0.6 * kick + bass + chord * 0.9;
    pcm.Samples[static_cast<size_t>(2 * n)] = ToSample(left);
    pcm.Samples[static_cast<size_t>(2 * n + 1)] = ToSample(right);
  }
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
  const sf_count_t frames = pcm.FrameCount();
  bool written;
  if (format == TAudioFormat::Mp3) {
    // libsndfile's MP3 encoder garbles 16-bit stereo input (every frame repeats a burst of the
    // signal); its float input is encoded correctly.
    std::vector<float> samples(pcm.Samples.size());
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = pcm.Samples[i] / 32768.0f;
    written = sf_writef_float(file, samples.data(), frames) == frames;
  } else {
    written = sf_writef_short(file, pcm.Samples.data(), frames) == frames;
  }
  if (!written) error = fileName + ": " + sf_strerror(file);
  sf_close(file);
  return written;
}
