// Every generator program answers --help with its usage on stdout, and writes nothing.
#include "support/RunVorpane.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

TEST(ToolHelp, EveryToolPrintsItsUsageAndWritesNothing) {
  const std::string folder = MakeTempFolder();
  for (const char* tool : {"make_demotrack", "make_model", "make_picture", "make_picture_seeds",
                           "make_production", "make_test_audio", "music_clock"}) {
    for (const char* flag : {"--help", "-h"}) {
      const TRunResult run =
          RunProgramIn(folder, {std::string(VORPANE_TOOLS_DIR) + "/" + tool, flag}, 30);
      EXPECT_EQ(run.ExitStatus, 0) << tool << " " << flag << ": " << run.Stderr;
      EXPECT_EQ(run.Stdout.rfind(std::string("usage: ") + tool + " ", 0), 0u) << run.Stdout;
      EXPECT_EQ(run.Stderr, "") << tool;
      EXPECT_NE(::access((folder + "/" + flag).c_str(), F_OK), 0) << tool << " wrote " << flag;
    }
  }
}
