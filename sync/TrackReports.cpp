#include "sync/TrackReports.h"

#include "platform/Dialogs.h"

#include <cstdio>


namespace {

// Set by the command that runs, reset between tests.
struct TReportState {
  bool ShowProgress = false;
  bool CacheProblemSaid = false;
};
TReportState reports;

constexpr auto kTerminalStep = std::chrono::seconds(1);
constexpr auto kLogStep = std::chrono::seconds(5);

// The file's own name, without its folder.
std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void ShowAnalysisProgress(bool show) { reports.ShowProgress = show; }

void ReportCacheProblemOnce(const std::string& message) {
  if (reports.CacheProblemSaid) return;
  reports.CacheProblemSaid = true;
  std::fprintf(stderr, "%s: music is made into a demotrack again on every start\n",
               message.c_str());
}

void ResetTrackReports() { reports = TReportState(); }

TAnalysisProgress::TAnalysisProgress(const std::string& fileName)
    : name_(BaseName(fileName)), start_(std::chrono::steady_clock::now()) {
  if (!reports.ShowProgress) return;
  terminal_ = StderrIsTerminal();
  if (terminal_)
    std::fprintf(stderr, "analysing %s for beats and onsets", name_.c_str());
  else
    std::fprintf(stderr, "analysing %s for beats and onsets\n", name_.c_str());
  std::fflush(stderr);
  reporter_ = std::thread([this] { Run(); });
}

TAnalysisProgress::~TAnalysisProgress() { Done(false); }

double TAnalysisProgress::Elapsed() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void TAnalysisProgress::Run() {
  std::unique_lock<std::mutex> hold(lock_);
  const auto step = terminal_ ? kTerminalStep : kLogStep;
  auto next = start_ + step;
  while (!wake_.wait_until(hold, next, [this] { return stop_; })) {
    if (terminal_)
      std::fprintf(stderr, "\ranalysing %s for beats and onsets: %.0f s", name_.c_str(), Elapsed());
    else
      std::fprintf(stderr, "analysing %s: %.0f s so far\n", name_.c_str(), Elapsed());
    std::fflush(stderr);
    next += step;
  }
}

void TAnalysisProgress::Done(bool analysed) {
  if (!reporter_.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
  }
  wake_.notify_all();
  reporter_.join();
  // On a terminal the line in progress is overwritten (and cleared after a failure, whose
  // message follows on its own line).
  if (terminal_) std::fputs("\r\033[K", stderr);
  if (analysed) std::fprintf(stderr, "analysed %s in %.1f s\n", name_.c_str(), Elapsed());
  std::fflush(stderr);
}
