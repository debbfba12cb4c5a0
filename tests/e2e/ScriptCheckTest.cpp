// `vorpane --check` as a user runs it, and the script line in front of every script error a
// normal run writes to stderr.
#include "support/RunVorpane.h"
#include "support/SampleProduction.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

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
  const std::vector<std::string> expectedLines = {
      "test.vrp:5: Description: Cannot load model missing.3ds: Cannot open file missing.3ds "
      "(looked for at " + folder + "/missing.3ds)",
      "test.vrp:7: Description: No such effect in demo: nosuch",
      "test.vrp:8: Description: Effect not installed: 7",
      "test.vrp:11: Description: Error reading demotrack 3",
      "test.vrp:15: Couldn't load PNG - \"nopic.png\" (looked for at " + folder + "/nopic.png)",
      "test.vrp:15: Reason: the file cannot be read"};
  for (const std::string& expected : expectedLines)
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

TEST(CheckCommand, AScriptInAnotherFolderFindsItsFiles) {
  // prod/ holds the sample production; other/ a script whose DATADIR points there.
  const std::string folder = MakeTempFolder();
  ASSERT_EQ(::mkdir((folder + "/prod").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((folder + "/other").c_str(), 0755), 0);
  ASSERT_TRUE(LinkSampleProductionInto(folder + "/prod"));
  const TRunResult clean = RunVorpaneIn(folder, {"--check", "prod/moltrax.vrp"});
  EXPECT_EQ(clean.ExitStatus, 0) << clean.Stdout << clean.Stderr;
  EXPECT_EQ(clean.Stdout, "prod/moltrax.vrp: 0 errors, 0 warnings\n");

  WriteTextFile(folder, "other/uses.vrp",
                "DATADIR ../prod\nINIT\nLOAD plaintexture 1\nA sky.jpg\n"
                "LOAD plaintexture 2\nA nopic.png\nDATADIR nowhere\n");
  const TRunResult uses = RunVorpaneIn(folder, {"--check", "other/uses.vrp"});
  EXPECT_EQ(Lines(uses.Stdout),
            (std::vector<std::string>{
                "other/uses.vrp:5: error: picture nopic.png: Couldn't load PNG - \"nopic.png\" "
                "(looked for at " + folder + "/prod/nopic.png) (the file cannot be read) "
                "[plaintexture in slot 2, parameter A]",
                "other/uses.vrp:7: warning: DATADIR 'nowhere' does not exist; the player "
                "ignores it and stays in its folder",
                "other/uses.vrp: 1 error, 1 warning"}));

  // Playing: the folder that does not exist is one line on stderr; the picture is found.
  WriteTextFile(folder, "other/play.vrp",
                "ENDTIME 100\nDATADIR ../prod\nDATADIR nowhere\nINIT\nLOAD plaintexture 1\n"
                "A sky.jpg\n");
  const TRunResult play = RunVorpaneIn(folder, {"--benchmark", "--to", "0.05", "other/play.vrp"});
  EXPECT_EQ(play.ExitStatus, 0) << play.Stderr;
  EXPECT_EQ(WithoutProgressSummary(play.Stderr),
            "other/play.vrp:3: DATADIR 'nowhere' is not a folder (looked for at " + folder +
                "/prod/nowhere); names stay relative to " + folder + "/prod\n");

  // The timeline picture goes where the player was started.
  const TRunResult timeline =
      RunVorpaneIn(folder, {"--timeline", "t.svg", "prod/moltrax.vrp"});
  EXPECT_EQ(timeline.ExitStatus, 0) << timeline.Stderr;
  EXPECT_EQ(timeline.Stderr, "");
  EXPECT_NE(ReadTextFile(folder + "/t.svg").find("<svg"), std::string::npos);
}

TEST(CheckCommand, WarnsOfWhatChangesThePictureAndReadsEditorHabits) {
  const std::string folder = MakeTempFolder();
  ASSERT_TRUE(LinkSampleProductionInto(folder));
  // A byte-order mark, tabs and blanks at line ends are read as an author means them.
  WriteTextFile(folder, "warn.vrp",
                "\xEF\xBB\xBF" "DEMO\tTabbed \n"      // 1
                "FULLSCREEN yes\n"                    // 2 neither true nor false
                "SPEED 0\n"                           // 3
                "STARTTIME 50\n"                      // 4 past the end time
                "ENDTIME 4000\n"                      // 5
                "CLEARCOLOR 0 300 0 255\n"            // 6
                "INIT\n"                              // 7
                "LOAD\tplaintexture\t1\n"             // 8
                "A sky.jpg \t\n"                      // 9
                "LAOD plaintexture 2\n"               // 10 unknown
                "A logo.jpg\n"                        // 11 lands in slot 1
                "LOAD particles 3\n"                  // 12
                "A spark.tga // the sprite\n"         // 13
                "B forcback\n"                        // 14 unknown particle mode
                "LOAD plaintexture 4\n"               // 15
                "A sky.jpg//old.jpg\n"                // 16 "//" glued to the name
                "TRACKER moltrax.trk\n"               // 17
                "BPM 120\n"                           // 18
                "BAR one\n"                           // 19
                "LENGTH 0 0 0 0\n"                    // 20
                "EFFECT 1\n"                          // 21
                ">>COLOR 255 255 -1 255\n"            // 22
                "BAR two\n"                           // 23
                "LENGTH 4\n"                          // 24
                "EFFECT 3\n"                          // 25
                "INPUT 0 0 60 -100 0\n"               // 26 negative width
                "INPUT 1 0 60\n");                    // 27 no width: the player stops here
  const TRunResult run = RunVorpaneIn(folder, {"--check", "warn.vrp"});
  EXPECT_EQ(run.ExitStatus, 1) << run.Stdout << run.Stderr;
  EXPECT_EQ(
      Lines(run.Stdout),
      (std::vector<std::string>{
          "warn.vrp:2: warning: FULLSCREEN 'yes' is neither true nor false; it reads as false",
          "warn.vrp:3: warning: SPEED 0 stops the demo: time stands still",
          "warn.vrp:4: warning: STARTTIME 50.00 s is at or past the end time (40.00 s): the demo "
          "ends at once",
          "warn.vrp:6: warning: CLEARCOLOR green 300 is outside 0 to 255",
          "warn.vrp:10: warning: unknown command 'LAOD' is ignored; did you mean 'LOAD'?",
          "warn.vrp:11: warning: A follows the unknown command 'LAOD' (line 10): it and the "
          "parameters after it set plaintexture in slot 1",
          "warn.vrp:14: warning: particle mode 'forcback' is unknown (bounce, forceback, "
          "respawn); the particles bounce; did you mean 'forceback'?",
          "warn.vrp:16: warning: \"//\" in the A text starts a comment: the text is 'sky.jpg'; "
          "write '/' for a folder",
          "warn.vrp:20: warning: LENGTH 0 rows: bar 'one' never shows",
          "warn.vrp:22: warning: >>COLOR blue -1 is outside 0 to 255",
          "warn.vrp:26: warning: INPUT width -100 ms is negative: the input stays at 0",
          "warn.vrp:27: error: INPUT 1 lacks its width (ms): INPUT takes input, channel, note, "
          "width (ms) and look-ahead (ms)",
          "warn.vrp: 1 error, 11 warnings"}));
  EXPECT_EQ(run.Stderr, "");
}
