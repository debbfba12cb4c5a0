// The demo system: TVDemo reads the script, owns the effect slots, the bars and the demotrack,
// and runs the frames. The entry creates one TVDemo, calls Run and frees it.
#pragma once
#include "demo/ScriptParser.h"
#include "demo/Tracker.h"
#include "effects/VEffect.h"
#include "platform/Frame.h"
#include "platform/KestoGL2.h"
#include "platform/ScriptError.h"
#include "platform/Timer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

class TEditControls;
class TFrameSink;
class TScriptWatcher;
class TVDemo;

// The highest effect slot LOAD accepts: the slot table grows to the highest slot used.
constexpr int32_t kMaxEffectSlot = 65535;
// The window sides RESOLUTIONX and RESOLUTIONY accept, in pixels.
constexpr int32_t kMinWindowSide = 1;
constexpr int32_t kMaxWindowSide = 16384;

// How one of a bar's 20 inputs is derived from the demotrack.
struct TInputMap {
  int32_t Channel = 0;      // demotrack channel
  uint8_t Note = 0;         // the value looked for in the channel
  float Width = 0.0f;       // seconds each side of a matching row
  float LookAhead = 0.0f;   // seconds a coming note is looked for ahead
  bool Enabled = false;
};

// One timeline entry: mounts an effect slot on a span of tracker rows.
struct TScriptBar {
  int32_t Mount = 0;                            // first row
  int32_t Length = 0;                           // number of rows
  int32_t Effect = 0;                           // slot in EffectSlots
  TInputMap InputMaps[kEffectInputCount];
  std::string Name;
  int32_t Line = 0;                             // script line of its BAR command
  float Color[4] = {0, 0, 0, 0};                // red, green, blue, alpha
  float Single = 0.0f;
  float Offset = 0.0f;
};

// How the program is run; zero-initialised means as the script says, in real time.
struct TDemoOptions {
  int WindowMode = 0;           // 0: the script's FULLSCREEN; 1: windowed; 2: fullscreen
  bool FixedStep = false;       // fixed-step clock (capture and benchmark) instead of the timer
  float Fps = 0.0f;             // frames per second of the fixed-step clock (0 = 60)
  bool HasFrom = false;         // range start given (else the script's start time)
  float From = 0.0f;
  bool HasTo = false;           // range end given
  float To = 0.0f;
  std::string CaptureDir;       // where frames go in a capture (empty: none)
  bool Benchmark = false;       // print frame time statistics at the end
  bool ReadOnly = false;        // only read the script: no window, no sound device, no music
                                // decoding; effects are created but not loaded, and the types
                                // that read files when created get a base effect in their slot
                                // (tools that inspect a production without playing it)
  bool KeepReading = false;     // a line that would end the read (a failed conversion, a
                                // missing demotrack) is a script error and the read goes on
  // Called with each line's tokens before and after it runs (a line that failed is not
  // followed by AfterCommand); lets a tool look at every command the reader executes.
  std::function<void(TVDemo& demo, const TVDemoCommand& tokens)> BeforeCommand;
  std::function<void(TVDemo& demo, const TVDemoCommand& tokens)> AfterCommand;
  bool Quiet = false;           // no progress line or summary of a capture or benchmark
  bool Edit = false;            // real-time run taking the edit keys (EditControls.h)
  bool HasStart = false;        // real-time start time given (overrides STARTTIME)
  float Start = 0.0f;
  bool NoVsync = false;         // real-time swaps not synced to the display
  std::string ScreenshotFolder; // where F12 writes in an edit run (empty: the current folder)
};

// The command words of the script, in table order.
std::vector<std::string> ScriptCommandWords();

class TVDemo {
 public:
  // A demo with the default settings that reads nothing (the reload builds on one).
  struct TBlank {};
  explicit TVDemo(TBlank);
  // Sets the defaults, reads and executes the script, loads the effects and starts the clock.
  explicit TVDemo(const std::string& fileName, const TDemoOptions& options = TDemoOptions());
  ~TVDemo();

