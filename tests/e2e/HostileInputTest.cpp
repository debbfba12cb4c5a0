// The player on inputs written to hurt: each ends with a clear message and a defined status, in
// little time and memory, and never with an abort.
#include "platform/Files.h"
#include "support/RunVorpane.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Limits of one hostile run (the sanitizer build is slower and bigger; memory is not checked).
constexpr double kSecondsLimit = kSanitized ? 20.0 : 5.0;
constexpr long kKilobytesLimit = 300 * 1024;

struct Hostile {
  const char* name;
  std::string script;
  std::vector<std::string> arguments;
  int status;
  std::string message;
};

std::string ManyRegisters() {
  std::string script;
  for (int k = 1; k <= 100000; ++k) {
    char line[64];
    std::snprintf(line, sizeof line, "REGISTER NAME%06d value%d\n", k, k);
    script += line;
  }
  return script + "INIT\nLOAD NAME099999 3\nENDTIME 100\n";
}

std::string DoublingMacros() {
  std::string script = "REGISTER P00 xxxxxxxxxxxxxxxx\nREGISTER Q00 yyyyyyyyyyyyyyyy\n";
  for (int k = 0; k < 40; ++k) {
    char lines[96];
    std::snprintf(lines, sizeof lines, "REGISTER P%02d P%02dQ%02d\nREGISTER Q%02d P%02dQ%02d\n",
                  k + 1, k, k, k + 1, k, k);
    script += lines;
  }
  return script + "INIT\nENDTIME 100\n";
}

}  // namespace

TEST(HostileInput, EveryInputEndsWithItsMessageQuicklyAndSmall) {
  const std::vector<std::string> benchmark = {"--benchmark", "--to", "0.05", "demo.vrp"};
  const std::vector<std::string> capture = {"--capture", "frames", "--to", "0.05", "demo.vrp"};
  const std::vector<Hostile> inputs = {
      {"huge slot", "INIT\nLOAD plaincolor 2147483647\nENDTIME 100\n", benchmark, 1,
       "LOAD plaincolor into slot 2147483647: slot numbers go from 0 to 65535"},
      {"doubling macros", DoublingMacros(), benchmark, 1,
       "Line 33 would grow past 1 MiB by macro substitution; it is read as written"},
      {"100000 macros", ManyRegisters(), benchmark, 1, "No such effect in demo: value99999"},
      {"huge window", "RESOLUTIONX 100000\nRESOLUTIONY 100000\nINIT\nENDTIME 100\n", capture, 1,
       "RESOLUTIONY 100000 is not a window size (1 to 16384 pixels); it stays 480"},
      {"zero window", "RESOLUTIONX 0\nINIT\nENDTIME 100\n", capture, 1,
       "RESOLUTIONX 0 is not a window size (1 to 16384 pixels); it stays 640"},
      {"capture without a window", "ENDTIME 100\n", capture, 1,
       "The script has no INIT, so there is no window; a capture or benchmark needs one"},
      {"benchmark without a window", "ENDTIME 100\n", benchmark, 1,
       "The script has no INIT, so there is no window; a capture or benchmark needs one"},
  };
  for (const Hostile& input : inputs) {
    const std::string folder = MakeTempFolder();
    WriteTextFile(folder, "demo.vrp", input.script);
    const TRunResult run = RunVorpaneIn(folder, input.arguments);
    EXPECT_EQ(run.ExitStatus, input.status) << input.name << "\n" << run.Stderr;
    EXPECT_NE(run.Stderr.find(input.message), std::string::npos)
        << input.name << "\n" << run.Stderr;
    EXPECT_LT(run.Seconds, kSecondsLimit) << input.name;
    if (!kSanitized) {
      EXPECT_LT(run.PeakKilobytes, kKilobytesLimit) << input.name;
    }
    // A script error, like a run that could not draw, ends a capture before its first frame.
    if (input.arguments == capture) {
      EXPECT_EQ(FileExists(folder + "/frames/frame_000000.png"), input.status == 0) << input.name;
    }
  }
}

TEST(HostileInput, RunningOutOfMemoryEndsWithAMessageAndStatusOne) {
  if (kSanitized) GTEST_SKIP() << "the sanitizer's shadow memory does not fit an address limit";
  // Every BAR line adds a timeline entry of some hundred bytes: a million and a half of them,
  // as the bar list doubles, ask for more than the process may have beside its libraries.
  std::string script = "ENDTIME 1\n";
  for (int k = 0; k < 1500000; ++k) script += "BAR\n";
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "demo.vrp", script);
  const TRunResult run = RunProgramIn(
      folder, {"/bin/sh", "-c", std::string("ulimit -v 1000000; exec ") + VORPANE_BINARY +
                                    " demo.vrp"});
  EXPECT_EQ(run.ExitStatus, 1) << run.Stderr;
  EXPECT_NE(run.Stderr.find("Out of memory"), std::string::npos) << run.Stderr;
  EXPECT_EQ(run.Stderr.find("terminate called"), std::string::npos) << run.Stderr;
}

TEST(HostileInput, MessagesSayWhatIsWrong) {
  const std::string folder = MakeTempFolder();
  // A text file named as music: no decoder chatter, and a message about what the file is.
  WriteTextFile(folder, "song.mp3", "These are the words of a song, not its sound.\n");
  WriteTextFile(folder, "demo.vrp", "INIT\nLOADMUSIC song.mp3\nENDTIME 100\n");
  TRunResult run = RunVorpaneIn(folder, {"--benchmark", "--to", "0.05", "demo.vrp"});
  EXPECT_EQ(run.ExitStatus, 1) << run.Stderr;  // a benchmark without its music measures less
  EXPECT_NE(run.Stderr.find("Cannot load music song.mp3: it is not music the player can read"),
            std::string::npos)
      << run.Stderr;
  EXPECT_EQ(run.Stderr.find("Note:"), std::string::npos) << run.Stderr;
  EXPECT_EQ(run.Stderr.find("possibly a pipe"), std::string::npos) << run.Stderr;

  // Control characters of quoted script text and of file names come out escaped.
  WriteTextFile(folder, "nul.vrp", std::string("ENDTIME 1\0\n", 11));
  run = RunVorpaneIn(folder, {"nul.vrp"});
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_NE(run.Stderr.find("'1\\0' is not a valid integer value"), std::string::npos)
      << run.Stderr;
  run = RunVorpaneIn(folder, {"missing\r.vrp"});
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_NE(run.Stderr.find("Cannot open file missing\\r.vrp"), std::string::npos) << run.Stderr;

  // A range option without a fixed-step run is a bad command line, even at its default value.
  run = RunVorpaneIn(folder, {"--fps", "60", "demo.vrp"});
  EXPECT_EQ(run.ExitStatus, 2);
  EXPECT_NE(run.Stderr.find("--fps, --from and --to need --capture or --benchmark"),
            std::string::npos)
      << run.Stderr;
  // A frame rate out of range names the range, not the limits of a double.
  for (const char* fps : {"0", "-5", "1e300"}) {
    run = RunVorpaneIn(folder, {"--benchmark", "--fps", fps, "demo.vrp"});
    EXPECT_EQ(run.ExitStatus, 2) << fps;
    EXPECT_NE(run.Stderr.find("frames per second go from more than 0 up to 1000"),
              std::string::npos)
        << run.Stderr;
    EXPECT_LT(run.Stderr.size(), 200u) << run.Stderr;
  }
}
