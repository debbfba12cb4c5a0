// Every generator program answers --help with its usage on stdout, and writes nothing.
#include "support/RunVorpane.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <string>

TEST(ToolHelp, EveryToolPrintsItsUsageAndWritesNothing) {
  for (const char* tool : {"make_demotrack", "make_model", "make_picture", "make_picture_seeds",
                           "make_production", "make_test_audio", "music_clock"}) {
    const std::string folder = MakeTempFolder();
    for (const char* flag : {"--help", "-h"}) {
      const TRunResult run =
          RunProgramIn(folder, {std::string(VORPANE_TOOLS_DIR) + "/" + tool, flag}, 30);
      EXPECT_EQ(run.ExitStatus, 0) << tool << " " << flag << ": " << run.Stderr;
      EXPECT_EQ(run.Stdout.rfind(std::string("usage: ") + tool + " ", 0), 0u)
          << tool << ": " << run.Stdout;
      EXPECT_EQ(run.Stderr, "") << tool;
    }
    // Only the run's own output files are in the folder: no file or folder named --help.
    DIR* dir = ::opendir(folder.c_str());
    ASSERT_NE(dir, nullptr);
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      EXPECT_TRUE(name == "." || name == ".." || name == ".stdout" || name == ".stderr")
          << tool << " wrote " << name;
    }
    ::closedir(dir);
  }
}
