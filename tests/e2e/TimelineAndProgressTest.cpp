// `--timeline` draws a production without a window; captures and benchmarks say how far they
// are on stderr.
#include "support/RunVorpane.h"
#include "support/SampleProduction.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

// Bars of the sample production's script: the lines that start with BAR.
int BarsInSampleScript() {
  std::ifstream in(std::string(VORPANE_SOURCE_DIR) + "/production/moltrax.vrp");
  std::string line;
  int bars = 0;
  while (std::getline(in, line)) bars += line.rfind("BAR ", 0) == 0 ? 1 : 0;
  return bars;
}

// Runs xmllint on a file: the number of bar lanes when it is well-formed XML, else -1 (with
// the parser's message in `message`).
int BarLanesByXmlParser(const std::string& folder, const std::string& file,
                        std::string& message) {
  const TRunResult run = RunProgramIn(
      folder, {"/usr/bin/xmllint", "--xpath", "count(//*[local-name()='g'][@class='bar'])", file});
  message = run.Stderr;
  if (run.ExitStatus != 0) return -1;
  return std::stoi(run.Stdout);
}

const char* kSmallScript =
    "RESOLUTIONX 160\nRESOLUTIONY 100\nCOLORDEPTH 32\nINIT\nCLEARCOLOR 0 0 255 255\nENDTIME 100\n";

}  // namespace

TEST(Timeline, TheSampleProductionGivesAnSvgWithOneLanePerBar) {
  const std::string production = MirrorSampleProduction();
  ASSERT_FALSE(production.empty());
  const TRunResult run = RunVorpaneIn(production, {"--timeline", "picture.svg"}, 120);
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_EQ(run.Stderr, "");
  EXPECT_EQ(run.Stdout, "");
  const int bars = BarsInSampleScript();
  ASSERT_GT(bars, 30);
  std::string message;
  EXPECT_EQ(BarLanesByXmlParser(production, "picture.svg", message), bars) << message;
  // The build draws the same picture next to the production's data.
  std::ifstream built(BuiltSampleProduction() + "/timeline.svg"), drawn(production + "/picture.svg");
  std::stringstream builtText, drawnText;
  builtText << built.rdbuf();
  drawnText << drawn.rdbuf();
  EXPECT_FALSE(builtText.str().empty());
  EXPECT_EQ(builtText.str(), drawnText.str());
  // The waveform of the music is there.
  EXPECT_NE(drawnText.str().find("<path class=\"wave\" d=\"M"), std::string::npos);
  // So is a curve for each of its two keyed tracks.
  size_t curves = 0;
  for (size_t at = drawnText.str().find("class=\"curve\""); at != std::string::npos;
       at = drawnText.str().find("class=\"curve\"", at + 1))
    ++curves;
  EXPECT_EQ(curves, 2u);
}

TEST(Timeline, ScriptErrorsAreListedWithTheirLineAndThePictureIsStillDrawn) {
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "broken.vrp",
                "TRACKER missing.trk\nBPM 120\nLOAD nosuch 1\nBAR one & <two>\nMOUNT 1x\n"
                "EFFECT 1\nBAR \xE9t\xE9\nLENGTH 1\n");
  TRunResult run = RunVorpaneIn(folder, {"--timeline", "out/../broken.svg", "broken.vrp"});
  // out/ does not exist: the picture cannot be written there.
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_NE(run.Stderr.find("vorpane: Cannot write "), std::string::npos) << run.Stderr;

  run = RunVorpaneIn(folder, {"--timeline", "broken.svg", "broken.vrp"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_NE(run.Stderr.find("broken.vrp:1: Cannot open file missing.trk (looked for at " + folder +
                            "/missing.trk)\n"),
            std::string::npos)
      << run.Stderr;
  EXPECT_NE(run.Stderr.find("broken.vrp:3: No such effect in demo: nosuch\n"), std::string::npos);
  EXPECT_NE(run.Stderr.find("broken.vrp:5: '1x' is not a valid integer value\n"),
            std::string::npos);
  std::string message;
  EXPECT_EQ(BarLanesByXmlParser(folder, "broken.svg", message), 2) << message;

  run = RunVorpaneIn(folder, {"--timeline", "none.svg", "none.vrp"});
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_NE(run.Stderr.find("Cannot open file none.vrp"), std::string::npos) << run.Stderr;
  run = RunVorpaneIn(folder, {"--timeline", "x.svg", "--capture", "frames", "broken.vrp"});
  EXPECT_EQ(run.ExitStatus, 2);
}

TEST(Progress, ACaptureOrBenchmarkIntoAFileEndsWithOneSummaryLineAndQuietSaysNothing) {
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "moltrax.vrp", kSmallScript);
  TRunResult run = RunVorpaneIn(folder, {"--capture", "frames", "--fps", "10", "--from", "0.5"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  // ENDTIME 1 s from 0.5 s at 10 frames a second: 0.5 ... 0.9.
  EXPECT_EQ(run.Stderr.rfind("vorpane: captured 5 frames (demo 0.50 to 0.90 s) in ", 0), 0u)
      << run.Stderr;
  EXPECT_EQ(run.Stderr.find(" fps\n"), run.Stderr.size() - 5) << run.Stderr;
  EXPECT_EQ(std::count(run.Stderr.begin(), run.Stderr.end(), '\n'), 1);

  run = RunVorpaneIn(folder, {"--benchmark", "--fps", "20", "--to", "0.5"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_EQ(run.Stdout.rfind("frames: 10\n", 0), 0u) << run.Stdout;  // statistics as before
  EXPECT_EQ(run.Stdout.find("vorpane:"), std::string::npos);
  EXPECT_EQ(run.Stderr.rfind("vorpane: rendered 10 frames (demo 0.00 to 0.45 s) in ", 0), 0u)
      << run.Stderr;
  EXPECT_EQ(std::count(run.Stderr.begin(), run.Stderr.end(), '\n'), 1);

  run = RunVorpaneIn(folder, {"--capture", "quiet", "--quiet"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_EQ(run.Stderr, "");
  run = RunVorpaneIn(folder, {"--benchmark", "--quiet"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_EQ(run.Stderr, "");
  EXPECT_EQ(run.Stdout.rfind("frames: ", 0), 0u);
}

TEST(Progress, OnATerminalTheLineIsRewrittenAndEndsWithTheSummary) {
  // `script` gives the player a terminal; its output is what the terminal received.
  if (::access("/usr/bin/script", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/script";
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "moltrax.vrp", kSmallScript);
  const TRunResult run = RunProgramIn(
      folder, {"/usr/bin/script", "-qec",
               std::string(VORPANE_BINARY) + " --capture frames --fps 60 2>&1 >/dev/null",
               "/dev/null"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stdout << run.Stderr;
  const std::string& shown = run.Stdout;
  EXPECT_EQ(shown.rfind("\rframe 1/60 (1%)  demo 0.00 s  ", 0), 0u) << shown;
  // One second at 60 frames a second: the last frame is at 59/60 s.
  const size_t summary = shown.rfind("\rvorpane: captured 60 frames (demo 0.00 to 0.98 s) in ");
  EXPECT_NE(summary, std::string::npos) << shown;
  EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 1) << shown;
  EXPECT_EQ(shown.back(), '\n');
}
