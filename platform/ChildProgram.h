// Programs the player runs (ffmpeg, ffprobe): found on the PATH, started with pipes, fed and
// waited for without blocking forever. A program that neither takes input, gives output, exits
// nor uses processor time for kChildStallSeconds has stalled; a stalled program, and one still
// running when the run is interrupted (see Interrupts.h), is ended with SIGKILL.
#pragma once
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

constexpr double kChildStallSeconds = 10.0;

// How feeding or waiting for a program ended.
enum class TChildOutcome { Succeeded, Failed, Stalled, Interrupted };

// The full path of a program found on PATH, or empty.
std::string FindOnPath(const std::string& program);
// Starts a program; when stdinPipe is given, the program's standard input is the read end of a
// new pipe whose write end is returned there (likewise its standard output for stdoutPipe).
// Returns the process id, or -1.
pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                   int* stdinPipe, int* stdoutPipe = nullptr);
// Waits for the program to exit: Succeeded when it exited with status 0.
TChildOutcome WaitForChild(pid_t pid);
// Writes all bytes into the program's standard input; on Failed errno says why.
TChildOutcome WriteToChild(pid_t pid, int fd, const void* data, size_t size);
// Runs a program to its end and collects its standard output.
TChildOutcome RunForOutput(const std::string& program, const std::vector<std::string>& arguments,
                           std::string& output);
// Ends a program at once (SIGKILL) and reaps it.
void EndChild(pid_t pid);
// Closes the player's end of a pipe StartProgram made.
void ClosePipe(int pipe);
// Asks for room for `bytes` in a pipe to a program; where the system gives less (or sizes pipes
// only when they are made), the pipe stays as it is.
void EnlargePipe(int pipe, size_t bytes);
