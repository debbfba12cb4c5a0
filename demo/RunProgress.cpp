#include "demo/RunProgress.h"

#include <algorithm>
#include <cmath>

namespace {

// Rewrites of the terminal line per second at most: often enough to look alive, rarely enough
// to cost nothing beside a frame.
constexpr double kSecondsBetweenUpdates = 0.25;
// Lines of a log (stderr not a terminal): a sign of life, not a stream.
constexpr double kSecondsBetweenLogLines = 10.0;

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, std::isfinite(value) ? value : 0.0);
  // A locale with a decimal comma would otherwise change the line.
  for (char* c = text; *c; ++c)
    if (*c == ',') *c = '.';
  return text;
}

}  // namespace

std::string FormatDuration(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
  const int64_t whole = static_cast<int64_t>(std::ceil(seconds));
  const int64_t hours = whole / 3600, minutes = whole / 60 % 60, rest = whole % 60;
  char text[64];
  if (hours > 0)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(hours),
                  static_cast<long long>(minutes), static_cast<long long>(rest));
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(minutes),
                  static_cast<long long>(rest));
  return text;
}

std::string ProgressLine(int64_t frame, int64_t frameCount, double demoSeconds,
                         double elapsedSeconds) {
  // An estimated count can fall short of the frames the run really takes.
  if (frameCount >= 0 && frame > frameCount) frameCount = frame;
  std::string line = "frame " + std::to_string(frame);
  if (frameCount > 0)
    line += "/" + std::to_string(frameCount) + " (" + std::to_string(100 * frame / frameCount) +
            "%)";
  else if (frameCount == 0)
    line += "/0";
  line += "  demo " + Fixed(demoSeconds, 2) + " s";
  const bool timed = elapsedSeconds > 0 && frame > 0;
  const double fps = timed ? static_cast<double>(frame) / elapsedSeconds : 0.0;
  line += "  " + (timed ? Fixed(fps, 1) : std::string("--")) + " fps";
  if (frameCount >= 0)
    line += "  " + (timed ? FormatDuration(static_cast<double>(frameCount - frame) / fps)
                          : std::string("--")) +
            " left";
  return line;
}

std::string ProgressSummary(bool capture, int64_t frames, double demoFrom, double demoTo,
                            double elapsedSeconds) {
  std::string line = std::string("vorpane: ") + (capture ? "captured " : "rendered ") +
                     std::to_string(frames) + (frames == 1 ? " frame" : " frames");
  if (frames > 0) line += " (demo " + Fixed(demoFrom, 2) + " to " + Fixed(demoTo, 2) + " s)";
  line += " in " + Fixed(elapsedSeconds, 1) + " s";
  if (elapsedSeconds > 0 && frames > 0)
    line += ", " + Fixed(static_cast<double>(frames) / elapsedSeconds, 1) + " fps";
  return line;
}

TRunProgress::TRunProgress(std::FILE* out, bool terminal, bool capture, int64_t frameCount,
                           double demoFrom)
    : out_(out),
      terminal_(terminal),
      capture_(capture),
      frameCount_(frameCount),
      demoFrom_(demoFrom),
      start_(std::chrono::steady_clock::now()) {}

TRunProgress::~TRunProgress() {
  if (out_ && linePending_) {
    std::fputc('\n', out_);
    std::fflush(out_);
  }
}

double TRunProgress::Elapsed() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void TRunProgress::Update(int64_t framesDone, double demoSeconds) {
  if (!out_) return;
  const double elapsed = Elapsed();
  if (!terminal_) {
    if (elapsed - std::max(lastShown_, 0.0) < kSecondsBetweenLogLines) return;
    lastShown_ = elapsed;
    std::fprintf(out_, "vorpane: %s\n",
                 ProgressLine(framesDone, frameCount_, demoSeconds, elapsed).c_str());
    std::fflush(out_);
    return;
  }
  if (lastShown_ >= 0 && elapsed - lastShown_ < kSecondsBetweenUpdates) return;
  lastShown_ = elapsed;
  const std::string line = ProgressLine(framesDone, frameCount_, demoSeconds, elapsed);
  // Blanks what is left of a longer line before.
  const std::string padding(shownLength_ > line.size() ? shownLength_ - line.size() : 0, ' ');
  std::fprintf(out_, "\r%s%s", line.c_str(), padding.c_str());
  std::fflush(out_);
  shownLength_ = line.size();
  linePending_ = true;
}

void TRunProgress::Finish(int64_t framesDone, double demoSeconds) {
  if (!out_) return;
  const std::string line =
      ProgressSummary(capture_, framesDone, demoFrom_, demoSeconds, Elapsed());
  const std::string padding(
      terminal_ && shownLength_ > line.size() ? shownLength_ - line.size() : 0, ' ');
  std::fprintf(out_, "%s%s%s\n", terminal_ && linePending_ ? "\r" : "", line.c_str(),
               padding.c_str());
  std::fflush(out_);
  linePending_ = false;
}
