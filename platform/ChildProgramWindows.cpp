// Programs the player runs, on Windows: CreateProcessW with named pipes whose player ends are
// overlapped, so a write or read can be waited on in slices that look at the interrupt flag and
// the program's processor time. Process ids and pipe numbers stand for handles kept here.
#include "platform/ChildProgram.h"

#include "platform/Files.h"
#include "platform/ChildStallWatch.h"
#include "platform/Interrupts.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>

namespace {

// How long one wait lasts before the interrupt flag and the processor time are looked at.
constexpr DWORD kPollMilliseconds = 200;
// What a pipe is asked to hold: two frames of a 720p capture.
constexpr DWORD kPipeBytes = 6u << 20;

std::mutex tableLock;
std::map<pid_t, HANDLE> processes;
std::map<int, HANDLE> pipes;
int nextPipe = 3;

HANDLE ProcessHandle(pid_t pid) {
  std::lock_guard<std::mutex> lock(tableLock);
  const auto found = processes.find(pid);
  return found == processes.end() ? nullptr : found->second;
}

HANDLE PipeHandle(int pipe) {
  std::lock_guard<std::mutex> lock(tableLock);
  const auto found = pipes.find(pipe);
  return found == pipes.end() ? INVALID_HANDLE_VALUE : found->second;
}

int KeepPipe(HANDLE handle) {
  std::lock_guard<std::mutex> lock(tableLock);
  pipes[nextPipe] = handle;
  return nextPipe++;
}

// Forgets a process that has ended and closes its handle.
void ForgetProcess(pid_t pid) {
  std::lock_guard<std::mutex> lock(tableLock);
  const auto found = processes.find(pid);
  if (found == processes.end()) return;
  ::CloseHandle(found->second);
  processes.erase(found);
}

}  // namespace

// Kernel and user time in 100 ns steps.
unsigned long long ChildProcessorTicks(pid_t pid) {
  HANDLE process = ProcessHandle(pid);
  FILETIME created, exited, kernel, user;
  if (!process || !::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  const auto ticks = [](const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  };
  return ticks(kernel) + ticks(user);
}

namespace {

// One argument as the C runtime of the started program splits the command line again.
std::wstring QuotedArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
    return argument;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled and the quote escaped; elsewhere they stay.
    quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, L'\\');
  return quoted + L"\"";
}

// A pipe whose player end (overlapped) is returned in `ours` and whose program end (inheritable)
// in `theirs`; `toProgram` says which way the bytes go.
bool MakePipe(bool toProgram, HANDLE& ours, HANDLE& theirs) {
  static std::atomic<unsigned> counter{0};
  const std::wstring name = L"\\\\.\\pipe\\vorpane-" + std::to_wstring(::GetCurrentProcessId()) +
                            L"-" + std::to_wstring(counter++);
  ours = ::CreateNamedPipeW(
      name.c_str(),
      (toProgram ? PIPE_ACCESS_OUTBOUND : PIPE_ACCESS_INBOUND) | FILE_FLAG_OVERLAPPED |
          FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, kPipeBytes, kPipeBytes, 0,
      nullptr);
  if (ours == INVALID_HANDLE_VALUE) return false;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  theirs = ::CreateFileW(name.c_str(), toProgram ? GENERIC_READ : GENERIC_WRITE, 0, &inherit,
                         OPEN_EXISTING, 0, nullptr);
  if (theirs == INVALID_HANDLE_VALUE) {
    ::CloseHandle(ours);
    return false;
  }
  return true;
}

// Runs one overlapped read or write on a pipe to its end, an interrupt or a stall. `done` gets
// the bytes moved; a broken pipe is Failed with EPIPE.
TChildOutcome Transfer(pid_t pid, HANDLE pipe, bool write, void* data, DWORD size, DWORD& done,
                       TStallWatch& watch) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!overlapped.hEvent) return TChildOutcome::Failed;
  done = 0;
  const BOOL started = write ? ::WriteFile(pipe, data, size, nullptr, &overlapped)
                             : ::ReadFile(pipe, data, size, nullptr, &overlapped);
  TChildOutcome outcome = TChildOutcome::Succeeded;
  if (!started && ::GetLastError() != ERROR_IO_PENDING) {
    outcome = TChildOutcome::Failed;
  } else {
    while (::WaitForSingleObject(overlapped.hEvent, kPollMilliseconds) == WAIT_TIMEOUT) {
      if (PendingInterrupt()) outcome = TChildOutcome::Interrupted;
      else if (watch.Stalled()) outcome = TChildOutcome::Stalled;
      if (outcome != TChildOutcome::Succeeded) {
        ::CancelIoEx(pipe, &overlapped);
        break;
      }
    }
    // Waits for a cancelled operation too: the buffer and the event must outlive it.
    if (!::GetOverlappedResult(pipe, &overlapped, &done, TRUE) &&
        outcome == TChildOutcome::Succeeded)
      outcome = TChildOutcome::Failed;
  }
  if (outcome == TChildOutcome::Failed) {
    const DWORD error = ::GetLastError();
    errno = error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA ? EPIPE : EIO;
  }
  ::CloseHandle(overlapped.hEvent);
  (void)pid;
  return outcome;
}

// The folder of the running program, with a trailing '\'.
std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH * 4];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
  if (length == 0 || length >= MAX_PATH * 4) return std::wstring();
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

