// Per-frame cost of the music: the position and the spectrum a frame fetches while a stream
// plays (on SDL's dummy driver unless SDL_AUDIODRIVER says otherwise).
#include "common/TestAudio.h"
#include "platform/KestoBASS.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

// A playing 60-second stereo stream, made once per process.
uint32_t PlayingStream() {
  static uint32_t stream = [] {
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    const std::string path = "/tmp/vorpane-bench-music-" + std::to_string(::getpid()) + ".wav";
    std::string error;
    if (!WriteAudioFile(path, MakeClickTrack(44100, 2, 60.0), TAudioFormat::Wav, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::exit(1);
    }
    InitAudio(nullptr);
    const uint32_t handle = OpenStream(path);
    std::remove(path.c_str());
    PlayStream(handle);
    return handle;
  }();
  return stream;
}

void BM_PositionAndSpectrum(benchmark::State& state) {
  const uint32_t stream = PlayingStream();
  float spectrum[512];
  for (auto _ : state) {
    benchmark::DoNotOptimize(StreamPosition(stream));
    FetchSpectrum(stream, spectrum);
    benchmark::DoNotOptimize(spectrum);
  }
}
BENCHMARK(BM_PositionAndSpectrum);

void BM_Position(benchmark::State& state) {
  const uint32_t stream = PlayingStream();
  for (auto _ : state) benchmark::DoNotOptimize(StreamPosition(stream));
}
BENCHMARK(BM_Position);

void BM_SpectrumAtTime(benchmark::State& state) {
  const uint32_t stream = PlayingStream();
  float spectrum[512];
  double time = 0.0;
  for (auto _ : state) {
    FetchSpectrumAt(stream, time, spectrum);
    benchmark::DoNotOptimize(spectrum);
    time = time < 50.0 ? time + 1.0 / 60.0 : 0.0;
  }
}
BENCHMARK(BM_SpectrumAtTime);

}  // namespace

BENCHMARK_MAIN();
