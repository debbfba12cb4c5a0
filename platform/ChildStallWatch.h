// Used by the two implementations of ChildProgram.h (POSIX and Windows) only.
#pragma once
#include "platform/ChildProgram.h"

#include <chrono>

// The processor time a program has used so far, in the system's ticks (0 when it cannot be
// read); each implementation has its own.
unsigned long long ChildProcessorTicks(pid_t pid);

// Tells a program that is working slowly from one that has stopped.
class TStallWatch {
 public:
  explicit TStallWatch(pid_t pid)
      : pid_(pid), ticks_(ChildProcessorTicks(pid)), lastProgress_(Clock::now()) {}
  void Progress() { lastProgress_ = Clock::now(); }
  // Called after each poll that brought nothing: true once the program has neither moved nor
  // used processor time for the whole stall time.
  bool Stalled() {
    const unsigned long long ticks = ChildProcessorTicks(pid_);
    if (ticks != ticks_) {
      ticks_ = ticks;
      Progress();
    }
    return std::chrono::duration<double>(Clock::now() - lastProgress_).count() >
           kChildStallSeconds;
  }

 private:
  using Clock = std::chrono::steady_clock;
  pid_t pid_;
  unsigned long long ticks_;
  Clock::time_point lastProgress_;
};
