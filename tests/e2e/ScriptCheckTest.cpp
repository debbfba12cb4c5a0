// `vorpane --check` as a user runs it, and the script line in front of every script error a
// normal run writes to stderr.
#include "support/RunVorpane.h"
#include "support/SampleProduction.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

TEST(CheckCommand, SampleProductionPrintsOnlyItsSummaryAndABrokenScriptFails) {
  const std::string production = MirrorSampleProduction();
  ASSERT_FALSE(production.empty());
  const TRunResult clean = RunVorpaneIn(production, {"--check"});
  EXPECT_EQ(clean.ExitStatus, 0) << clean.Stdout << clean.Stderr;
  EXPECT_EQ(clean.Stdout, "moltrax.vrp: 0 errors, 0 warnings\n");
  EXPECT_EQ(clean.Stderr, "");

  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "bad.vrp", "INIT\nLOAD plaintexture 1\nSPEED fast\nBARR one\n");
  const TRunResult bad = RunVorpaneIn(folder, {"--check", "bad.vrp"});
  EXPECT_EQ(bad.ExitStatus, 1) << bad.Stdout << bad.Stderr;
  EXPECT_EQ(Lines(bad.Stdout),
            (std::vector<std::string>{
                "bad.vrp:2: error: plaintexture in slot 1 needs parameter A (the picture file)",
                "bad.vrp:3: error: 'fast' is not a valid integer value",
                "bad.vrp:4: warning: unknown command 'BARR' is ignored; did you mean 'BAR'?",
                "bad.vrp: 2 errors, 1 warning"}));
  EXPECT_EQ(bad.Stderr, "");

  // Warnings alone do not fail the check.
  WriteTextFile(folder, "warned.vrp", "INIT\nRESOLUTIONX 800\n");
  const TRunResult warned = RunVorpaneIn(folder, {"--check", "warned.vrp"});
  EXPECT_EQ(warned.ExitStatus, 0) << warned.Stdout;
  EXPECT_EQ(Lines(warned.Stdout).back(), "warned.vrp: 0 errors, 1 warning");
}

TEST(CheckCommand, PlayTimeScriptErrorsStartWithTheirLine) {
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "test.vrp",
                "INIT\n"                 // 1
                "ENDTIME 40\n"           // 2
                "TRACKER\n"              // 3 no file: no channels
                "BPM 120\n"              // 4
                "LOAD object 1\n"        // 5 its model is missing: reported when effects load
                "A missing.3ds\n"        // 6
                "LOAD nosuch 2\n"        // 7 reported while the script is read
                "BAR empty\n"            // 8 reported when its first frame runs
                "LENGTH 4 0 0 0\n"       // 9
                "EFFECT 7\n"             // 10
                "BAR inputs\n"           // 11 its input reads a channel the demotrack lacks
                "LENGTH 4 0 0 0\n"       // 12
                "EFFECT 1\n"             // 13
                "INPUT 0 3 1 100 0\n"    // 14
                "LOAD plaintexture 3\n"  // 15 its picture is missing: the loader names this line
                "A nopic.png\n");        // 16
  const TRunResult run = RunVorpaneIn(folder, {"test.vrp"});
  EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
  for (const std::string expected :
       {"test.vrp:5: Description: Cannot load model missing.3ds: Cannot open file missing.3ds",
        "test.vrp:7: Description: No such effect in demo: nosuch",
        "test.vrp:8: Description: Effect not installed: 7",
        "test.vrp:11: Description: Error reading demotrack 3",
        "test.vrp:15: Couldn't load PNG - \"nopic.png\"",
        "test.vrp:15: Reason: the file cannot be read"})
    EXPECT_NE(run.Stderr.find(std::string("\n") + expected + "\n"), std::string::npos)
        << expected << "\n" << run.Stderr;
  int scriptErrorLines = 0;
  for (const std::string& line : Lines(run.Stderr)) {
    if (line.find("Vorpane Demosystem") == std::string::npos &&
        line.find("Error in demoscript") == std::string::npos &&
        line.find("Description: ") == std::string::npos)
      continue;
    ++scriptErrorLines;
    EXPECT_EQ(line.rfind("test.vrp:", 0), 0u) << line;
  }
  EXPECT_EQ(scriptErrorLines, 4 * 3);

  // A conversion that ends the read names its line as well.
  WriteTextFile(folder, "fatal.vrp", "INIT\nSPEED 1x0\n");
  const TRunResult fatal = RunVorpaneIn(folder, {"fatal.vrp"});
  EXPECT_EQ(fatal.ExitStatus, 1);
  EXPECT_NE(fatal.Stderr.find("fatal.vrp:2: '1x0' is not a valid integer value\n"),
            std::string::npos)
      << fatal.Stderr;
}