bool IsProgramFile(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::string FindOnPath(const std::string& program) {
  std::wstring name = WideName(program);
  if (name.find(L'.') == std::wstring::npos) name += L".exe";
  // A program beside the player comes first: a production's folder may bring its own.
  std::vector<std::wstring> folders = {ProgramFolder()};
  if (const wchar_t* path = ::_wgetenv(L"PATH")) {
    const std::wstring list = path;
    size_t start = 0;
    for (;;) {
      const size_t semicolon = list.find(L';', start);
      std::wstring folder = list.substr(start, semicolon == std::wstring::npos ? semicolon
                                                                             : semicolon - start);
      if (!folder.empty()) folders.push_back(folder.back() == L'\\' || folder.back() == L'/'
                                                 ? folder
                                                 : folder + L"\\");
      if (semicolon == std::wstring::npos) break;
      start = semicolon + 1;
    }
  }
  for (const std::wstring& folder : folders)
    if (!folder.empty() && IsProgramFile(folder + name)) return Utf8Name(folder + name);
  return "";
}

pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                   int* stdinPipe, int* stdoutPipe) {
  std::wstring commandLine = QuotedArgument(WideName(program));
  for (const std::string& argument : arguments) commandLine += L" " + QuotedArgument(WideName(argument));
  HANDLE inOurs = nullptr, inTheirs = nullptr, outOurs = nullptr, outTheirs = nullptr;
  if (stdinPipe && !MakePipe(true, inOurs, inTheirs)) return -1;
  if (stdoutPipe && !MakePipe(false, outOurs, outTheirs)) {
    if (stdinPipe) {
      ::CloseHandle(inOurs);
      ::CloseHandle(inTheirs);
    }
    return -1;
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = stdinPipe ? inTheirs : ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = stdoutPipe ? outTheirs : ::GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION started{};
  const std::wstring application = WideName(program);
  const BOOL ok = ::CreateProcessW(application.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0,
                                   nullptr, nullptr, &startup, &started);
  // The program has its own copies now; ours would keep the pipes open after it ends.
  if (stdinPipe) ::CloseHandle(inTheirs);
  if (stdoutPipe) ::CloseHandle(outTheirs);
  if (!ok) {
    if (stdinPipe) ::CloseHandle(inOurs);
    if (stdoutPipe) ::CloseHandle(outOurs);
    return -1;
  }
  ::CloseHandle(started.hThread);
  const pid_t pid = static_cast<pid_t>(started.dwProcessId);
  {
    std::lock_guard<std::mutex> lock(tableLock);
    processes[pid] = started.hProcess;
  }
  if (stdinPipe) *stdinPipe = KeepPipe(inOurs);
  if (stdoutPipe) *stdoutPipe = KeepPipe(outOurs);
  return pid;
}

TChildOutcome WaitForChild(pid_t pid) {
  HANDLE process = ProcessHandle(pid);
  if (!process) return TChildOutcome::Failed;
  TStallWatch watch(pid);
  for (;;) {
    if (::WaitForSingleObject(process, kPollMilliseconds / 4) == WAIT_OBJECT_0) {
      DWORD status = 1;
      ::GetExitCodeProcess(process, &status);
      ForgetProcess(pid);
      return status == 0 ? TChildOutcome::Succeeded : TChildOutcome::Failed;
    }
    TChildOutcome outcome = TChildOutcome::Succeeded;
    if (PendingInterrupt()) outcome = TChildOutcome::Interrupted;
    else if (watch.Stalled()) outcome = TChildOutcome::Stalled;
    if (outcome != TChildOutcome::Succeeded) {
      EndChild(pid);
      return outcome;
    }
  }
}

TChildOutcome WriteToChild(pid_t pid, int fd, const void* data, size_t size) {
  HANDLE pipe = PipeHandle(fd);
  if (pipe == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return TChildOutcome::Failed;
  }
  TStallWatch watch(pid);
  const char* bytes = static_cast<const char*>(data);
  size_t written = 0;
  TChildOutcome outcome = TChildOutcome::Succeeded;
  while (written < size && outcome == TChildOutcome::Succeeded) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - written, kPipeBytes));
    DWORD done = 0;
    outcome = Transfer(pid, pipe, true, const_cast<char*>(bytes + written), chunk, done, watch);
    written += done;
    if (done > 0) watch.Progress();
  }
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
  for (;;) {
    DWORD got = 0;
    outcome = Transfer(pid, PipeHandle(out), false, buffer, sizeof buffer, got, watch);
    // The program closing its output ends the read as a broken pipe: all of it has arrived.
    if (outcome == TChildOutcome::Failed && errno == EPIPE) outcome = TChildOutcome::Succeeded;
    if (outcome != TChildOutcome::Succeeded || got == 0) break;
    output.append(buffer, got);
    watch.Progress();
  }
  ClosePipe(out);
  if (outcome != TChildOutcome::Succeeded) {
    EndChild(pid);
    return outcome;
  }
  return WaitForChild(pid);
}

void EndChild(pid_t pid) {
  HANDLE process = ProcessHandle(pid);
  if (!process) return;
  ::TerminateProcess(process, 1);
  ::WaitForSingleObject(process, INFINITE);
  ForgetProcess(pid);
}

void ClosePipe(int pipe) {
  std::lock_guard<std::mutex> lock(tableLock);
  const auto found = pipes.find(pipe);
  if (found == pipes.end()) return;
  ::CloseHandle(found->second);
  pipes.erase(found);
}

void EnlargePipe(int /*pipe*/, size_t /*bytes*/) {
  // A named pipe's size is set when it is made (kPipeBytes).
}
