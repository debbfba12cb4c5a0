// Runs build/vorpane as a user would, in a fresh temporary folder, and collects what it did.
// (POSIX: the Windows build runs the programs from scripts/test-wine.sh instead.)
#pragma once
#include "support/TestSystem.h"

#include <string>
#include <vector>

struct TRunResult {
  int ExitStatus = -1;      // the process's exit status (-1 when it did not exit normally)
  std::string Stdout;
  std::string Stderr;
  double Seconds = 0;       // wall-clock duration
  long PeakKilobytes = 0;   // the process's peak resident memory
};

// Runs the program with the arguments in `folder` as working directory, with a time limit.
// Extra environment entries ("NAME=value") are added to the test environment.
TRunResult RunVorpaneIn(const std::string& folder, const std::vector<std::string>& arguments,
                        double timeLimitSeconds = 60,
                        const std::vector<std::string>& environment = {});
// Stderr of a capture or benchmark without its progress lines ("vorpane: frame ...") and its
// closing summary line ("vorpane: captured ..." or "vorpane: rendered ..."), for checks that
// nothing else was said.
std::string WithoutProgressSummary(const std::string& stderrText);
// Runs any program (path and arguments) the same way.
TRunResult RunProgramIn(const std::string& folder, const std::vector<std::string>& command,
                        double timeLimitSeconds = 60,
                        const std::vector<std::string>& environment = {});

// A program running in the background in a process group of its own.
struct TBackgroundProgram {
  int Pid = -1;             // -1 once it has been waited for or stopped
  std::string StdoutPath;   // where its output goes
  std::string StderrPath;
};
// Starts a program (path and arguments) in `folder` as RunProgramIn does, without waiting; its
// output goes to folder/NAME.stdout and folder/NAME.stderr.
TBackgroundProgram StartProgramIn(const std::string& folder,
                                  const std::vector<std::string>& command,
                                  const std::vector<std::string>& environment,
                                  const std::string& name);
// Waits up to the limit for the program to exit: its exit status, or -1 (stopped at the limit,
// or ended by a signal).
int WaitForProgram(TBackgroundProgram& program, double timeLimitSeconds);
// Ends the program's process group (SIGTERM, then SIGKILL) and reaps the program.
void StopProgram(TBackgroundProgram& program);
