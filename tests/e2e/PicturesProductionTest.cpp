// A production made with the picture tool: loading screen, a picture, an added picture and
// particles, played on the fixed-step clock. Everything loads without a message and plays to
// the end; a missing picture is reported and the demo still plays.
#include "support/RunVorpane.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

const char kScript[] =
    "RESOLUTIONX 800\nRESOLUTIONY 600\nCOLORDEPTH 32\n"
    "LOADINGSCREEN loading.jpg\nINIT\nDRAWLOADING 0\n"
    "TRACKER track.bin\nBPM 120\n"
    "LOAD plaintexture 0\nA back.bmp\n"
    "LOAD plaintextureadd 1\nA glow.tga\nSS 50\nX 200\nY 150\nW 400\nH 300\n"
    "LOAD particles 2\nA dot.tga\nB respawn\nE 200\nF 40\nG 50\nS 300\nVX 20\nVY 20\nVZ 20\n"
    "BAR pictures\nMOUNT 0\nLENGTH 1 0\nEFFECT 0\n"
    "BAR glow\nMOUNT 0\nLENGTH 1 0\nEFFECT 1\n"
    "BAR dots\nMOUNT 0\nLENGTH 1 0\nEFFECT 2\nINPUT 0 0 5 100 0\n"
    "ENDTIME 2\n";

}  // namespace

TEST(PicturesProduction, ToolMadePicturesLoadAndPlay) {
  const std::string folder = MakeTempFolder();
  const std::string tool = std::string(VORPANE_TOOLS_DIR) + "/make_picture";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{tool, "loading.jpg", "512", "512", "checker"},
        {tool, "back.bmp", "250", "130", "gradient"},
        {tool, "glow.tga", "64", "64", "sprite", "32", "rle"},
        {tool, "dot.tga", "32", "32", "sprite", "rle", "top"}}) {
    const TRunResult made = RunProgramIn(folder, args);
    ASSERT_EQ(made.ExitStatus, 0) << made.Stderr;
  }
  // A note 5 on every row of channel 0 gives the particles their size.
  std::string rows;
  for (int i = 0; i < 80; ++i) rows += "5\n";
  WriteTextFile(folder, "track.txt", rows);
  const TRunResult track = RunProgramIn(
      folder, {std::string(VORPANE_TOOLS_DIR) + "/make_demotrack", "track.txt", "track.bin"});
  ASSERT_EQ(track.ExitStatus, 0) << track.Stderr;
  WriteTextFile(folder, "moltrax.vrp", kScript);
  TRunResult run = RunVorpaneIn(folder, {"--benchmark", "--to", "1"});
  EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_EQ(run.Stderr.find("Couldn't"), std::string::npos) << run.Stderr;
  EXPECT_EQ(run.Stderr.find("Error"), std::string::npos) << run.Stderr;

  // The tool refuses what it cannot make.
  EXPECT_EQ(RunProgramIn(folder, {tool, "x.png", "4", "4"}).ExitStatus, 2);
  EXPECT_EQ(RunProgramIn(folder, {tool, "x.bmp", "0", "4"}).ExitStatus, 2);

  // A missing picture shows the loader's message; real-time play goes on, a benchmark does not.
  ASSERT_EQ(std::remove((folder + "/glow.tga").c_str()), 0);
  run = RunVorpaneIn(folder, {});
  EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_NE(run.Stderr.find("File not found  - glow.tga"), std::string::npos) << run.Stderr;
  run = RunVorpaneIn(folder, {"--benchmark", "--to", "1"});
  EXPECT_EQ(run.ExitStatus, 1) << run.Stderr;
  EXPECT_NE(run.Stderr.find("File not found  - glow.tga"), std::string::npos) << run.Stderr;
  EXPECT_EQ(run.Stdout, "");
}
