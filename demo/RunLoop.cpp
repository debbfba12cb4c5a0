// The run loop: every kind of run (real-time play, edit, capture, benchmark and the catch-up
// before a range) runs its frames through RunFrame's stages, leaving out those it does not need.
#include "demo/Capture.h"
#include "demo/RunProgress.h"
#include "demo/RunSession.h"
#include "demo/ScriptMessages.h"
#include "demo/TimerOverlay.h"
#include "demo/Vorpane.h"

#include "effects/Draw2D.h"
#include "platform/Dialogs.h"
#include "platform/FatalError.h"
#include "platform/Interrupts.h"
#include "platform/KestoBASS.h"
#include "platform/KestoInput.h"
#include "platform/Text.h"
#include "platform/RenderTarget.h"

#include <SDL2/SDL.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>


namespace {

constexpr uint8_t kEscapeKey = 1;

}  // namespace

bool TVDemo::HasEnd() const {
  if (options_.FixedStep && options_.HasTo) return true;
  if (EndTime > 0.0f) return true;
  return Tracker && !Tracker->Channels.empty() && Tracker->BPM > 0.0f;
}

double TVDemo::FixedStepEnd() const {
  double end = EndTime > 0.0f ? EndTime : -1.0;
  // Play stops on the first row past the demotrack's last one.
  if (Tracker && !Tracker->Channels.empty() && Tracker->BPM > 0.0f) {
    const double trackEnd = Tracker->RowToTime(Tracker->RowCount(0) + 1);
    if (end < 0 || trackEnd < end) end = trackEnd;
  }
  if (options_.HasTo && (end < 0 || options_.To < end)) end = options_.To;
  return end;
}

void TVDemo::RequireEverythingLoaded() const {
  const std::string failed = FailedEffectSlots();
  if (!failed.empty())
    throw FatalError((failed.find(',') == std::string::npos ? "The effect in slot "
                                                             : "The effects in slots ") +
                     failed + " failed to load; a capture or benchmark needs every effect");
  if (MusicFailed)
    throw FatalError("The music " + PrintableText(MusicFile) +
                     " failed to load; a capture or benchmark needs it");
  if (picturesFailed_ > 0)
    throw FatalError(std::to_string(picturesFailed_) +
                     (picturesFailed_ == 1 ? " picture" : " pictures") +
                     " failed to load; a capture or benchmark needs every picture");
  RequireNoScriptError();
}

void TVDemo::RequireNoScriptError() const {
  if (!options_.Benchmark && options_.CaptureDir.empty()) return;
  // Every error box is a script error or a loader's failure, said above.
  if (ErrorBoxCount() > 0)
    throw FatalError("The script has an error (see above); a capture or benchmark stops on it");
}

void TVDemo::StopIfInterrupted() const {
  const int signal = PendingInterrupt();
  if (!signal) return;
  if (!options_.FixedStep) throw Interrupted(signal, "");
  throw Interrupted(signal, "interrupted at frame " + std::to_string(frameIndex_) + " of " +
                                std::to_string(frameLimit_));
}

void TVDemo::ReportOnce(const std::string& key, int32_t line, const std::string& description) {
  if (!Reported.insert(key).second) return;
  const TScriptLocation before = CurrentScriptLocation();
  SetScriptLocation({ScriptFile, line});
  ScriptError(description);
  SetScriptLocation(before);
}

double TVDemo::FixedStepFps() const { return options_.Fps; }

double TVDemo::FixedStepTime(int64_t frame) const {
  if (!options_.HasFrom || rangeOnWholeClock_) return WholeRunTime(framesBefore_ + frame);
  return options_.From + static_cast<double>(frame) / FixedStepFps();
}

std::string TVDemo::FailedEffectSlots() const {
  std::string slots;
  for (const TVEffect* effect : EffectSlots)
    if (effect && effect->LoadFailed)
      slots += (slots.empty() ? "" : ", ") + std::to_string(effect->Index);
  return slots;
}

