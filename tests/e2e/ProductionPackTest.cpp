// `--pack`: an archive holds the player under the production's name, the script under the name
// the player reads by default and exactly the files the script reads, and a Linux archive plays
// where it is unpacked.
#include "effects/BitmapFont.h"
#include "platform/FontFiles.h"
#include "support/CapturedFrames.h"
#include "support/RunVorpane.h"
#include "common/ImageWriters.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

TEST(ProductionPack, ArchivesHoldWhatTheScriptReadsAndPlayWhereUnpacked) {
  const std::string folder = MakeTempFolder();
  ASSERT_EQ(::mkdir((folder + "/pictures").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((folder + "/spare").c_str(), 0755), 0);
  ASSERT_TRUE(WriteJpeg(folder + "/pictures/logo.jpg", PatternImage(32, 32)));
  ASSERT_TRUE(WriteJpeg(folder + "/spare/unused.jpg", PatternImage(8, 8)));
  WriteTextFile(folder, "show.vrp",
                "DEMO Blue Sky 2\nRESOLUTIONX 64\nRESOLUTIONY 48\nCOLORDEPTH 32\nINIT\n"
                "ENDTIME 100\nTRACKER\nBPM 120\nDATADIR pictures\n"
                "LOAD plaintexture 1\nA logo.jpg\nW 64\nH 48\n"
                "BAR a\nMOUNT 0\nLENGTH 1\nEFFECT 1\n");
  // A stand-in for vorpane.exe: the packer takes the program it is given as it is.
  WriteTextFile(folder, "stand-in.exe", "MZ");
  TRunResult run = RunVorpaneIn(folder, {"--pack", "win64", "--pack-player", "stand-in.exe",
                                         "show.vrp"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  run = RunProgramIn(folder, {"/usr/bin/unzip", "-Z1", "Blue-Sky-2-win64.zip"});
  // Beside the program, the font this machine draws the player's text with.
  std::string font;
  int index = 0;
  ASSERT_TRUE(MatchFontFile(kPlayerFontFace, kPlayerFontBold, font, index));
  EXPECT_EQ(run.Stdout, "Blue-Sky-2/Blue-Sky-2.exe\nBlue-Sky-2/" + font.substr(font.rfind('/') + 1) +
                            "\nBlue-Sky-2/moltrax.vrp\nBlue-Sky-2/pictures/logo.jpg\n");
  // An archive of that name is kept unless --overwrite is given.
  run = RunVorpaneIn(folder, {"--pack", "win64", "--pack-player", "stand-in.exe", "show.vrp"});
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_NE(run.Stderr.find("already exists; it is kept"), std::string::npos) << run.Stderr;

  run = RunVorpaneIn(folder, {"--pack", "linux", "show.vrp"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  ASSERT_EQ(::mkdir((folder + "/unpacked").c_str(), 0755), 0);
  ASSERT_EQ(RunProgramIn(folder, {"/usr/bin/tar", "xzf", "Blue-Sky-2-linux.tar.gz", "-C", "unpacked"})
                .ExitStatus,
            0);
  // Unpacked, the program plays its production from its own folder with no script named.
  run = RunProgramIn(folder + "/unpacked/Blue-Sky-2",
                     {"./Blue-Sky-2", "--capture", "frames", "--fps", "4", "--to", "0.25"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  TFrame frame;
  EXPECT_TRUE(ReadPng(folder + "/unpacked/Blue-Sky-2/frames" + FrameName("", 0), frame));

  // A file outside the script's folder has no place in an archive.
  WriteTextFile(folder + "/spare", "outside.vrp",
                "LOAD plaintexture 1\nA ../pictures/logo.jpg\n");
  run = RunVorpaneIn(folder + "/spare", {"--pack", "linux", "outside.vrp"});
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_NE(run.Stderr.find("lies outside the script's folder"), std::string::npos) << run.Stderr;
}
