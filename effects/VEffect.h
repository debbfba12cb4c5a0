// TVEffect: the base class of every effect that LOAD can create. The parameter commands of the
// script (X ... SS) fill its fields; the run loop calls SetInputs then Render once per active
// bar and frame, with what the effect may read of that frame; Load runs once after the whole
// script has been read.
#pragma once
#include "effects/EffectFiles.h"
#include "platform/ReadContext.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr int kEffectInputCount = 20;
constexpr int kEffectTriggerCount = 8;

constexpr int kSpectrumSize = 512;

// What an effect reads of the frame it draws, handed to Render and Advance by value: the run
// loop fills one for every bar it runs.
struct TFrameContext {
  float BarTime = 0.0f;    // seconds since the start row of the running bar
  float BarRow = 0.0f;     // rows since the start row of the running bar
  float FrameTime = 0.0f;  // duration of the last frame in seconds (0 on a paused frame)
  float DemoTime = 0.0f;   // the demo time of this frame in seconds
  // The music's spectrum, kSpectrumSize values; the first 256 are magnitudes. Never null.
  const float* Spectrum = SilentSpectrum();

  // kSpectrumSize zeros: the spectrum of a frame without music.
  static const float* SilentSpectrum();
};

// State of one demotrack channel as seen by an effect: set on the channel's edges by the run
// loop; Handled is reset on both edges and left for the effect to set.
struct TTrigger {
  uint8_t Active = 0;
  uint8_t Handled = 0;
};

class TVEffect {
 public:
  // The base constructor: every field zero or empty, InputLimit 1.0.
  TVEffect();
  virtual ~TVEffect() = default;

  // Loads textures and models, their names resolved by `files` (the folder the script ended in);
  // runs once, after the script. The base does nothing.
  virtual void Load(const TReadContext& files = TReadContext()) { (void)files; }
  // Draws one frame from the bar's 20 inputs. The base enables blending and nothing else.
  virtual void Render(const TFrameContext& frame, const float* inputs);
  // Steps what Render steps between frames (particles, camera swings, random draws) without
  // drawing: a run that starts late brings its effects to where a whole run has them. Render
  // must step the same state by the same calls. The base keeps no such state.
  virtual void Advance(const TFrameContext& /*frame*/, const float* /*inputs*/) {}
  // Raises each accumulated input to the new value and clamps it to InputLimit.
  virtual void SetInputs(const float* inputs);

  // What the effect table tells a script check about the class. An effect class that reads files
  // or cannot do without a parameter hides these with its own. The base reads nothing and needs
  // nothing.
  // The files the constructor reads (fixed names).
  static std::vector<TEffectFile> CreationFiles() { return {}; }
  // The files Load reads, named by the parameters of `effect`.
  static std::vector<TEffectFile> LoadFiles(const TVEffect&) { return {}; }
  // The parameters `effect` leaves empty that Load needs, each with what it names.
  static std::vector<std::string> MissingParameters(const TVEffect&) { return {}; }

  float X = 0, Y = 0, Z = 0;
  float H = 0, W = 0, D = 0;
  float VX = 0, VY = 0, VZ = 0;
  float S = 0, SS = 0;
  std::string A, B, C;
  int32_t E = 0, F = 0, G = 0;
  float Opacity = 1.0f;                    // a 2D effect's opacity, 0 to 1 (OPACITY percent)
  int32_t Index = 0;                       // the slot this effect was loaded into
  float Inputs[kEffectInputCount] = {};     // accumulated input values
  float InputLimit = 0;                     // upper bound of Inputs
  TTrigger Triggers[kEffectTriggerCount];   // demotrack channels 0 to 7
  bool LoadFailed = false;                  // set by ReportLoadFailure: the effect cannot draw
  // Set by Load when the run cannot go on (a script fault the effect cannot draw past): the
  // demo reads it after loading and ends a plain run before its first frame.
  bool EndsRun = false;

 protected:
  // For effect classes with constructors of their own: InputLimit stays 0.
  struct NoBaseDefaults {};
  explicit TVEffect(NoBaseDefaults) {}
};

// Reports the description through the sink of `files` (a script error unless another sink is set)
// and marks the effect as failed to load. The demo goes on in real time; a capture or benchmark
// ends with status 1 before its first frame.
void ReportLoadFailure(TVEffect& effect, const std::string& description,
                       const TReadContext& files = TReadContext());
