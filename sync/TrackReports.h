// What making demotracks from music tells the user on stderr: the progress of a long analysis of
// a recording, and, once per run, that the cache cannot be kept.
#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

// Whether analyses of recordings report their progress (vorpane --check and vorpane-track turn
// it on; the player does not).
void ShowAnalysisProgress(bool show);
// Writes "message: what follows from it" on stderr the first time in the run; later calls say
// nothing.
void ReportCacheProblemOnce(const std::string& message);
// Back to a fresh process: no progress shown, no cache problem reported yet.
void ResetTrackReports();

// While one exists, and progress is shown, stderr tells that a recording is being analysed and
// for how long so far: one line redrawn every second on a terminal, otherwise a line at the start
// and every 5 seconds. Done ends it with the time taken (or, for a failed analysis, in silence).
class TAnalysisProgress {
 public:
  explicit TAnalysisProgress(const std::string& fileName);
  ~TAnalysisProgress();
  void Done(bool analysed);
  TAnalysisProgress(const TAnalysisProgress&) = delete;
  TAnalysisProgress& operator=(const TAnalysisProgress&) = delete;

 private:
  void Run();
  double Elapsed() const;

  std::string name_;
  bool terminal_ = false;
  std::chrono::steady_clock::time_point start_;
  std::mutex lock_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread reporter_;
};
