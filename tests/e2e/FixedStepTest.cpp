// Capture and benchmark runs on the fixed-step clock, and the real window under Xvfb.
#include "support/RunVorpane.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>

namespace {

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir))
      if (entry->d_name[0] != '.') names.push_back(entry->d_name);
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Width and height from a PNG's header.
std::pair<uint32_t, uint32_t> PngSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  unsigned char header[24] = {};
  in.read(reinterpret_cast<char*>(header), sizeof header);
  auto be32 = [&](int at) {
    return uint32_t(header[at]) << 24 | uint32_t(header[at + 1]) << 16 |
           uint32_t(header[at + 2]) << 8 | uint32_t(header[at + 3]);
  };
  return {be32(16), be32(20)};
}

const char* kSmallScript =
    "RESOLUTIONX 320\nRESOLUTIONY 200\nCOLORDEPTH 32\nINIT\nCLEARCOLOR 255 0 0 255\n";

}  // namespace

TEST(Capture, WritesOnePngPerFrameOfTheRange) {
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "moltrax.vrp", kSmallScript);
  const TRunResult run =
      RunVorpaneIn(folder, {"--capture", "frames", "--fps", "10", "--from", "1", "--to", "3"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  const std::vector<std::string> files = FilesIn(folder + "/frames");
  ASSERT_EQ(files.size(), 20u);
  EXPECT_EQ(files.front(), "frame_000000.png");
  EXPECT_EQ(files.back(), "frame_000019.png");
  EXPECT_EQ(PngSize(folder + "/frames/" + files.back()), std::make_pair(320u, 200u));

  // ENDTIME ends a capture without --to; the frame past the end time is the last one.
  WriteTextFile(folder, "end.vrp", std::string(kSmallScript) + "ENDTIME 50\n");
  const TRunResult ended = RunVorpaneIn(folder, {"--capture", "out", "--fps", "10", "end.vrp"});
  ASSERT_EQ(ended.ExitStatus, 0) << ended.Stderr;
  EXPECT_EQ(FilesIn(folder + "/out").size(), 7u);  // times 0.0 .. 0.6
}

TEST(Capture, RunsWithoutAnEndAreRefused) {
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "moltrax.vrp", kSmallScript);
  TRunResult run = RunVorpaneIn(folder, {"--capture", "frames"});
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_NE(run.Stderr.find("no end"), std::string::npos) << run.Stderr;
  EXPECT_TRUE(FilesIn(folder + "/frames").empty());
  run = RunVorpaneIn(folder, {"--benchmark"});
  EXPECT_EQ(run.ExitStatus, 1);
  // Range options only make sense with a fixed-step run.
  run = RunVorpaneIn(folder, {"--to", "3"});
  EXPECT_EQ(run.ExitStatus, 2);
  run = RunVorpaneIn(folder, {"--benchmark", "--from", "3", "--to", "2"});
  EXPECT_EQ(run.ExitStatus, 2);
}

TEST(Capture, AnEffectThatFailedToLoadStopsItWithStatusOne) {
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "moltrax.vrp",
                std::string(kSmallScript) + "LOAD plaintexture 4\nLOAD plaincolor 2\nENDTIME 50\n");
  TRunResult run = RunVorpaneIn(folder, {"--capture", "frames"});
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_NE(run.Stderr.find("Effect PlainTexture requires texture filename in parameter A, "
                            "Effect number 4"),
            std::string::npos)
      << run.Stderr;
  EXPECT_NE(run.Stderr.find("The effect in slot 4 failed to load"), std::string::npos) << run.Stderr;
  EXPECT_TRUE(FilesIn(folder + "/frames").empty());
  run = RunVorpaneIn(folder, {"--benchmark"});
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_EQ(run.Stdout, "");
}

TEST(Benchmark, PrintsCountAndFrameTimes) {
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "moltrax.vrp", kSmallScript);
  const TRunResult run = RunVorpaneIn(folder, {"--benchmark", "--fps", "30", "--to", "1"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_NE(run.Stdout.find("frames: 30\n"), std::string::npos) << run.Stdout;
  for (const char* figure : {"median: ", "p90: ", "p99: ", "max: "}) {
    const size_t at = run.Stdout.find(figure);
    ASSERT_NE(at, std::string::npos) << figure << " in " << run.Stdout;
    const double ms = std::stod(run.Stdout.substr(at + std::string(figure).size()));
    EXPECT_GT(ms, 0.0) << figure;
    EXPECT_NE(run.Stdout.find(" ms\n", at), std::string::npos);
  }
}

TEST(RealWindow, HasTheComposedTitleUnderXvfb) {
  if (system("command -v xvfb-run >/dev/null && command -v xwininfo >/dev/null") != 0)
    GTEST_SKIP() << "xvfb-run or xwininfo not installed";
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "moltrax.vrp",
                "DEMO Title Test\nGROUP Crew\nPARTY Party\nYEAR 2026\nVERSION 1\n"
                "RESOLUTIONX 800\nRESOLUTIONY 600\nINIT\nENDTIME 300\n");
  const std::string shell =
      "env -u SDL_VIDEODRIVER " + std::string(VORPANE_BINARY) + " & pid=$!; "
      "for i in $(seq 50); do xwininfo -root -tree | grep -F '\"Title Test by Crew' && break; "
      "sleep 0.1; done; wait $pid";
  const TRunResult run = RunProgramIn(
      folder, {"/usr/bin/xvfb-run", "-a", "-s", "-screen 0 800x600x24", "/bin/sh", "-c", shell},
      60);
  EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_NE(run.Stdout.find(
                "\"Title Test by Crew :: Party 2026 :: 1 :: Vorpane Demoengine 0.1\""),
            std::string::npos)
      << run.Stdout << run.Stderr;
  EXPECT_NE(run.Stdout.find("800x600"), std::string::npos) << run.Stdout;
}