  // True when the run has an end: an end time, a demotrack, or the end of the range.
  bool HasEnd() const;

  // Renders frames until Escape is down or QuitRequested is set.
  void Run();
  // One frame.
  void RenderFrame();

  // Reads and executes the script line by line.
  void LoadScript(const std::string& fileName);
  // Reads the script again, from the folder the run started in: slots, bars, macros, demotrack
  // and settings are rebuilt; the window, the music stream and the demo time stay. Errors go to
  // stderr and the first one (with its line) to message; a script that cannot be read at all
  // keeps the previous timeline and returns false.
  bool ReloadScript(std::string& message);
  // The script's absolute path (for watching it: DATADIR moves the current folder).
  std::string ScriptPath() const;
  // Runs one command; MOUNT and LENGTH change the token count.
  void ExecuteCommand(TVDemoCommand& tokens);
  // The DRAWLOADING command: the loading screen, presented 51 times.
  void DrawLoading(float value);
  // The window title composed from the production's names.
  std::string ComposeTitle() const;
  // The INIT command: window, first cleared frame, keyboard, loading-screen texture.
  void Init();
  // The LOAD command: creates an effect of a type into a slot and makes it the current slot.
  void LoadEffect(const std::string& typeName, int32_t slot);
  // The LOADMUSIC command: starts the audio output and opens the music.
  void LoadMusic(const std::string& fileName);
  // The TRACKER command: a new demotrack, loaded from the file when a name is given.
  void CreateTracker(const std::string& fileName);
  // The BPM command: the tempo of the current demotrack.
  void SetBpm(float bpm);
  // Stores an effect in a slot (lengthening the slot array) and sets its Index.
  void InstallEffect(TVEffect* effect, int32_t slot);
  // Calls Load on every filled slot in slot order.
  void LoadEffects();

  std::string DemoName = "<demo>";
  std::string GroupName = "<group>";
  std::string PartyName = "<party>";
  std::string Year = "<year>";
  std::string Version = "<version>";
  int32_t ResolutionX = 640;
  int32_t ResolutionY = 480;
  int32_t ColorDepth = 16;
  bool Fullscreen = false;
  float StartTime = 0.0f;
  float Speed = 1.0f;
  std::string LoadingScreen;
  uint32_t LoadingTexture = 0;
  float ClearColor[4] = {0, 0, 0, 1};
  bool ShowTimer = false;
  bool Exclusive = true;
  TRenderWindow Window;
  uint32_t Music = 0;
  bool MusicLoaded = false;
  std::string MusicFile;        // the name LOADMUSIC was given (also when it failed to open)
  std::string ScriptFile;       // the script being read or played
  std::vector<TVEffect*> EffectSlots;
  std::vector<int32_t> EffectSlotLines;  // script line of the LOAD that filled each slot (0: none)
  std::vector<std::string> SlotTypes;  // the LOAD type name of each filled slot ("" when empty)
  TDemoTracker* Tracker = nullptr;
  uint32_t Font = 0;
  int32_t CurrentSlot = 0;
  std::vector<TScriptBar> Bars;
  std::vector<std::string> MacroNames;
  std::vector<std::string> MacroValues;
  TKTimer* Timer = nullptr;
  float Time = 0.0f;
  float LastFrameTime = 0.0f;
  int32_t CurrentBar = 0;
  float EndTime = -1.0f;

