// The demo system: TVDemo reads the script, owns the effect slots, the bars and the demotrack,
// and runs the frames. The entry creates one TVDemo, calls Run and frees it.
#pragma once
#include "demo/DemoClock.h"
#include "demo/DemoOptions.h"
#include "demo/DemoScript.h"
#include "demo/ScriptParser.h"
#include "demo/Tracker.h"
#include "effects/VEffect.h"
#include "platform/FramePixels.h"
#include "platform/KestoGL2.h"
#include "platform/ScriptError.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TFrameSink;
class TRunSession;
class TScriptHost;

// The highest effect slot LOAD accepts: the slot table grows to the highest slot used.
constexpr int32_t kMaxEffectSlot = 65535;
// The window sides RESOLUTIONX and RESOLUTIONY accept, in pixels.
constexpr int32_t kMinWindowSide = 1;
constexpr int32_t kMaxWindowSide = 16384;

// The stages of a frame, always run in this order: 1 clock, 2 bars and their inputs, 3 effects,
// 4 overlays, 5 capture and readback, 6 session overlay, 7 present. Each kind of run leaves out
// what it does not need (the catch-up before a range runs only the first three).
struct TFrameStages {
  bool FixedStepClock = false;  // 1: the frame is at StepTime (else the timer or the music)
  double StepTime = 0.0;        //    the fixed-step frame's demo time
  float StepDuration = 0.0f;    //    and its length (0 for a blurred frame's later sub-frames)
  bool SessionClock = false;    // 1: the session's loop and hold at the end move the clock
  bool EndRules = false;        // 1: the end time and the demotrack's end end the run
  bool Draw = false;            // 3: cleared and drawn (else the effects only step)
  bool Overlays = false;        // 4: the timer overlay
  bool Capture = false;         // 5: a script error stops the run; the frame goes to the sink
  bool SessionOverlay = false;  // 6: the session's lines
  bool Present = false;         // 7: keyboard, present and the session's keys
};

// The player. What the script builds is its TDemoScript part (Script()); the rest is the run:
// window, music, clock, capture.
class TVDemo : public TDemoScript {
 public:
  // Sets the defaults, reads and executes the script, loads the effects and starts the clock.
  explicit TVDemo(const std::string& fileName, const TDemoOptions& options = TDemoOptions());
  // Only reads and executes the script through the host (no effect is loaded, no clock runs).
  TVDemo(const std::string& fileName, TScriptHost& host);
  ~TVDemo();

  // What the script built.
  TDemoScript& Script() { return *this; }
  const TDemoScript& Script() const { return *this; }
  // How the run was asked for.
  const TDemoOptions& Options() const { return options_; }
  // The session the run loop calls around each frame (null: a plain run).
  void SetSession(TRunSession* session) { session_ = session; }

  // True when the run has an end: an end time, a demotrack, or the end of the range.
  bool HasEnd() const;
  // Renders frames until Escape is down or the run is asked to end (QuitRequested).
  void Run();
  // One frame of the run: every stage it needs, in order.
  void RenderFrame();
  // One frame of the output: with motion blur, each of its sub-frames in turn.
  void RenderOutputFrame();

  // Reads and executes the script line by line into Script(), through the host; the names in it
  // resolve from the script's own folder (ReadContext), the current folder stays.
  void LoadScript(const std::string& fileName, TScriptHost& host);
  // Calls Load on every filled slot in slot order.
  void LoadEffects();
  // The script's absolute path (for watching it).
  std::string ScriptPath() const;
  // Where real-time play starts: --start when given, else the script's STARTTIME.
  float PlayStartTime() const;

  // Runs one command; MOUNT and LENGTH change the token count.
  void ExecuteCommand(TVDemoCommand& tokens);
  // A remark on the line being read, through the host.
  void Notice(const std::string& text);
  // The INIT command, through the host.
  void Init();
  // The DRAWLOADING command, through the host.
  void DrawLoading(float value);
  // The LOADMUSIC command, through the host.
  void LoadMusic(const std::string& fileName);
  // The LOAD command: creates an effect of a type into a slot and makes it the current slot.
  void LoadEffect(const std::string& typeName, int32_t slot);
  // The TRACKER command: a new demotrack, loaded from the file when a name is given.
  void CreateTracker(const std::string& fileName);
  // The BPM command: the tempo of the current demotrack.
  void SetBpm(float bpm);
  // Stores an effect in a slot (lengthening the slot array) and sets its Index.
  void InstallEffect(TVEffect* effect, int32_t slot);

  // True the first time INIT runs; a second INIT is a script error.
  bool FirstInit();
  // The player's INIT: window, first cleared frame, keyboard, loading-screen texture.
  void OpenWindow();
  // The player's DRAWLOADING: the loading screen, presented 51 times.
  void DrawLoadingScreen();
  // Starts the audio output (real-time runs) and opens the music; 0 after a script error.
  uint32_t OpenMusic(const std::string& fileName);
  // The window title composed from the production's names.
  std::string ComposeTitle() const;

