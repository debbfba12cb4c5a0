// How the player is run: window mode, clock, range, capture and benchmark.
#pragma once
#include "demo/VideoOptions.h"

#include <string>

// Zero-initialised means as the script says, in real time; ResolveDemoOptions gives every field
// left at zero its value, once, before the run reads any.
struct TDemoOptions {
  int WindowMode = 0;           // 0: the script's FULLSCREEN; 1: windowed; 2: fullscreen
  bool FixedStep = false;       // fixed-step clock (capture and benchmark) instead of the timer
  float Fps = 0.0f;             // frames per second of the fixed-step clock (0: 60)
  bool HasFrom = false;         // range start given (else the script's start time)
  float From = 0.0f;
  bool HasTo = false;           // range end given
  float To = 0.0f;
  std::string CaptureDir;       // where frames go in a capture (empty: none)
  bool Overwrite = false;       // a frame folder's old frames may be replaced
  TVideoOptions Video;          // how a capture to a video file is encoded
  bool Benchmark = false;       // print frame time statistics at the end
  bool Quiet = false;           // no progress line or summary of a capture or benchmark
  bool HasStart = false;        // real-time start time given (overrides STARTTIME)
  float Start = 0.0f;
  bool NoVsync = false;         // real-time swaps not synced to the display
  int OutputWidth = 0;          // frames of this size (0: the script's resolution)
  int OutputHeight = 0;
  bool Stretch = false;         // another aspect ratio is stretched over the frame, not padded
  int Supersample = 0;          // frames drawn at N times their size and filtered down (0: 1)
  int MotionBlur = 0;           // sub-frames averaged into each frame (0: 1; always 1 in real time)
  float Shutter = 0.0f;         // the part of a frame the sub-frames spread over (0: 0.5)
};

// The options with every default in place: 60 frames per second, no supersampling, one
// sub-frame per frame (always, in real time) spread over half a frame.
TDemoOptions ResolveDemoOptions(TDemoOptions options);
