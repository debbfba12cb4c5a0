// The progress line and summary of captures and benchmarks.
#include "app/CommandLine.h"
#include "demo/RunProgress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// Runs `body` with a progress writer on a memory stream and returns what it wrote.
template <class Body>
std::string Written(bool terminal, Body body) {
  std::FILE* out = std::tmpfile();
  {
    TRunProgress progress(out, terminal, true, 600, 1.0);
    body(progress);
  }
  std::string text;
  std::rewind(out);
  for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
  std::fclose(out);
  return text;
}

size_t Count(const std::string& text, char c) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), c));
}

}  // namespace

TEST(ProgressText, LineShowsFrameRateAndTimeLeft) {
  EXPECT_EQ(ProgressLine(120, 600, 12.0, 2.0), "frame 120/600 (20%)  demo 12.00 s  60.0 fps  0:08 left");
  // No range end: no count and no time left.
  EXPECT_EQ(ProgressLine(120, -1, 12.0, 2.0), "frame 120  demo 12.00 s  60.0 fps");
  // Before any time has passed (or before the first frame) there is no rate to divide by.
  EXPECT_EQ(ProgressLine(0, 600, 0.0, 0.0), "frame 0/600 (0%)  demo 0.00 s  -- fps  -- left");
  EXPECT_EQ(ProgressLine(5, 600, 0.08, 0.0), "frame 5/600 (0%)  demo 0.08 s  -- fps  -- left");
  EXPECT_EQ(ProgressLine(0, -1, 3.5, 1.0), "frame 0  demo 3.50 s  -- fps");
  // An estimated count the run goes past never shows a frame beyond the count.
  EXPECT_EQ(ProgressLine(605, 600, 72.5, 10.0), "frame 605/605 (100%)  demo 72.50 s  60.5 fps  0:00 left");
  // Slow runs: hours, rounded up to whole seconds.
  EXPECT_EQ(ProgressLine(10, 36010, 0.2, 1.0), "frame 10/36010 (0%)  demo 0.20 s  10.0 fps  1:00:00 left");

  EXPECT_EQ(FormatDuration(0), "0:00");
  EXPECT_EQ(FormatDuration(0.2), "0:01");
  EXPECT_EQ(FormatDuration(59.5), "1:00");
  EXPECT_EQ(FormatDuration(61), "1:01");
  EXPECT_EQ(FormatDuration(3725), "1:02:05");
  EXPECT_EQ(FormatDuration(-4), "0:00");
  EXPECT_EQ(FormatDuration(std::nan("")), "0:00");

  EXPECT_EQ(ProgressSummary(true, 600, 0.0, 9.983, 12.3),
            "vorpane: captured 600 frames (demo 0.00 to 9.98 s) in 12.3 s, 48.8 fps");
  EXPECT_EQ(ProgressSummary(false, 1, 2.0, 2.0, 0.25),
            "vorpane: rendered 1 frame (demo 2.00 to 2.00 s) in 0.2 s, 4.0 fps");
  EXPECT_EQ(ProgressSummary(false, 0, 0.0, 0.0, 0.0), "vorpane: rendered 0 frames in 0.0 s");
}

TEST(ProgressText, TerminalLineIsRewrittenAFewTimesASecondAndEndsWithTheSummary) {
  // A thousand frames in far less than a quarter of a second: the line is written once.
  const std::string shown = Written(true, [](TRunProgress& progress) {
    for (int frame = 1; frame <= 1000; ++frame) progress.Update(frame, 1.0 + frame / 60.0);
    progress.Finish(1000, 17.65);
  });
  EXPECT_EQ(Count(shown, '\r'), 2u) << shown;  // the first update, then the summary over it
  EXPECT_EQ(shown.rfind("\rframe 1/600 (0%)  demo 1.02 s", 0), 0u) << shown;
  const size_t summary = shown.rfind('\r');
  EXPECT_EQ(shown.compare(summary, 29, "\rvorpane: captured 1000 frame"), 0) << shown;
  EXPECT_EQ(Count(shown, '\n'), 1u);
  EXPECT_EQ(shown.back(), '\n');

  // Not a terminal: a line every 10 s, so in a short run nothing but the summary.
  const std::string logged = Written(false, [](TRunProgress& progress) {
    for (int frame = 1; frame <= 50; ++frame) progress.Update(frame, 1.0 + frame / 60.0);
    progress.Finish(50, 1.82);
  });
  EXPECT_EQ(logged.rfind("vorpane: captured 50 frames (demo 1.00 to 1.82 s) in ", 0), 0u) << logged;
  EXPECT_EQ(Count(logged, '\n'), 1u);
  EXPECT_EQ(Count(logged, '\r'), 0u);

  // A run that fails half-way leaves no line without its end for the error message.
  const std::string broken =
      Written(true, [](TRunProgress& progress) { progress.Update(3, 1.05); });
  EXPECT_EQ(broken.rfind("\rframe 3/600", 0), 0u) << broken;
  EXPECT_EQ(broken.back(), '\n');
}

TEST(CommandLine, QuietAndTimelineOptions) {
  TCommandLine line = ParseCommandLine({"--capture", "frames", "--quiet"});
  EXPECT_EQ(line.ExitStatus, -1) << line.Message;
  EXPECT_TRUE(line.Options.Quiet);
  EXPECT_FALSE(ParseCommandLine({"--benchmark"}).Options.Quiet);

  line = ParseCommandLine({"--timeline", "picture.svg", "demo.vrp"});
  EXPECT_EQ(line.ExitStatus, -1) << line.Message;
  EXPECT_EQ(line.TimelineFile, "picture.svg");
  EXPECT_EQ(line.Script, "demo.vrp");
  EXPECT_FALSE(line.Options.FixedStep);
  // A picture is no capture or benchmark, and takes no range.
  EXPECT_EQ(ParseCommandLine({"--timeline", "t.svg", "--benchmark"}).ExitStatus, 2);
  EXPECT_EQ(ParseCommandLine({"--timeline", "t.svg", "--capture", "d"}).ExitStatus, 2);
  EXPECT_EQ(ParseCommandLine({"--timeline", "t.svg", "--to", "3"}).ExitStatus, 2);
  EXPECT_EQ(ParseCommandLine({"--timeline", "t.svg", "--check"}).ExitStatus, 2);
  EXPECT_EQ(ParseCommandLine({"--timeline"}).ExitStatus, 2);
}