void TVDemo::Run() {
  if (options_.FixedStep) {
    // Without a window there is no frame to read: say so rather than fail on the first one.
    if (!Window.RC && (options_.Benchmark || !options_.CaptureDir.empty()))
      throw FatalError(initDone_
                           ? "The window could not be created; a capture or benchmark needs it"
                           : "The script has no INIT, so there is no window; a capture or "
                             "benchmark needs one");
    // A frame without its effects, music or pictures is not the production: report instead of
    // capturing it.
    RequireEverythingLoaded();
    if (!HasEnd())
      throw FatalError(
          "This run has no end: the script has no ENDTIME and no demotrack, and no --to was "
          "given");
    const double fps = FixedStepFps();
    PlaceRange();
    const double from = FixedStepTime(0), end = FixedStepEnd();
    char range[96];
    std::snprintf(range, sizeof range, "%.2f s is at or past the end of the demo (%.2f s)", from,
                  end);
    if (from >= end) {
      if (options_.HasFrom) throw UsageError(std::string("--from ") + range);
      throw FatalError(std::string("The start time ") + range);
    }
    // Frame i shows from + i / fps; the range is (end - from) * fps frames, rounded (a range
    // shorter than half a frame still gets one).
    frameLimit_ = std::max<int64_t>(1, std::llround((end - from) * fps));
  } else if (Window.RC) {
    // Loading presents as fast as it can; play syncs to the display unless told not to.
    SetSwapSync(!options_.NoVsync);
  }
  // From here a signal stops the run at the next frame, which removes what it had not finished
  // (the sink does, as it goes).
  TDeferredInterrupts deferred;
  try {
    RunFrames();
  } catch (...) {
    sink_.reset();
    throw;
  }
  sink_.reset();
}

void TVDemo::RunFrames() {
  if (options_.FixedStep && !options_.CaptureDir.empty())
    sink_ = IsVideoFileName(options_.CaptureDir)
                ? MakeVideoFileSink(options_.CaptureDir, FixedStepFps(), options_.Video,
                                    options_.Overwrite)
                : MakePngFolderSink(options_.CaptureDir);
  if (options_.FixedStep) CatchUpToRangeStart();
  TRunProgress progress(
      options_.FixedStep && !options_.Quiet ? stderr : nullptr, StderrIsTerminal(),
      !options_.CaptureDir.empty(),
      frameLimit_,
      FixedStepTime(0));
  for (;;) {
    StopIfInterrupted();
    if (KeyDown(kEscapeKey) || QuitRequested) break;
    if (frameLimit_ >= 0 && frameIndex_ >= frameLimit_) break;
    const uint64_t start = SDL_GetPerformanceCounter();
    RenderOutputFrame();
    if (options_.Benchmark) {
      glFinish();
      const uint64_t ticks = SDL_GetPerformanceCounter() - start;
      frameMilliseconds_.push_back(1000.0 * static_cast<double>(ticks) /
                                   static_cast<double>(SDL_GetPerformanceFrequency()));
    }
    progress.Update(frameIndex_, Time);
  }
  if (sink_ && MusicLoaded) WriteCapturedAudio(sink_->AudioFileName());
  if (sink_ && !sink_->Finish()) {
    StopIfInterrupted();
    throw FatalError("The capture could not be finished");
  }
  progress.Finish(frameIndex_, Time);
  if (options_.Benchmark) {
    std::fputs(FormatFrameStats(ComputeFrameStats(frameMilliseconds_)).c_str(), stdout);
    std::fflush(stdout);
  }
}

void TVDemo::WriteCapturedAudio(const std::string& fileName) {
  if (fileName.empty()) return;
  TPcm16 audio;
  if (!StreamAudioRange(Music, FixedStepTime(0), FixedStepTime(frameIndex_), audio) ||
      !WriteWav16(fileName, audio))
    throw FatalError("Cannot write " + fileName + ": " + std::strerror(errno));
}

TFrameStages TVDemo::RunStages() const {
  TFrameStages stages;
  stages.FixedStepClock = options_.FixedStep;
  stages.SessionClock = stages.SessionOverlay = session_ != nullptr;
  // A session decides where the run ends.
  stages.EndRules = session_ == nullptr;
  stages.Draw = stages.Overlays = stages.Present = true;
  stages.Capture = options_.FixedStep;
  return stages;
}

