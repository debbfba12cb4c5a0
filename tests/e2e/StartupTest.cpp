// End-to-end start-up: the binary as a user runs it, in a temporary folder, dialogs off.
#include "support/RunVorpane.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(Startup, MissingScriptEndsWithTheFileErrorAndStatus1) {
  const std::string folder = MakeTempFolder();
  TRunResult run = RunVorpaneIn(folder, {});
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_NE(run.Stderr.find("Cannot open file moltrax.vrp"), std::string::npos) << run.Stderr;

  run = RunVorpaneIn(folder, {"elsewhere.vrp"});
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_NE(run.Stderr.find("Cannot open file elsewhere.vrp"), std::string::npos) << run.Stderr;
}

TEST(Startup, BadNumbersEndWithTheConversionMessage) {
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "moltrax.vrp", "DEMO fine\nRESOLUTIONX 12abc\nINIT\n");
  TRunResult run = RunVorpaneIn(folder, {});
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_NE(run.Stderr.find("'12abc' is not a valid integer value"), std::string::npos)
      << run.Stderr;

  WriteTextFile(folder, "moltrax.vrp", "STARTTIME 1,5\n");
  run = RunVorpaneIn(folder, {});
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_NE(run.Stderr.find("'1,5' is not a valid floating point value"), std::string::npos)
      << run.Stderr;
}

TEST(Startup, ScriptWithEndTimeEndsByItself) {
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "moltrax.vrp", "INIT\nENDTIME 100\n");
  const TRunResult run = RunVorpaneIn(folder, {}, 30);
  EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_GE(run.Seconds, 1.0);
  EXPECT_LT(run.Seconds, 10.0);
}

TEST(Startup, BadCommandLineGivesStatus2) {
  const std::string folder = MakeTempFolder();
  TRunResult run = RunVorpaneIn(folder, {"--no-such-option"});
  EXPECT_EQ(run.ExitStatus, 2);
  EXPECT_FALSE(run.Stderr.empty());
  run = RunVorpaneIn(folder, {"--version"});
  EXPECT_EQ(run.ExitStatus, 0);
  EXPECT_NE(run.Stdout.find("Vorpane"), std::string::npos);
}

TEST(Startup, RealTimePlayWithoutADisplayStopsAtOnceAndSaysWhatToDo) {
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "moltrax.vrp", "RESOLUTIONX 64\nRESOLUTIONY 48\nINIT\nENDTIME 300\n");
  const std::vector<std::string> headless = {"/usr/bin/env", "-u", "SDL_VIDEODRIVER", "-u",
                                             "DISPLAY", "-u", "WAYLAND_DISPLAY"};
  std::vector<std::string> command = headless;
  command.push_back(VORPANE_BINARY);
  TRunResult run = RunProgramIn(folder, command, 30);
  EXPECT_EQ(run.ExitStatus, 1) << run.Stderr;
  EXPECT_LT(run.Seconds, 10.0) << "the production was played invisibly";
  EXPECT_EQ(run.Stderr.rfind("vorpane: there is no display", 0), 0u) << run.Stderr;
  EXPECT_NE(run.Stderr.find("--capture"), std::string::npos) << run.Stderr;
  EXPECT_EQ(run.Stderr.find('\n'), run.Stderr.size() - 1) << "one line: " << run.Stderr;

  // A DISPLAY with no server behind it (no socket of that number exists).
  command = {"/usr/bin/env", "-u", "SDL_VIDEODRIVER", "-u", "WAYLAND_DISPLAY", "DISPLAY=:4093",
             VORPANE_BINARY};
  run = RunProgramIn(folder, command, 30);
  EXPECT_EQ(run.ExitStatus, 1) << run.Stderr;
  EXPECT_LT(run.Seconds, 10.0);
  EXPECT_NE(run.Stderr.find("no display answers at DISPLAY=:4093"), std::string::npos)
      << run.Stderr;

  // A benchmark needs no display.
  command = headless;
  command.insert(command.end(), {VORPANE_BINARY, "--benchmark", "--to", "0.2"});
  run = RunProgramIn(folder, command, 60);
  EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
}
