// Productions with 3D models, run as a user would: a model that cannot be read ends a capture
// with status 1 and says which model and why; a readable one is captured.
#include "common/Demotrack.h"
#include "common/Models3DS.h"
#include "support/CapturedFrames.h"
#include "support/RunVorpane.h"

#include <gtest/gtest.h>

namespace {

std::string ObjectScript(const std::string& model) {
  return "RESOLUTIONX 320\nRESOLUTIONY 240\nCOLORDEPTH 32\nINIT\nENDTIME 50\n"
         "TRACKER track.bin\nBPM 120\nLOAD object 1\nA " + model + "\nS 2000\nE 255\nF 255\nG 0\n"
         "BAR cube\nMOUNT 0\nLENGTH 1\nEFFECT 1\n";
}

}  // namespace

TEST(ModelCapture, AMissingOrBrokenModelEndsTheCaptureAndNamesTheModel) {
  const std::string folder = MakeTempFolder();
  ASSERT_TRUE(WriteDemotrack(folder + "/track.bin", TDemotrackGrid(1, std::vector<uint8_t>(64))));
  WriteTextFile(folder, "moltrax.vrp", ObjectScript("missing.3ds"));
  TRunResult run = RunVorpaneIn(folder, {"--capture", "frames"});
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_NE(run.Stderr.find("Cannot load model missing.3ds: Cannot open file missing.3ds"),
            std::string::npos)
      << run.Stderr;
  EXPECT_NE(run.Stderr.find("The effect in slot 1 failed to load"), std::string::npos) << run.Stderr;

  // A file cut in the middle of its vertex list.
  std::vector<uint8_t> cut = ModelFileBytes("sphere");
  cut.resize(cut.size() / 3);
  WriteTextFile(folder, "cut.3ds", std::string(cut.begin(), cut.end()));
  WriteTextFile(folder, "cut.vrp", ObjectScript("cut.3ds"));
  run = RunVorpaneIn(folder, {"--capture", "frames", "cut.vrp"});
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_NE(run.Stderr.find("Cannot load model cut.3ds: Stream read error"), std::string::npos) << run.Stderr;

  // A chunk of length 0 ahead of the vertex list ends the mesh there: it has nothing to draw.
  TChunkWriter w;
  w.Begin(0x4D4D);
  w.Begin(0x3D3D);
  w.Begin(0x4000);
  w.Str("Cut");
  w.Begin(0x4100);
  w.U16(0x4111);
  w.U32(0);
  w.Begin(0x4110); w.U16(3); w.Vec(0, 0, 0); w.Vec(1, 0, 0); w.Vec(0, 1, 0); w.End();
  w.Begin(0x4120); w.U16(1); w.U16(0); w.U16(1); w.U16(2); w.U16(7); w.End();
  for (int i = 0; i < 4; ++i) w.End();
  WriteTextFile(folder, "cutmesh.3ds", std::string(w.Bytes().begin(), w.Bytes().end()));
  WriteTextFile(folder, "cutmesh.vrp", ObjectScript("cutmesh.3ds"));
  run = RunVorpaneIn(folder, {"--capture", "frames", "cutmesh.vrp"});
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_NE(run.Stderr.find("Cannot load model cutmesh.3ds: its first mesh \"Cut\" has no faces"),
            std::string::npos) << run.Stderr;

  // The same production with the model in place is captured.
  std::string error;
  ASSERT_TRUE(WriteModelFile("cube", folder + "/cube.3ds", error)) << error;
  WriteTextFile(folder, "cube.vrp", ObjectScript("cube.3ds"));
  run = RunVorpaneIn(folder, {"--capture", "cube", "--fps", "10", "cube.vrp"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_EQ(WithoutProgressSummary(run.Stderr), "");
  TFrame frame;
  ASSERT_TRUE(ReadPng(FrameName(folder + "/cube", 0), frame));
  const uint8_t* middle = frame.At(160, 120);
  EXPECT_EQ(middle[0], 255);
  EXPECT_EQ(middle[1], 255);
  EXPECT_EQ(middle[2], 0);
}
