// The script checker: each kind of problem with its line, the nearest-word suggestion, and the
// sample production checking clean.
#include "authoring/ScriptCheck.h"

#include "app/CommandLine.h"
#include "demo/CommandTable.h"
#include "demo/Vorpane.h"

#include "platform/Files.h"
#include "support/TestSystem.h"
#include "support/SampleProduction.h"
#include "support/TestPictures.h"
#include "support/WorkingFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

// A demotrack of `channels` channels of `rows` rows, all 1.
void WriteDemotrack(const std::string& path, int32_t channels, int32_t rows) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&channels), 4);
  out.write(reinterpret_cast<const char*>(&rows), 4);
  const std::string bytes(static_cast<size_t>(channels) * static_cast<size_t>(rows), '\1');
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> FormattedMessages(const TCheckReport& report) {
  std::vector<std::string> lines;
  for (const TCheckMessage& message : report.Messages)
    lines.push_back(FormatCheckMessage(report.File, message));
  return lines;
}

}  // namespace

TEST(ScriptCheck, ListsEveryProblemWithItsLine) {
  const std::string folder = MakeTempFolder();
  WriteDemotrack(folder + "/short.trk", 2, 4);  // 4 rows: half a second at 120 BPM
  WriteTextFile(folder, "broken.3ds", "not a model");
  WriteTextFile(folder, "broken.jpg", "not a picture");
  WriteTextFile(folder, "check.vrp",
                "RESOLUTIONX 640\n"               // 1
                "INIT\n"                          // 2
                "RESOLUTIONY 480\n"               // 3 window setting after INIT
                "MOUTN 1\n"                       // 4 unknown word
                "X 5\n"                           // 5 parameter without an effect
                "MOUNT 1\n"                       // 6 bar command before BAR
                "TRACKER missing.trk\n"           // 7 missing demotrack; the read goes on
                "TRACKER short.trk\n"             // 8 very short demotrack
                "BPM 1200\n"                      // 9 tempo out of range
                "BPM 120\n"                       // 10 the tempo that counts
                "DATADIR nowhere\n"               // 11 folder that does not exist
                "LOADMUSIC missing.ogg\n"         // 12 music that cannot be read
                "LOAD plaintexture 1\n"           // 13 no parameter A
                "LOAD flash 70000\n"              // 14 slot out of range: slot 1 stays
                "LOAD flashy 2\n"                 // 15 unknown effect type
                "LOAD object 3\n"                 // 16 model that does not decode
                "A broken.3ds\n"                  // 17
                "LOAD plaintextureadd 4\n"        // 18 picture that does not decode
                "A broken.jpg\n"                  // 19
                "SPEED 1x0\n"                     // 20 fatal conversion; the read goes on
                "ENDTIME 30\n"                    // 21 0.3 s
                "BAR far\n"                       // 22
                "MOUNT 40000000\n"                // 23 row beyond 2^31
                "EFFECT 9\n"                      // 24 empty slot
                "INPUT 0 5 1 70000 0\n"           // 25 channel 5 of 2, width 70 s
                "BAR after the demotrack\n"       // 26
                "MOUNT 0 1\n"                     // 27 row 16 of 4
                "EFFECT 4\n"                      // 28
                "BAR after the end time\n"        // 29
                "MOUNT 0 0 1\n"                   // 30 row 4: 0.5 s, after ENDTIME 0.3 s
                "EFFECT 4\n"                      // 31
                "LOAD pixelize 5\n"               // 32 its fixed files are missing
                "INPUT 1 0 1 100 0\n"             // 33 note 1 is on row 0 too
                "INPUT 2 1 9 100 0\n");           // 34 no row holds note 9
  TCheckReport report;
  {
    WorkingFolder inside(folder);
    report = CheckScript("check.vrp");
  }
  const std::vector<std::string> expected = {
      "check.vrp:3: warning: RESOLUTIONY after INIT has no effect: INIT has already opened the "
      "window",
      "check.vrp:4: warning: unknown command 'MOUTN' is ignored; did you mean 'MOUNT'?",
      "check.vrp:5: error: Parameter X has no effect to apply to (no effect loaded in slot 0)",
      "check.vrp:6: error: MOUNT needs a BAR before it",
      "check.vrp:7: error: Cannot open file missing.trk (looked for at " + folder +
          "/missing.trk)",
      "check.vrp:8: warning: the demotrack has 4 rows, 0.50 s at its tempo: the demo ends at once",
      "check.vrp:9: warning: BPM 1200 is outside 1 to 999",
      "check.vrp:11: warning: DATADIR 'nowhere' does not exist; the player ignores it and stays "
      "in its folder",
      "check.vrp:12: error: Cannot load music missing.ogg: No such file or directory (looked "
      "for at " + folder + "/missing.ogg)",
      "check.vrp:13: error: plaintexture in slot 1 needs parameter A (the picture file)",
      "check.vrp:14: error: LOAD flash into slot 70000: slot numbers go from 0 to 65535",
      "check.vrp:15: error: No such effect in demo: flashy; did you mean 'flash'?",
      "check.vrp:16: error: Cannot load model broken.3ds: the file holds no mesh "
      "[object in slot 3, parameter A]",
      "check.vrp:18: error: picture broken.jpg: Couldn't load JPG - \"broken.jpg\" (Not a JPEG "
      "file: starts with 0x6e 0x6f) [plaintextureadd in slot 4, parameter A]",
      "check.vrp:20: error: '1x0' is not a valid integer value",
      "check.vrp:22: error: Effect not installed: 9 (bar 'far' runs a slot that holds no effect)",
      "check.vrp:23: warning: MOUNT row 2560000000 is beyond 2^31 rows; it wraps to row "
      "-1734967296",
      "check.vrp:25: warning: INPUT width 70.00 s is over 60 s",
      "check.vrp:25: warning: INPUT 0 reads demotrack channel 5, but the demotrack has 2 "
      "channels (0 to 1)",
      "check.vrp:26: warning: bar 'after the demotrack' starts at row 16, after the demotrack's "
      "end (row 4): it never shows",
      "check.vrp:29: warning: bar 'after the end time' starts at 0.50 s, after the end time "
      "0.30 s: it never shows",
      "check.vrp:32: error: Cannot load model boxpixel.3ds: Cannot open file boxpixel.3ds "
      "(looked for at " + folder + "/boxpixel.3ds) [pixelize in slot 5]",
      "check.vrp:32: error: Cannot load model duck.3ds: Cannot open file duck.3ds (looked for "
      "at " + folder + "/duck.3ds) [pixelize in slot 5]",
      "check.vrp:32: error: picture pair hvit.jpg + inyourface.jpg: Couldn't load JPG - "
      "\"hvit.jpg\" (looked for at " + folder + "/hvit.jpg) [pixelize in slot 5]",
      "check.vrp:33: warning: INPUT 1: note 1 on row 0 of demotrack channel 0 never raises the "
      "input (row 0 is not read)",
      "check.vrp:34: warning: INPUT 2: note 9 never occurs in demotrack channel 1: the input "
      "stays at 0",
  };
  EXPECT_EQ(FormattedMessages(report), expected);
  EXPECT_EQ(report.ErrorCount(), 14);
  EXPECT_EQ(report.WarningCount(), 12);
  EXPECT_EQ(CheckSummary(report), "check.vrp: 14 errors, 12 warnings");
}

