#include "support/RunVorpane.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace {

// In a forked child: runs the command in the folder with the test environment, its output in
// the two files. Never returns.
[[noreturn]] void ExecInChild(const std::string& folder, const std::vector<std::string>& command,
                              const std::vector<std::string>& environment,
                              const std::string& outPath, const std::string& errPath) {
  if (::chdir(folder.c_str()) != 0) ::_exit(127);
  const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ::dup2(out, 1);
  ::dup2(err, 2);
  ::setenv("SDL_VIDEODRIVER", "offscreen", 0);
  ::setenv("SDL_AUDIODRIVER", "dummy", 0);
  ::setenv("VORPANE_NO_DIALOGS", "1", 1);
  // In the sanitizer build: allocations system libraries keep until exit are not leaks.
  ::setenv("LSAN_OPTIONS", "suppressions=" VORPANE_LSAN_SUPPRESSIONS, 0);
  for (const std::string& entry : environment) ::putenv(const_cast<char*>(entry.c_str()));
  std::vector<char*> argv;
  for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  ::execv(argv[0], argv.data());
  ::_exit(127);
}

}  // namespace

std::string WithoutProgressSummary(const std::string& fullText) {
  // The progress lines a slow run writes every 10 s go first.
  std::string stderrText;
  for (size_t start = 0; start < fullText.size();) {
    const size_t end = std::min(fullText.find('\n', start), fullText.size() - 1) + 1;
    if (fullText.compare(start, 15, "vorpane: frame ") != 0)
      stderrText += fullText.substr(start, end - start);
    start = end;
  }
  if (stderrText.empty() || stderrText.back() != '\n') return stderrText;
  const size_t start = stderrText.rfind('\n', stderrText.size() - 2);
  const size_t lineStart = start == std::string::npos ? 0 : start + 1;
  const std::string last = stderrText.substr(lineStart);
  for (const char* prefix : {"vorpane: captured ", "vorpane: rendered "})
    if (last.rfind(prefix, 0) == 0) return stderrText.substr(0, lineStart);
  return stderrText;
}

TRunResult RunProgramIn(const std::string& folder, const std::vector<std::string>& command,
                        double timeLimitSeconds, const std::vector<std::string>& environment) {
  TRunResult result;
  const std::string outPath = folder + "/.stdout", errPath = folder + "/.stderr";
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) ExecInChild(folder, command, environment, outPath, errPath);
  int status = 0;
  struct rusage usage {};
  for (;;) {
    const pid_t done = ::wait4(pid, &status, WNOHANG, &usage);
    if (done == pid) break;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (elapsed > timeLimitSeconds) {
      ::kill(pid, SIGKILL);
      ::wait4(pid, &status, 0, &usage);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  result.Seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.ExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.PeakKilobytes = usage.ru_maxrss;
  result.Stdout = ReadTextFile(outPath);
  result.Stderr = ReadTextFile(errPath);
  return result;
}

TRunResult RunVorpaneIn(const std::string& folder, const std::vector<std::string>& arguments,
                        double timeLimitSeconds, const std::vector<std::string>& environment) {
  std::vector<std::string> command = {VORPANE_BINARY};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return RunProgramIn(folder, command, timeLimitSeconds, environment);
}

TBackgroundProgram StartProgramIn(const std::string& folder,
                                  const std::vector<std::string>& command,
                                  const std::vector<std::string>& environment,
                                  const std::string& name) {
  TBackgroundProgram program;
  program.StdoutPath = folder + "/" + name + ".stdout";
  program.StderrPath = folder + "/" + name + ".stderr";
  const pid_t pid = ::fork();
  if (pid == 0) {
    // A group of its own, so that stopping it ends whatever it started too.
    ::setpgid(0, 0);
    ExecInChild(folder, command, environment, program.StdoutPath, program.StderrPath);
  }
  if (pid > 0) ::setpgid(pid, pid);
  program.Pid = pid;
  return program;
}

int WaitForProgram(TBackgroundProgram& program, double timeLimitSeconds) {
  if (program.Pid <= 0) return -1;
  const auto start = std::chrono::steady_clock::now();
  int status = 0;
  for (;;) {
    const pid_t done = ::waitpid(program.Pid, &status, WNOHANG);
    if (done == program.Pid) break;
    if (done < 0 || std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
                            .count() > timeLimitSeconds) {
      StopProgram(program);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  program.Pid = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void StopProgram(TBackgroundProgram& program) {
  if (program.Pid <= 0) return;
  ::kill(-program.Pid, SIGTERM);
  int status = 0;
  for (int i = 0; i < 300 && ::waitpid(program.Pid, &status, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (::waitpid(program.Pid, &status, WNOHANG) == 0) {
    ::kill(-program.Pid, SIGKILL);
    ::waitpid(program.Pid, &status, 0);
  }
  program.Pid = -1;
}
