#include "support/TestSystem.h"

#include "platform/Files.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

// The two systems' calls differ in name and shape; this file is the tests' one place for them,
// as platform/ is the product's.
#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

void WriteTextFile(const std::string& folder, const std::string& name, const std::string& text) {
  std::ofstream out(folder + "/" + name, std::ios::binary);
  out << text;
}

std::string ReadTextFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {

#ifdef _WIN32
const char* const kCacheVariable = "LOCALAPPDATA";
#else
const char* const kCacheVariable = "XDG_CACHE_HOME";
#endif
bool cacheSaved = false;
bool cacheWasSet = false;
std::string cacheBefore;

}  // namespace

void RedirectUserCache(const std::string& folder) {
  if (!cacheSaved) {
    const char* before = std::getenv(kCacheVariable);
    cacheWasSet = before != nullptr;
    cacheBefore = before ? before : "";
    cacheSaved = true;
  }
  SetEnvironment(kCacheVariable, folder);
}

void RestoreUserCache() {
  if (!cacheSaved) return;
  if (cacheWasSet)
    SetEnvironment(kCacheVariable, cacheBefore);
  else
    UnsetEnvironment(kCacheVariable);
}

std::string WhyNoLimitedChildren() {
  return RunningUnderWine()
             ? "Wine accepts job-object memory limits but does not enforce them"
             : "forking a child under a memory limit is a POSIX test";
}

#ifdef _WIN32

std::string MakeTempFolder() {
  wchar_t base[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, base);
  if (length == 0 || length > MAX_PATH) throw std::runtime_error("no temporary folder");
  // With '/' throughout, as the tests join names onto it (Windows takes either).
  std::string folder = Utf8Name(std::wstring(base, length));
  for (char& c : folder)
    if (c == '\\') c = '/';
  for (unsigned attempt = 0; attempt < 1000; ++attempt) {
    const std::string name = folder + "vorpane-test-" + std::to_string(::GetCurrentProcessId()) +
                             "-" + std::to_string(::GetTickCount64() % 100000) + "-" +
                             std::to_string(attempt);
    if (::CreateDirectoryW(WideName(name).c_str(), nullptr)) return name;
  }
  throw std::runtime_error("could not make a temporary folder");
}

void SetEnvironment(const char* name, const std::string& value, bool replace) {
  if (!replace && std::getenv(name)) return;
  ::_putenv_s(name, value.c_str());
}

void UnsetEnvironment(const char* name) { ::_putenv_s(name, ""); }

bool SetModifiedTime(const std::string& path, int64_t seconds) {
  HANDLE file = ::CreateFileW(WideName(path).c_str(), FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // FILETIME counts 100 ns from 1601; the Unix epoch is 11644473600 s later.
  const uint64_t ticks = static_cast<uint64_t>(seconds + 11644473600LL) * 10000000ULL;
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  const bool ok = ::SetFileTime(file, nullptr, &time, &time) != 0;
  ::CloseHandle(file);
  return ok;
}

bool LinkOrCopyFile(const std::string& from, const std::string& to) {
  return ::CopyFileW(WideName(from).c_str(), WideName(to).c_str(), TRUE) != 0;
}

long PeakKilobytesOfThisProcess() {
  PROCESS_MEMORY_COUNTERS counters = {};
  if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<long>(counters.PeakWorkingSetSize / 1024);
}

double ProcessorSecondsOfThisProcess() {
  FILETIME created, ended, kernel, user;
  if (!::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernel, &user)) return 0;
  auto seconds = [](const FILETIME& time) {
    return ((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

bool RunningUnderWine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

#else

std::string MakeTempFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/vorpane-test-XXXXXX";
  if (!::mkdtemp(&pattern[0])) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

void SetEnvironment(const char* name, const std::string& value, bool replace) {
  ::setenv(name, value.c_str(), replace ? 1 : 0);
}

void UnsetEnvironment(const char* name) { ::unsetenv(name); }

bool SetModifiedTime(const std::string& path, int64_t seconds) {
  const timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool LinkOrCopyFile(const std::string& from, const std::string& to) {
  return ::symlink(from.c_str(), to.c_str()) == 0;
}

long PeakKilobytesOfThisProcess() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

double ProcessorSecondsOfThisProcess() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool RunningUnderWine() { return false; }

#endif