TEST(ScriptCheck, FilesResolveAsInThePlayerAndAreReportedOnce) {
  // Windows-style names find the file whatever their case and separators; a file that two
  // effects name is reported once, at its first use; a pair is read as two JPEG files.
  const std::string folder = MakeTempFolder();
  ASSERT_TRUE(MakeFolders(folder + "/Data"));
  WriteTextFile(folder + "/Data", "Bad.tga", "no picture");
  WriteTextFile(folder, "colour.jpg", "not a jpeg either");
  WriteTextFile(folder, "pairs.vrp",
                "LOAD plaintexture 1\n"
                "A DATA\\bad.TGA\n"
                "LOAD particles 2\n"
                "A data\\BAD.tga\n"
                "LOAD plaintexture 3\n"
                "A Colour.JPG\n"
                "B alpha.jpg\n");
  TCheckReport report;
  {
    WorkingFolder inside(folder);
    report = CheckScript("pairs.vrp");
  }
  ASSERT_EQ(report.Messages.size(), 2u) << ::testing::PrintToString(FormattedMessages(report));
  EXPECT_EQ(report.Messages[0].Line, 1);
  EXPECT_EQ(report.Messages[0].Text.rfind("picture DATA\\bad.TGA: ", 0), 0u)
      << report.Messages[0].Text;
  EXPECT_EQ(report.Messages[0].Text.find("File not found"), std::string::npos)
      << report.Messages[0].Text;
  EXPECT_EQ(report.Messages[1].Line, 5);
  EXPECT_EQ(report.Messages[1].Text.rfind("picture pair Colour.JPG + alpha.jpg: ", 0), 0u)
      << report.Messages[1].Text;
  // A script that cannot be read is one error of the whole file, and the exit status says so.
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(RunScriptCheck(folder + "/missing.vrp", out), 1);
  std::rewind(out);
  char printed[4096] = {};
  const size_t length = std::fread(printed, 1, sizeof printed - 1, out);
  std::fclose(out);
  const std::string name = folder + "/missing.vrp";
  EXPECT_EQ(std::string(printed, length), name + ": error: Cannot open file " + name + "\n" +
                                              name + ": 1 error, 0 warnings\n");
}

TEST(ScriptCheck, PictureThatDecodesWithErrorsIsAWarningOnItsLine) {
  const std::string folder = MakeTempFolder();
  ASSERT_TRUE(WriteJpeg(folder + "/cut.jpg", PatternImage(64, 48), 90));
  std::vector<uint8_t> bytes = ReadBytes(folder + "/cut.jpg");
  bytes.resize(bytes.size() / 2);
  WriteBytesTo(folder + "/cut.jpg", bytes);
  WriteTextFile(folder, "cut.vrp", "LOAD plaintexture 1\nA cut.jpg\n");
  TCheckReport report;
  {
    WorkingFolder inside(folder);
    report = CheckScript("cut.vrp");
  }
  EXPECT_EQ(FormattedMessages(report),
            std::vector<std::string>{"cut.vrp:1: warning: cut.jpg: picture is damaged (decoded with "
                                     "errors: Premature end of JPEG file) [plaintexture in slot 1, "
                                     "parameter A]"});
  EXPECT_EQ(report.ErrorCount(), 0);
}

