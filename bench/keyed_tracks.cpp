// What following keyed tracks costs a frame, without GL: the sample production's tracks
// evaluated and set as the run loop does for a frame's bars, and a heavy case of 64 parameters
// on tracks of 10,000 keys each.
#include "authoring/ReadOnlyHost.h"
#include "demo/Vorpane.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

// One frame's track work: the demo's own fields, then the tracked parameters of each bar's
// effect that covers the row.
void FollowTracks(TVDemo& demo, double seconds) {
  const float bpm = demo.Tracker ? demo.Tracker->BPM : 120.0f;
  const double row = demo.Tracks.RowAt(seconds, bpm);
  ApplyDemoTracks(demo.Tracks, row, demo.Fade, demo.ClearColor);
  const int32_t whole = static_cast<int32_t>(row);
  for (const TScriptBar& bar : demo.Bars) {
    if (whole < bar.Mount || whole >= bar.Mount + bar.Length) continue;
    TVEffect* effect = static_cast<size_t>(bar.Effect) < demo.EffectSlots.size()
                           ? demo.EffectSlots[static_cast<size_t>(bar.Effect)]
                           : nullptr;
    if (effect) ApplyEffectTracks(demo.Tracks, bar.Effect, row, *effect);
  }
}

void SampleProductionFrame(benchmark::State& state) {
  TReadOnlyHost host;
  TVDemo demo(VORPANE_BUILD_DIR "/production/moltrax.vrp", host);
  double seconds = 0;
  for (auto _ : state) {
    FollowTracks(demo, seconds);
    seconds = seconds >= 72.0 ? 0.0 : seconds + 1.0 / 60.0;
    benchmark::DoNotOptimize(demo.Fade);
  }
  state.counters["tracked"] = static_cast<double>(demo.Tracks.Parameters.size());
}
BENCHMARK(SampleProductionFrame);

void SixtyFourParametersOnLongTracks(benchmark::State& state) {
  TDemoTracks tracks;
  TVEffect effect;
  for (int p = 0; p < 64; ++p) {
    const std::string name = "t" + std::to_string(p);
    std::vector<TTrackKey> keys;
    for (int k = 0; k < 10000; ++k)
      keys.push_back({k * 3, static_cast<float>(k % 97), static_cast<TKeyType>(k % 4)});
    tracks.Set.Track(name).SetAllKeys(keys);
    TParameterTrack parameter;
    parameter.Slot = 0;
    parameter.Field = static_cast<TTrackedField>(p % 15);
    parameter.Track = name;
    tracks.Parameters.push_back(parameter);
  }
  tracks.Resolve();
  double row = 0;
  for (auto _ : state) {
    ApplyEffectTracks(tracks, 0, row, effect);
    row = row >= 30000 ? 0 : row + 0.53;
    benchmark::DoNotOptimize(effect.X);
  }
}
BENCHMARK(SixtyFourParametersOnLongTracks);

}  // namespace

BENCHMARK_MAIN();