 private:
  // Frames per second of the fixed-step clock (--fps, 60 when not given).
  double FixedStepFps() const;
  // Demo time of frame n on the fixed-step clock: the range start + n / fps.
  double FixedStepTime(int64_t frame) const;
  // Demo time of this frame: the timer (or the fixed-step clock), or the music position.
  void UpdateTime();
  // Runs one bar on its effect: frame globals, triggers, inputs, SetInputs and Render.
  void RunBar(size_t barIndex, int32_t row);
  // The slots whose effects failed to load, as "3, 5" (empty when every effect loaded).
  std::string FailedEffectSlots() const;
  // Reports a script fault once per key rather than every frame, tied to a script line.
  void ReportOnce(const std::string& key, int32_t line, const std::string& description);
  // Reads and hands the finished frame to the capture sink (fixed-step runs).
  void CaptureFrame();
  // The time a real-time run ends at: ENDTIME or the demotrack's last row (-1: no end).
  float PlayEndTime() const;
  // Edit runs (EditRun.cpp): the key state and the demo clock that pauses and seeks.
  void StartEdit();
  void UpdateEditTime();
  // Moves the demo time and the music to a time.
  void EditSeek(float time);
  // Loop wrap and the pause at the end, before the frame is drawn.
  void EditBeforeFrame();
  // Screenshot and status line, after the frame is drawn and before it is presented.
  void EditAfterFrame(int32_t row);
  // Carries out the keys pressed during the last present.
  void ApplyEditKeys();
  // Writes the frame being drawn as vorpane-SECONDS.png and says so on stderr.
  void WriteScreenshot();
  // Reloads the script in an edit run; the demo time, the pause and the loop stay.
  void ReloadEditScript();
  // The edit keys' limits from the settings: --start or STARTTIME, and the end.
  void SetEditLimits();
  // Writes the music of the captured range as a WAV file (nothing when the name is empty).
  void WriteCapturedAudio(const std::string& fileName);
  // Starts the audio output (real-time runs) and opens the music; 0 after a script error.
  uint32_t OpenMusic(const std::string& fileName);
  // LOADMUSIC while reloading: the same file keeps the playing stream, another one is opened
  // aside and takes over when the reload succeeds.
  void ReloadMusic(const std::string& fileName);
  // Exchanges everything the script builds (settings, slots, bars, macros, demotracks, the
  // effects) with another demo's.
  void SwapScriptState(TVDemo& other);
  // After a reload: the new music plays from the demo time, the speed follows the script, and
  // the timer goes on from the same demo time.
  void KeepDemoTime(float previousSpeed, float previousStartTime);

  TDemoOptions options_;
  bool initDone_ = false;            // INIT ran (it opens the one window)
  bool reloading_ = false;           // ReloadScript is reading the script
  std::string startFolder_;          // the current folder when the run started
  uint32_t pendingMusic_ = 0;        // a stream a reload opened, not yet playing
  std::string pendingMusicFile_;
  TMacroIndex macroIndex_;           // follows MacroNames while the script is read
  int64_t frameIndex_ = 0;           // frames rendered so far
  int64_t frameLimit_ = -1;          // frames of the fixed-step range (-1: no range end)
  std::unique_ptr<TFrameSink> sink_; // where captured frames go
  std::vector<double> frameMilliseconds_;
  std::set<std::string> reported_;
  // Everything the demo created; slots and Tracker point into these.
  std::vector<std::unique_ptr<TVEffect>> ownedEffects_;
  std::vector<std::unique_ptr<TDemoTracker>> ownedTrackers_;
  std::unique_ptr<TKTimer> ownedTimer_;
  float scriptStartTime_ = 0.0f;     // STARTTIME as the script gave it (before --start)
  std::unique_ptr<TEditControls> edit_;  // edit runs only
  float editBase_ = 0.0f;            // demo time at editAnchor_ (edit runs without music)
  float editAnchor_ = 0.0f;          // timer reading when the demo time was last set
  bool screenshotRequested_ = false;
  std::unique_ptr<TScriptWatcher> scriptWatcher_;  // edit runs: the script file on disk
  std::string reloadMessage_;        // the last reload's first error, drawn on screen
  bool timerChosen_ = false;         // T was pressed: ShowTimer outlives reloads
  std::vector<TKeyPress> keyPresses_;  // key-downs taken by the last present
};