TEST(ScriptCheck, NearestWordSuggestsCloseKnownWords) {
  const std::vector<std::string> known = ScriptCommandWords();
  EXPECT_EQ(NearestWord("MOUTN", known), "MOUNT");    // two letters swapped
  EXPECT_EQ(NearestWord("mount", known), "MOUNT");    // letter case
  EXPECT_EQ(NearestWord("LENGHT", known), "LENGTH");
  EXPECT_EQ(NearestWord("BARS", known), "BAR");
  EXPECT_EQ(NearestWord(">>COLOUR", known), ">>COLOR");
  EXPECT_EQ(NearestWord("RESOLUTIONZ", known), "RESOLUTIONX");  // the first of equals wins
  EXPECT_EQ(NearestWord("\tLOADMUSIC", known), "LOADMUSIC");    // a tab before the word
  EXPECT_EQ(NearestWord("Q", known), "");             // one letter is no misspelt one
  EXPECT_EQ(NearestWord("PARTICLES", known), "");      // more than two edits from any word
  EXPECT_EQ(NearestWord("", known), "");
  EXPECT_EQ(NearestWord(std::string(100, 'A'), known), "");
}

TEST(ScriptCheck, SampleProductionChecksClean) {
  const std::string production = BuiltSampleProduction();
  TCheckReport report;
  {
    WorkingFolder inside(production);
    report = CheckScript("moltrax.vrp");
  }
  EXPECT_EQ(FormattedMessages(report), std::vector<std::string>());
  EXPECT_EQ(CheckSummary(report), "moltrax.vrp: 0 errors, 0 warnings");
}

TEST(ScriptCheck, CommandLineTakesCheckWithAScriptButNotWithARenderingRun) {
  const TCommandLine plain = ParseCommandLine({"--check"});
  EXPECT_EQ(plain.ExitStatus, -1);
  EXPECT_TRUE(plain.Check);
  EXPECT_EQ(plain.Script, "moltrax.vrp");
  const TCommandLine named = ParseCommandLine({"--check", "demo.vrp"});
  EXPECT_TRUE(named.Check);
  EXPECT_EQ(named.Script, "demo.vrp");
  EXPECT_FALSE(ParseCommandLine({"demo.vrp"}).Check);
  EXPECT_EQ(ParseCommandLine({"--check", "--capture", "frames"}).ExitStatus, 2);
  EXPECT_EQ(ParseCommandLine({"--benchmark", "--check"}).ExitStatus, 2);
}

TEST(ScriptCheck, KeyedTrackProblemsAreWarningsOnTheirLines) {
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "proj.rocket",
                "<sync rows=\"10000\"><tracks>\n<track name=\"cam:z\">"
                "<key row=\"0\" value=\"1\" interpolation=\"9\"/>"
                "<key row=\"5\" value=\"2\"/><key row=\"5\" value=\"3\"/>"
                "<key row=\"5000\" value=\"3\"/></track>\n"
                "<track name=\"unused\"/><track name=\"both\"><key row=\"0\" value=\"1\"/></track>"
                "\n</tracks></sync>\n");
  WriteTextFile(folder, "t.vrp",
                "TRACKER\nBPM 120\nENDTIME 400\nKEY both 1 1\nTRACKS proj.rocket\n"
                "KEY lonely 3 1\nKEY lonely 3 2\n"
                "LOAD plaincolor 1\nX @nokeys\nG @cam:z\nE @both\n");
  TCheckReport report;
  {
    WorkingFolder inside(folder);
    report = CheckScript("t.vrp");
  }
  EXPECT_EQ(FormattedMessages(report),
            (std::vector<std::string>{
                "t.vrp:5: error: Track 'both' has keys in the script (line 4) and in 'proj.rocket': "
                "keep its keys in one place",
                "t.vrp:5: warning: 'proj.rocket' has 1 track no parameter follows: 'unused'",
                "t.vrp:5: warning: 'proj.rocket' has 1 key(s) of a type this player does not know "
                "(0 to 3: step, linear, smooth, ramp); they hold their value like a step (first: "
                "line 2: key type 9)",
                "t.vrp:5: warning: 'proj.rocket' has 1 key(s) on a row another key of their track "
                "has; the later one is kept",
                "t.vrp:5: warning: track 'cam:z' has a key on row 5000, past the end of the demo "
                "(row 32)",
                "t.vrp:6: warning: track 'lonely' is keyed but no parameter follows it",
                "t.vrp:7: warning: this KEY replaces a key on the same row of its track",
                "t.vrp:9: warning: track 'nokeys' has no keys (no KEY line, not in "
                "'proj.rocket'): it holds 0"}));
}
