#include "platform/ChildProgram.h"

#include "platform/ChildStallWatch.h"
#include "platform/Interrupts.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// How often a blocked wait looks at the interrupt flag and the program's processor time.
constexpr int kPollMilliseconds = 200;

}  // namespace

// Clock ticks from /proc.
unsigned long long ChildProcessorTicks(pid_t pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  FILE* file = std::fopen(path, "r");
  if (!file) return 0;
  char text[1024] = {};
  const size_t used = std::fread(text, 1, sizeof text - 1, file);
  std::fclose(file);
  text[used] = '\0';
  // "pid (name) state ..." and the name may hold anything: the fields start after the last ')'.
  const char* rest = std::strrchr(text, ')');
  if (!rest) return 0;
  unsigned long long user = 0, system = 0;
  // Fields 3 to 13 come before utime (14) and stime (15).
  if (std::sscanf(rest + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &user,
                  &system) != 2)
    return 0;
  return user + system;
}

namespace {

// Waits until the descriptor is ready for `events`, an interrupt, or a stall.
TChildOutcome AwaitDescriptor(int fd, short events, TStallWatch& watch) {
  for (;;) {
    if (PendingInterrupt()) return TChildOutcome::Interrupted;
    pollfd entry{fd, events, 0};
    const int ready = ::poll(&entry, 1, kPollMilliseconds);
    if (ready > 0) return TChildOutcome::Succeeded;
    if (ready < 0 && errno != EINTR) return TChildOutcome::Failed;
    if (ready == 0 && watch.Stalled()) return TChildOutcome::Stalled;
  }
}

}  // namespace

std::string FindOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  if (!path) return "";
  const std::string folders = path;
  size_t start = 0;
  for (;;) {
    const size_t colon = folders.find(':', start);
    std::string folder = folders.substr(start, colon == std::string::npos ? colon : colon - start);
    if (folder.empty()) folder = ".";
    const std::string candidate = folder + "/" + program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    if (colon == std::string::npos) return "";
    start = colon + 1;
  }
}

pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                   int* stdinPipe, int* stdoutPipe) {
  // The argument vector is built before fork: the child of a process with threads (audio,
  // llvmpipe) may only make async-signal-safe calls, and allocating is not one of them.
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  int fds[2] = {-1, -1}, outFds[2] = {-1, -1};
  if (stdinPipe && ::pipe2(fds, O_CLOEXEC) != 0) return -1;
  if (stdoutPipe && ::pipe2(outFds, O_CLOEXEC) != 0) {
    if (stdinPipe) {
      ::close(fds[0]);
      ::close(fds[1]);
    }
    return -1;
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    // dup2 clears close-on-exec on the copy; the pipes' other ends close at exec.
    if (stdinPipe) ::dup2(fds[0], 0);
    if (stdoutPipe) ::dup2(outFds[1], 1);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  if (stdoutPipe) {
    ::close(outFds[1]);
    if (pid < 0) ::close(outFds[0]);
    else *stdoutPipe = outFds[0];
  }
  if (stdinPipe) {
    ::close(fds[0]);
    if (pid < 0) {
      ::close(fds[1]);
      return -1;
    }
    *stdinPipe = fds[1];
  }
  return pid;
}

TChildOutcome WaitForChild(pid_t pid) {
  TStallWatch watch(pid);
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid)
      return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? TChildOutcome::Succeeded
                                                           : TChildOutcome::Failed;
    if (done < 0 && errno != EINTR) return TChildOutcome::Failed;
    TChildOutcome outcome = TChildOutcome::Succeeded;
    if (PendingInterrupt()) outcome = TChildOutcome::Interrupted;
    else if (watch.Stalled()) outcome = TChildOutcome::Stalled;
    if (outcome != TChildOutcome::Succeeded) {
      EndChild(pid);
      return outcome;
    }
    ::usleep(kPollMilliseconds * 1000 / 4);
  }
}

TChildOutcome WriteToChild(pid_t pid, int fd, const void* data, size_t size) {
  // The write end is ours alone: without blocking, a full pipe is waited on with the checks.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  // A program that closed its input shows as EPIPE, not as the end of the player: SIGPIPE is
  // ignored while writing and given back its previous handling afterwards.
  struct sigaction ignore {}, previous {};
  ignore.sa_handler = SIG_IGN;
  ::sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, &previous);
  TStallWatch watch(pid);
  const char* bytes = static_cast<const char*>(data);
  size_t written = 0;
  TChildOutcome outcome = TChildOutcome::Succeeded;
  while (written < size && outcome == TChildOutcome::Succeeded) {
    const ssize_t n = ::write(fd, bytes + written, size - written);
    if (n > 0) {
      written += static_cast<size_t>(n);
      watch.Progress();
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      outcome = AwaitDescriptor(fd, POLLOUT, watch);
    } else {
      outcome = TChildOutcome::Failed;
    }
  }
  const int error = errno;
  ::sigaction(SIGPIPE, &previous, nullptr);
  errno = error;
  if (outcome == TChildOutcome::Stalled || outcome == TChildOutcome::Interrupted) EndChild(pid);
  return outcome;
}

TChildOutcome RunForOutput(const std::string& program, const std::vector<std::string>& arguments,
                           std::string& output) {
  int out = -1;
  const pid_t pid = StartProgram(program, arguments, nullptr, &out);
  if (pid <= 0) return TChildOutcome::Failed;
  TStallWatch watch(pid);
  TChildOutcome outcome = TChildOutcome::Succeeded;
  char buffer[4096];
  while (outcome == TChildOutcome::Succeeded) {
    outcome = AwaitDescriptor(out, POLLIN, watch);
    if (outcome != TChildOutcome::Succeeded) break;
    const ssize_t n = ::read(out, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    output.append(buffer, static_cast<size_t>(n));
    watch.Progress();
  }
  ::close(out);
  if (outcome != TChildOutcome::Succeeded) {
    EndChild(pid);
    return outcome;
  }
  return WaitForChild(pid);
}

void EndChild(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

void ClosePipe(int pipe) { ::close(pipe); }

void EnlargePipe(int pipe, size_t bytes) {
  ::fcntl(pipe, F_SETPIPE_SZ, static_cast<int>(std::min<size_t>(bytes, 64u << 20)));
}
