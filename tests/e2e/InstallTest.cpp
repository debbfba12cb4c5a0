// Playing the sample production from wherever it is laid out: a build folder with another name,
// and a tree installed by `cmake --install` under a temporary prefix, played from its own
// folder; and the line that says where the production is when no script is found.
#include "support/CapturedFrames.h"
#include "support/RunVorpane.h"
#include "support/SampleProduction.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace {

bool IsFile(const std::string& name) {
  struct stat st;
  return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Plays moltrax.vrp in `folder` with `player` and captures its frame at 27 s (the chrome ring:
// pictures, model and music all in use) into a folder elsewhere; it must match the golden frame.
void ExpectPlaysTheSampleProduction(const std::string& player, const std::string& folder) {
  const std::string frames = MakeTempFolder();
  const TRunResult run = RunProgramIn(
      folder, {player, "--capture", frames, "--fps", "4", "--from", "27", "--to", "27.25"}, 120);
  EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_EQ(WithoutProgressSummary(run.Stderr), "");
  TFrame frame, golden;
  ASSERT_TRUE(ReadPng(FrameName(frames, 0), frame)) << run.Stderr;
  const std::string goldenFile =
      std::string(VORPANE_SOURCE_DIR) + "/tests/e2e/golden/moltrax_2700.png";
  ASSERT_TRUE(ReadPng(goldenFile, golden));
  ASSERT_EQ(frame.Rgb.size(), golden.Rgb.size());
  size_t off = 0;
  for (size_t i = 0; i < frame.Rgb.size(); ++i)
    if (std::abs(static_cast<int>(frame.Rgb[i]) - static_cast<int>(golden.Rgb[i])) > 8) ++off;
  EXPECT_LE(off, frame.Rgb.size() / 100) << player;
}

}  // namespace

TEST(Install, TheProductionPlaysBesideABuildFolderNotNamedBuild) {
  // out/vorpane and out/production/ as a build folder named "out" holds them; the player is
  // started as `../vorpane` from out/production.
  const std::string out = MakeTempFolder() + "/out";
  ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
  ASSERT_EQ(::symlink(VORPANE_BINARY, (out + "/vorpane").c_str()), 0);
  ASSERT_EQ(::mkdir((out + "/production").c_str(), 0755), 0);
  ASSERT_TRUE(LinkSampleProductionInto(out + "/production"));
  ExpectPlaysTheSampleProduction("../vorpane", out + "/production");
}

TEST(Install, AnInstalledTreePlaysItsProductionAndTheMissingScriptLineNamesIt) {
  const std::string prefix = MakeTempFolder() + "/prefix";
  const TRunResult install = RunProgramIn(
      MakeTempFolder(),
      {"/usr/bin/env", "cmake", "--install", std::string(VORPANE_TOOLS_DIR) + "/..", "--prefix",
       prefix},
      120);
  ASSERT_EQ(install.ExitStatus, 0) << install.Stdout << install.Stderr;
  const std::string installed = prefix + "/share/vorpane/production";
  for (const std::string& file :
       {prefix + "/bin/vorpane", prefix + "/share/man/man1/vorpane.1.gz",
        prefix + "/bin/vorpane-track", prefix + "/share/man/man1/vorpane-track.1.gz",
        prefix + "/share/doc/vorpane/README.md", installed + "/moltrax.vrp",
        installed + "/moltrax.ogg", installed + "/moltrax.trk", installed + "/loading.bmp",
        installed + "/duck.3ds"})
    EXPECT_TRUE(IsFile(file)) << file;
  EXPECT_EQ(::access((prefix + "/bin/vorpane").c_str(), X_OK), 0);
  EXPECT_FALSE(IsFile(installed + "/generated.stamp"));

  ExpectPlaysTheSampleProduction(prefix + "/bin/vorpane", installed);

  // Started with no script in an empty folder: the fatal message as always, then where the
  // installed production is.
  const TRunResult missing = RunProgramIn(MakeTempFolder(), {prefix + "/bin/vorpane"}, 60);
  EXPECT_EQ(missing.ExitStatus, 1);
  const size_t error = missing.Stderr.find("Cannot open file moltrax.vrp");
  const size_t hint = missing.Stderr.find("the sample production is in " + installed + " ");
  EXPECT_NE(error, std::string::npos) << missing.Stderr;
  ASSERT_NE(hint, std::string::npos) << missing.Stderr;
  EXPECT_LT(error, hint);
  // A script named on the command line gets no such line; neither does a run that has its
  // moltrax.vrp and fails on something else.
  const TRunResult named =
      RunProgramIn(MakeTempFolder(), {prefix + "/bin/vorpane", "other.vrp"}, 60);
  EXPECT_EQ(named.ExitStatus, 1);
  EXPECT_EQ(named.Stderr.find("sample production"), std::string::npos) << named.Stderr;
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "moltrax.vrp", "TRACKER missing.trk\n");
  const TRunResult other = RunProgramIn(folder, {prefix + "/bin/vorpane"}, 60);
  EXPECT_EQ(other.ExitStatus, 1);
  EXPECT_NE(other.Stderr.find("Cannot open file missing.trk"), std::string::npos) << other.Stderr;
  EXPECT_EQ(other.Stderr.find("sample production"), std::string::npos) << other.Stderr;
}

TEST(Install, TheBuiltPlayerPointsAtTheBuildFoldersProduction) {
  const TRunResult missing = RunVorpaneIn(MakeTempFolder(), {});
  EXPECT_EQ(missing.ExitStatus, 1);
  char real[4096];
  ASSERT_NE(::realpath(BuiltSampleProduction().c_str(), real), nullptr);
  EXPECT_NE(missing.Stderr.find(std::string("the sample production is in ") + real + " "),
            std::string::npos)
      << missing.Stderr;
}