  uint32_t LoadingTexture = 0;
  TRenderWindow Window;
  uint32_t Music = 0;
  bool MusicLoaded = false;
  bool MusicFailed = false;     // the last LOADMUSIC could not open its file
  std::string MusicFile;        // the name LOADMUSIC was given (also when it failed to open)
  std::string ScriptFile;       // the script being read or played
  uint32_t Font = 0;
  TDemoClock Clock;             // owns the demo time
  float Time = 0.0f;            // the demo time of the frame being drawn, as the clock gave it
  // Set at the end time, the demotrack's end, a closed window, an effect that ends the run or
  // the session's quit key: the run ends before its next frame.
  bool QuitRequested = false;

 private:
  // Frames per second of the fixed-step clock (--fps, 60 when not given).
  double FixedStepFps() const;
  // Demo time of frame n on the fixed-step clock: the range start + n / fps. A range that
  // starts on the whole run's clock (the start time + a whole number of frames) takes its
  // times from that clock, so its frames are the whole run's frames bit for bit.
  double FixedStepTime(int64_t frame) const;
  // Demo time of frame n of a whole fixed-step run (one without --from): the start time + n / fps.
  double WholeRunTime(int64_t frame) const;
  // Counts the frames of a whole run before the range's first frame (--from), and whether the
  // range starts on one of them.
  void PlaceRange();
  // Brings the effects to where a whole run has them at the range's first frame: the frames
  // before it are stepped without drawing, except the last one of each bar, which is drawn
  // (not captured) so that the GL state the effects leave is the whole run's too.
  void CatchUpToRangeStart();
  // Runs the bars that cover the row, in script order; without `draw` the effects only step.
  void RunBars(int32_t row, bool draw);
  // The stages of this run's frames (play, edit, capture or benchmark).
  TFrameStages RunStages() const;
  // One frame through the stages asked for.
  void RunFrame(const TFrameStages& stages);
  // This frame's time is past ENDTIME or past the demotrack's last row.
  bool PastTheEnd() const;
  // Runs one bar on its effect: its frame context, triggers, inputs, SetInputs and Render
  // (Advance without `draw`).
  void RunBar(size_t barIndex, int32_t row, bool draw = true);
  // The slots whose effects failed to load, as "3, 5" (empty when every effect loaded).
  std::string FailedEffectSlots() const;
  // Refuses a capture or benchmark of a production that did not load whole: an effect, the
  // music or a picture failed (the loaders said why).
  void RequireEverythingLoaded() const;
  // Ends a capture or benchmark (FatalError) once the script has reported an error: a frame
  // drawn after "Demo will now crash" is not the production.
  void RequireNoScriptError() const;
  // Throws Interrupted when SIGINT or SIGTERM came ("interrupted at frame N of M" in a
  // fixed-step run).
  void StopIfInterrupted() const;
  // The capture and frame loop of Run, with the signals deferred.
  void RunFrames();
  // The demo time a fixed-step run ends at: --to, ENDTIME or the end of the demotrack, whichever
  // comes first; below 0 when there is none.
  double FixedStepEnd() const;
  // Reports a script fault once per key rather than every frame, tied to a script line.
  void ReportOnce(const std::string& key, int32_t line, const std::string& description);
  // Reads and hands the finished frame to the capture sink (fixed-step runs); a motion-blurred
  // frame is handed on after its last sub-frame.
  void CaptureFrame();
  // Sub-frames of each output frame (--motion-blur; 1 without it and in real time).
  int32_t SubFrameCount() const;
  // Draws the production into an offscreen frame of --size and --ssaa when asked for.
  void UseOutputSize();
  // Writes the music of the captured range as a WAV file (nothing when the name is empty).
  void WriteCapturedAudio(const std::string& fileName);

  TDemoOptions options_;
  TScriptHost* host_ = nullptr;      // the host of the read under way (null: the player's)
  TRunSession* session_ = nullptr;
  bool initDone_ = false;            // INIT ran (it opens the one window)
  std::string startFolder_;          // the current folder when the run started
  int64_t frameIndex_ = 0;           // frames rendered so far
  int64_t frameLimit_ = -1;          // frames of the fixed-step range (-1: no range end)
  int64_t framesBefore_ = 0;         // whole-run frames before the range (PlaceRange)
  bool rangeOnWholeClock_ = false;   // the range's frames are frames of the whole run
  int picturesFailed_ = 0;           // pictures that could not be read while loading
  int32_t subFrame_ = 0;             // the sub-frame of a motion-blurred frame being drawn
  TFrameAverage blurredFrame_;       // the sub-frames read so far
  std::vector<uint8_t> capturedRgb_; // the frame being captured (kept: frames are large)
  std::unique_ptr<TFrameSink> sink_; // where captured frames go
  std::vector<double> frameMilliseconds_;
  float spectrum_[kSpectrumSize] = {};  // the music's spectrum at this frame's time
  TFrameContext frame_;              // what this frame's effects read (bar fields per bar)
  double trackRow_ = 0.0;            // the keyed tracks' row of this frame
};
