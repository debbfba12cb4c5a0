// The start of a fixed-step range later than the demo's start (--from): the effects keep state
// from frame to frame (particles, the metaballs' camera, the one random generator), so the
// frames before the range are stepped first, on the whole run's clock, as a whole run steps
// them.
#include <algorithm>
#include <cmath>

#include "demo/Vorpane.h"

double TVDemo::WholeRunTime(int64_t frame) const {
  return static_cast<double>(StartTime) + static_cast<double>(frame) / FixedStepFps();
}

void TVDemo::PlaceRange() {
  framesBefore_ = 0;
  rangeOnWholeClock_ = false;
  if (!options_.HasFrom) return;
  const double fps = FixedStepFps();
  const double frames = (static_cast<double>(options_.From) - StartTime) * fps;
  if (!(frames > -0.5)) return;
  // --from is a 32-bit number: within one of its steps (or a thousandth of a frame) of a frame
  // of the whole run, it is that frame.
  const float from = std::fabs(options_.From);
  const double step = static_cast<double>(std::nextafter(from, 2 * from + 1) - from) * fps;
  const double nearest = std::round(frames);
  rangeOnWholeClock_ = std::fabs(frames - nearest) <= std::max(1e-3, step);
  framesBefore_ =
      static_cast<int64_t>(rangeOnWholeClock_ ? nearest : std::max(0.0, std::ceil(frames)));
}

void TVDemo::CatchUpToRangeStart() {
  if (framesBefore_ <= 0 || !Tracker || Bars.empty()) return;
  auto rowAt = [this](int64_t frame) {
    return Tracker->TimeToRow(static_cast<float>(WholeRunTime(frame)));
  };
  // The last frame before the range in which each bar runs: those frames are drawn, so every
  // piece of GL state is last set by the same effect as in a whole run.
  std::vector<int64_t> drawn;
  {
    std::vector<int64_t> lastFrame(Bars.size(), -1);
    for (int64_t frame = 0; frame < framesBefore_; ++frame) {
      const int32_t row = rowAt(frame);
      for (size_t i = 0; i < Bars.size(); ++i)
        if (Bars[i].Mount <= row &&
            static_cast<int64_t>(row) < static_cast<int64_t>(Bars[i].Mount) + Bars[i].Length)
          lastFrame[i] = frame;
    }
    for (int64_t frame : lastFrame)
      if (frame >= 0) drawn.push_back(frame);
    std::sort(drawn.begin(), drawn.end());
  }
  // The frames run the clock and the bars of a fixed-step frame, on the whole run's clock,
  // and nothing else: no overlay, capture or present.
  TFrameStages stages;
  stages.FixedStepClock = true;
  stages.StepDuration = static_cast<float>(1.0 / FixedStepFps());
  for (int64_t frame = 0; frame < framesBefore_; ++frame) {
    StopIfInterrupted();
    stages.StepTime = WholeRunTime(frame);
    stages.Draw = std::binary_search(drawn.begin(), drawn.end(), frame);
    RunFrame(stages);
  }
}
