// Capture and benchmark runs on the fixed-step clock, and the real window under Xvfb.
#include "common/Demotrack.h"
#include "support/RunVorpane.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <dirent.h>

#include <algorithm>
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

  // ENDTIME ends a capture without --to: its frames start before the end time.
  WriteTextFile(folder, "end.vrp", std::string(kSmallScript) + "ENDTIME 50\n");
  const TRunResult ended = RunVorpaneIn(folder, {"--capture", "out", "--fps", "10", "end.vrp"});
  ASSERT_EQ(ended.ExitStatus, 0) << ended.Stderr;
  EXPECT_EQ(FilesIn(folder + "/out").size(), 5u);  // times 0.0 .. 0.4
}

TEST(Capture, FrameCountIsTheDurationTimesTheRate) {
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "moltrax.vrp", std::string(kSmallScript) + "ENDTIME 1600\n");
  TRunResult run = RunVorpaneIn(folder, {"--benchmark"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_EQ(run.Stdout.rfind("frames: 960\n", 0), 0u) << run.Stdout;
  EXPECT_EQ(run.Stderr.rfind("vorpane: rendered 960 frames (demo 0.00 to 15.98 s)", 0), 0u)
      << run.Stderr;
  // A range: round((3 - 1.1) * 10) frames, frame i at 1.1 + i / 10.
  run = RunVorpaneIn(folder, {"--capture", "range", "--fps", "10", "--from", "1.1", "--to", "3"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_EQ(run.Stderr.rfind("vorpane: captured 19 frames (demo 1.10 to 2.90 s)", 0), 0u)
      << run.Stderr;
  EXPECT_EQ(FilesIn(folder + "/range").size(), 19u);
  // Without ENDTIME the demotrack ends the run after its last row: 100 rows at 120 BPM (eight
  // a second) end at 101 / 8 s; from 10 s at 8 frames a second that is 21 frames.
  ASSERT_TRUE(WriteDemotrack(folder + "/track.trk", TDemotrackGrid(1, std::vector<uint8_t>(100))));
  WriteTextFile(folder, "track.vrp", std::string(kSmallScript) + "TRACKER track.trk\nBPM 120\n");
  run = RunVorpaneIn(folder, {"--benchmark", "--quiet", "--fps", "8", "--from", "10", "track.vrp"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_EQ(run.Stdout.rfind("frames: 21\n", 0), 0u) << run.Stdout;
}

TEST(Capture, BadTargetsAndRangesAreRefusedBeforeAnythingIsWritten) {
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "moltrax.vrp", std::string(kSmallScript) + "ENDTIME 100\n");
  TRunResult run = RunVorpaneIn(folder, {"--capture", "x.avi"});
  EXPECT_EQ(run.ExitStatus, 2);
  EXPECT_NE(run.Stderr.find("x.avi: unknown ending; use .mp4, .mkv, .mov or .webm"), std::string::npos)
      << run.Stderr;
  EXPECT_EQ(std::count(run.Stderr.begin(), run.Stderr.end(), '\n'), 1) << run.Stderr;
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"moltrax.vrp"});

  // --from at or past the end of the demo (1 s).
  run = RunVorpaneIn(folder, {"--capture", "late", "--from", "1"});
  EXPECT_EQ(run.ExitStatus, 2);
  EXPECT_EQ(run.Stderr, "vorpane: --from 1.00 s is at or past the end of the demo (1.00 s)\n");
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"moltrax.vrp"});

  // A folder with frames in it is kept as it is, unless --overwrite replaces its whole capture.
  ASSERT_EQ(RunVorpaneIn(folder, {"--capture", "frames/", "--quiet"}).ExitStatus, 0);
  ASSERT_EQ(FilesIn(folder + "/frames").size(), 60u);
  run = RunVorpaneIn(folder, {"--capture", "frames", "--to", "0.05"});
  EXPECT_EQ(run.ExitStatus, 2);
  EXPECT_NE(run.Stderr.find("frames: the folder already holds frames; use --overwrite"),
            std::string::npos)
      << run.Stderr;
  EXPECT_EQ(FilesIn(folder + "/frames").size(), 60u);
  run = RunVorpaneIn(folder, {"--capture", "frames", "--to", "0.05", "--overwrite"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_EQ(FilesIn(folder + "/frames"),
            (std::vector<std::string>{"frame_000000.png", "frame_000001.png", "frame_000002.png"}));

  // An empty folder that is there takes frames whatever its name (mktemp -d makes "tmp.Ab12").
  ASSERT_EQ(::mkdir((folder + "/tmp.Ab12").c_str(), 0755), 0);
  run = RunVorpaneIn(folder, {"--capture", "tmp.Ab12", "--to", "0.05"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_EQ(FilesIn(folder + "/tmp.Ab12").size(), 3u);
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
      "while kill -0 $pid 2>/dev/null; do "
      "xwininfo -root -tree | grep -F '\"Title Test by Crew' && break; sleep 0.1; done; wait $pid";
  // -noreset: an xwininfo that connects and leaves before the player does would make the
  // server reset under the player as it connects, and no window would ever show.
  const TRunResult run = RunProgramIn(
      folder,
      {"/usr/bin/xvfb-run", "-a", "-s", "-screen 0 800x600x24 -noreset", "/bin/sh", "-c", shell},
      60);
  EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_NE(run.Stdout.find(
                "\"Title Test by Crew :: Party 2026 :: 1 :: Vorpane Demoengine 0.1\""),
            std::string::npos)
      << run.Stdout << run.Stderr;
  EXPECT_NE(run.Stdout.find("800x600"), std::string::npos) << run.Stdout;
}
