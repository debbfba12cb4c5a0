// Captures that must not lose a user's file or report what did not happen: a target that exists,
// a script error, an interrupt, a stalled encoder; and video frames of exactly 1/fps.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <sstream>
#include <thread>

#include "support/RunVorpane.h"

namespace {

// One second (ENDTIME is in hundredths) of small black frames.
const std::string kWindow = "RESOLUTIONX 64\nRESOLUTIONY 48\nCOLORDEPTH 32\nINIT\n";
const std::string kScript = kWindow + "ENDTIME 100\n";

// The folder's entries other than the test's own files: what a capture left behind.
std::string Entries(const std::string& folder) {
  std::string names;
  DIR* dir = ::opendir(folder.c_str());
  while (const dirent* entry = dir ? ::readdir(dir) : nullptr) {
    const std::string name = entry->d_name;
    if (name[0] != '.' && name.find(".std") == std::string::npos) names += name + " ";
  }
  if (dir) ::closedir(dir);
  return names;
}

}  // namespace

TEST(CaptureFaults, TakenTargetsScriptErrorsAndStalledEncodersLeaveNoFile) {
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "s.vrp", kScript);
  WriteTextFile(folder, "notes.mp4", "my notes\n");
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--capture", "notes.mp4", "--to", "0.2", "s.vrp"},
        {"--encode", "s.vrp", "--capture", "notes.mp4"}}) {
    const TRunResult run = RunVorpaneIn(folder, arguments);
    EXPECT_EQ(run.ExitStatus, 2) << run.Stderr;
    EXPECT_NE(run.Stderr.find("use --overwrite"), std::string::npos) << run.Stderr;
    EXPECT_EQ(ReadTextFile(folder + "/notes.mp4"), "my notes\n");
  }
  TRunResult run = RunVorpaneIn(folder, {"--capture", "notes.mp4", "--to", "0.2", "--overwrite",
                                         "--quiet", "s.vrp"});
  EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_EQ(ReadTextFile(folder + "/notes.mp4").compare(4, 4, "ftyp"), 0);
  EXPECT_EQ(Entries(folder), "notes.mp4 s.vrp ");

  // A script error ends a capture or benchmark before anything is written.
  WriteTextFile(folder, "bpm.vrp", kScript + "BPM 120\n");
  for (const char* mode : {"--capture", "--benchmark"}) {
    run = RunVorpaneIn(folder, mode[2] == 'c' ? std::vector<std::string>{mode, "e.mp4", "bpm.vrp"}
                                              : std::vector<std::string>{mode, "bpm.vrp"});
    EXPECT_EQ(run.ExitStatus, 1) << mode;
    EXPECT_NE(run.Stderr.find("BPM needs a TRACKER before it"), std::string::npos) << run.Stderr;
  }
  EXPECT_EQ(Entries(folder), "bpm.vrp notes.mp4 s.vrp ");

  // An encoder that never reads its input is given up on, and ended.
  WriteTextFile(folder, "ffmpeg",
                "#!/bin/sh\ncase \"$*\" in *-encoders*) echo ' V..... libx264 H.264'; "
                "echo ' A..... aac AAC'; exit 0;; esac\nexec sleep 300\n");
  ASSERT_EQ(::chmod((folder + "/ffmpeg").c_str(), 0755), 0);
  run = RunVorpaneIn(folder, {"--capture", "stall.mp4", "--to", "20", "--quiet", "s.vrp"}, 90,
                     {"PATH=" + folder + ":/usr/bin:/bin"});
  EXPECT_EQ(run.ExitStatus, 1) << run.Stderr;
  EXPECT_NE(run.Stderr.find("ffmpeg stalled"), std::string::npos) << run.Stderr;
  ::unlink((folder + "/ffmpeg").c_str());
  EXPECT_EQ(Entries(folder), "bpm.vrp notes.mp4 s.vrp ");
}

TEST(CaptureFaults, AnInterruptedCaptureStopsSaysWhereAndRemovesItsVideo) {
  const std::string folder = MakeTempFolder();
  // 6000 frames at 60 fps.
  WriteTextFile(folder, "s.vrp", kWindow + "ENDTIME 10000\n");
  for (const auto& [signal, target] : {std::pair<int, const char*>{SIGINT, "i.mp4"},
                                       {SIGTERM, "frames"}}) {
    TBackgroundProgram player = StartProgramIn(
        folder, {VORPANE_BINARY, "--capture", target, "s.vrp"}, {}, "player");
    // The first frame is on its way to the file once the encoder's part (or frame 0) exists.
    const std::string sign = std::string(folder) + "/" + target +
                             (signal == SIGINT ? ".video.nut" : "/frame_000000.png");
    for (int i = 0; i < 6000 && ::access(sign.c_str(), F_OK) != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(player.Pid, signal);
    EXPECT_EQ(WaitForProgram(player, 30), 128 + signal);
    const std::string said = ReadTextFile(player.StderrPath);
    EXPECT_NE(said.find("vorpane: interrupted at frame "), std::string::npos) << said;
    EXPECT_NE(said.find(" of 6000\n"), std::string::npos) << said;
  }
  // The video is gone with its parts; the folder keeps whole frames and no audio.
  EXPECT_EQ(Entries(folder), "frames s.vrp ");
  EXPECT_FALSE(Entries(folder + "/frames").empty());
  EXPECT_EQ(Entries(folder + "/frames").find("audio.wav"), std::string::npos);
}

TEST(CaptureFaults, VideoFramesLastExactlyOneFrameAtEveryRate) {
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "s.vrp", kScript);
  for (const auto& [fps, rate] :
       std::vector<std::pair<std::string, std::string>>{{"24", "24/1"}, {"25", "25/1"},
                                                        {"30", "30/1"}, {"50", "50/1"},
                                                        {"60", "60/1"}, {"29.97", "2997/100"}}) {
    for (const std::string file : {"v.mp4", "v.mov"}) {
      TRunResult run = RunVorpaneIn(folder, {"--capture", file, "--fps", fps, "--to", "0.5",
                                             "--overwrite", "--quiet", "s.vrp"});
      ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
      run = RunProgramIn(folder, {"/usr/bin/env", "ffprobe", "-v", "error", "-select_streams",
                                  "v", "-show_entries", "stream=avg_frame_rate,time_base:packet="
                                  "duration", "-of", "csv=p=0", file});
      // One line per packet (the frame's duration), then "rate,time base".
      int64_t duration = 0, frames = 0, base = 0;
      std::string probedRate;
      std::istringstream lines(run.Stdout);
      for (std::string line; std::getline(lines, line);) {
        const size_t comma = line.find(",1/");
        if (comma != std::string::npos) {
          probedRate = line.substr(0, comma);
          base = std::stoll(line.substr(comma + 3));
          continue;
        }
        const int64_t d = std::stoll(line);
        EXPECT_TRUE(duration == 0 || d == duration) << fps << " " << file << ":\n" << run.Stdout;
        duration = d;
        ++frames;
      }
      EXPECT_EQ(probedRate, rate) << file;
      // duration / base seconds == 1 / fps, exactly.
      const int64_t num = std::stoll(rate), den = std::stoll(rate.substr(rate.find('/') + 1));
      EXPECT_EQ(duration * num, base * den) << fps << " " << file << ":\n" << run.Stdout;
      EXPECT_GT(frames, 10);
    }
  }
}