void TVDemo::RenderFrame() {
  TFrameStages stages = RunStages();
  if (stages.FixedStepClock) {
    // Sub-frames spread over the shutter; what steps by the frame time steps on the first.
    stages.StepTime = FixedStepTime(frameIndex_) +
                      subFrame_ * options_.Shutter / (SubFrameCount() * FixedStepFps());
    stages.StepDuration = subFrame_ == 0 ? static_cast<float>(1.0 / FixedStepFps()) : 0.0f;
  }
  RunFrame(stages);
}

void TVDemo::RunFrame(const TFrameStages& stages) {
  // 1. The clock: this frame's time and length; the session's loop and hold at the end; the
  // end of a run without a session is decided on a frame's first sub-frame.
  if (stages.FixedStepClock) Clock.Step(stages.StepTime, stages.StepDuration);
  else Clock.Tick();
  if (stages.SessionClock) session_->BeforeFrame(*this);
  Time = Clock.Time();
  if (stages.EndRules && subFrame_ == 0 && PastTheEnd()) QuitRequested = true;
  if (stages.Present) PollKeyboard();

  // 2. The bars and their inputs: the music's spectrum at this time (a fixed-step run does not
  // play the music, it reads the decoded samples), then the bars that cover the row.
  if (MusicLoaded) {
    if (stages.FixedStepClock) FetchSpectrumAt(Music, Clock.ExactTime(), spectrum_);
    else FetchSpectrum(Music, spectrum_);
  }
  frame_ = TFrameContext();
  frame_.DemoTime = Time;
  frame_.FrameTime = Clock.FrameDuration();  // 0 on a paused frame: stepping effects stand still
  frame_.Spectrum = spectrum_;
  if (!Bars.empty()) {
    if (!Tracker)
      ReportOnce("no tracker", Bars[0].Line, BarsNeedTrackerMessage());
    else if (!(Tracker->BPM > 0.0f))
      ReportOnce("no bpm", Bars[0].Line, BarsNeedTempoMessage());
  }
  const int32_t row = Tracker ? Tracker->TimeToRow(Time) : 0;
  // The keyed tracks' row, in double from the exact time: what the fade, the clear colour and
  // the effects' tracked parameters take their values at.
  trackRow_ = Tracks.RowAt(Clock.ExactTime(), Tracker ? Tracker->BPM : 0.0f);
  if (!Tracks.Parameters.empty()) ApplyDemoTracks(Tracks, trackRow_, Fade, ClearColor);
  // 3. The effects, bar by bar (only stepped when the frame is not drawn).
  if (stages.Draw) {
    glClearColor(ClearColor[0], ClearColor[1], ClearColor[2], ClearColor[3]);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
  RunBars(row, stages.Draw);
  if (stages.Draw && Fade < 1.0f) DrawFade(Fade);
  // 4. The overlays.
  if (stages.Overlays && ShowTimer) DrawTimerOverlay(Time, row);
  // 5. Capture and readback: a script error stops the run before its frame is taken.
  if (stages.Capture) {
    RequireNoScriptError();
    if (sink_) CaptureFrame();
  }
  // 6. The session's lines over the frame.
  if (stages.SessionOverlay) session_->AfterFrame(*this, row);
  // 7. Present, then the session's keys.
  if (!stages.Present) return;
  std::vector<TKeyPress> keys;
  if (PresentFrame(Window, session_ ? &keys : nullptr)) QuitRequested = true;  // closed
  if (subFrame_ + 1 == SubFrameCount()) ++frameIndex_;  // the frame's last sub-frame
  if (session_) session_->AfterPresent(*this, keys);
}

bool TVDemo::PastTheEnd() const {
  if (EndTime > 0.0f && Time > EndTime) return true;
  return Tracker && !Tracker->Channels.empty() && Tracker->RowCount(0) < Tracker->TimeToRow(Time);
}

void TVDemo::RunBars(int32_t row, bool draw) {
  if (!Tracker) return;
  for (size_t i = 0; i < Bars.size(); ++i) {
    const TScriptBar& bar = Bars[i];
    if (bar.Mount <= row && static_cast<int64_t>(row) < static_cast<int64_t>(bar.Mount) + bar.Length)
      RunBar(i, row, draw);
  }
}

void TVDemo::RunBar(size_t barIndex, int32_t row, bool draw) {
  const TScriptBar& bar = Bars[barIndex];
  TFrameContext frame = frame_;
  frame.BarTime = Time - Tracker->RowToTime(bar.Mount);
  frame.BarRow = static_cast<float>(row - bar.Mount);
  TVEffect* effect = nullptr;
  if (bar.Effect >= 0 && static_cast<size_t>(bar.Effect) < EffectSlots.size())
    effect = EffectSlots[static_cast<size_t>(bar.Effect)];
  if (!effect) {
    ReportOnce("effect " + std::to_string(barIndex), bar.Line,
               EffectNotInstalledMessage(bar.Effect));
    return;
  }
  CurrentBar = static_cast<int32_t>(barIndex);

  for (int j = 0; j < kEffectTriggerCount; ++j) {
    TTrigger& trigger = effect->Triggers[j];
    const uint8_t value = Tracker->ByteAt(j, row);
    if (value != 0 && trigger.Active == 0) {
      trigger.Active = 1;
      trigger.Handled = 0;
    } else if (value == 0 && trigger.Active == 1) {
      trigger.Active = 0;
      trigger.Handled = 0;
    }
  }

  float inputs[kEffectInputCount] = {};
  for (int k = 0; k < kEffectInputCount; ++k) {
    const TInputMap& map = bar.InputMaps[k];
    if (!map.Enabled) continue;
    if (map.Channel < 0 || static_cast<size_t>(map.Channel) >= Tracker->Channels.size()) {
      // The tracker would report this on every evaluation; once per mapping is enough.
      ReportOnce("channel " + std::to_string(barIndex) + " " + std::to_string(k), bar.Line,
                 DemotrackChannelMessage(map.Channel));
      continue;
    }
    inputs[k] = Tracker->Envelope(map.Channel, map.Note, map.Width, map.LookAhead, Time);
  }
  if (!Tracks.Parameters.empty()) ApplyEffectTracks(Tracks, bar.Effect, trackRow_, *effect);
  effect->SetInputs(inputs);
  if (draw)
    effect->Render(frame, inputs);
  else
    effect->Advance(frame, inputs);
}

void TVDemo::CaptureFrame() {
  std::vector<uint8_t>& rgb = capturedRgb_;
  int32_t width = 0, height = 0;
  const std::string failed = "Cannot capture frame " + std::to_string(frameIndex_);
  if (!ReadContentRGB(rgb, width, height)) throw FatalError(failed);
  if (SubFrameCount() > 1) {
    blurredFrame_.Add(rgb.data(), width, height);
    if (blurredFrame_.Count() < SubFrameCount()) return;
    blurredFrame_.Take(rgb, width, height);
  }
  ComposeOutputRGB(rgb, width, height);
  if (!sink_->WriteFrame(frameIndex_, rgb.data(), width, height)) {
    StopIfInterrupted();
    throw FatalError(failed);
  }
}

int32_t TVDemo::SubFrameCount() const { return options_.MotionBlur; }

void TVDemo::RenderOutputFrame() {
  // The end of the run is decided on a frame's first sub-frame, at the frame's own time.
  for (subFrame_ = 0; subFrame_ < SubFrameCount(); ++subFrame_) RenderFrame();
  subFrame_ = 0;
}

void TVDemo::UseOutputSize() {
  if (!options_.FixedStep || !Window.RC) return;
  TRenderTargetDesc desc;
  desc.OutputWidth = options_.OutputWidth > 0 ? options_.OutputWidth : Window.Width;
  desc.OutputHeight = options_.OutputHeight > 0 ? options_.OutputHeight : Window.Height;
  desc.Fit = options_.Stretch ? TFitMode::Stretch : TFitMode::Pad;
  desc.Supersample = options_.Supersample;
  // At the production's own size the frames go into the window as they always did.
  if (desc.OutputWidth == Window.Width && desc.OutputHeight == Window.Height &&
      desc.Supersample == 1)
    return;
  std::string error;
  if (!UseRenderTarget(desc, error))
    throw FatalError("Cannot draw frames of " + std::to_string(desc.OutputWidth) + "x" +
                     std::to_string(desc.OutputHeight) + ": " + error);
}
