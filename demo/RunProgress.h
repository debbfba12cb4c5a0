// What a capture or benchmark says about its progress on stderr: on a terminal one line,
// rewritten a few times a second, with the frame, the demo time, the frame rate and the time
// left; elsewhere (a log, a pipe) the same as a line of its own every 10 s; a one-line summary at
// the end.
#pragma once
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

// The progress line: "frame 120/600 (20%)  demo 12.00 s  58.3 fps  0:08 left". A frame count below 0
// means the length of the run is not known (no "/N", no time left); before any time has passed
// the rate and the time left show as "--".
std::string ProgressLine(int64_t frame, int64_t frameCount, double demoSeconds,
                         double elapsedSeconds);
// The line at the end: "vorpane: captured 600 frames (demo 0.00 to 9.98 s) in 12.3 s, 48.8 fps"
// ("rendered" for a benchmark).
std::string ProgressSummary(bool capture, int64_t frames, double demoFrom, double demoTo,
                            double elapsedSeconds);
// A duration as "m:ss", or "h:mm:ss" from an hour up, rounded up to whole seconds.
std::string FormatDuration(double seconds);

class TRunProgress {
 public:
  // Writes to `out` (null: says nothing); `terminal` chooses the rewritten line over the lines of
  // a log. The clock starts here.
  TRunProgress(std::FILE* out, bool terminal, bool capture, int64_t frameCount, double demoFrom);
  // Ends a pending line, so that an error message after it starts on a line of its own.
  ~TRunProgress();
  TRunProgress(const TRunProgress&) = delete;
  TRunProgress& operator=(const TRunProgress&) = delete;

  // After each frame: rewrites the line (or writes a log line) when enough time has passed since
  // the last time.
  void Update(int64_t framesDone, double demoSeconds);
  // After the last frame: the summary (on a terminal in place of the line).
  void Finish(int64_t framesDone, double demoSeconds);

 private:
  double Elapsed() const;

  std::FILE* out_;
  bool terminal_;
  bool capture_;
  int64_t frameCount_;
  double demoFrom_;
  std::chrono::steady_clock::time_point start_;
  double lastShown_ = -1.0;     // elapsed seconds at the last rewrite (-1: none yet)
  size_t shownLength_ = 0;      // length of the line on screen, to blank a longer old one
  bool linePending_ = false;    // a line without its newline is on screen
};
