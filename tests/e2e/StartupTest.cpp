// End-to-end start-up: the binary as a user runs it, in a temporary folder, dialogs off.
#include "support/RunVorpane.h"

#include <gtest/gtest.h>

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
