// What tests need from the operating system beyond the product's platform layer: temporary
// folders, environment variables, file times and links, the process's own peak memory, and
// whether the tests run under Wine (to say why a test is skipped there).
#pragma once
#include <cstdint>
#include <string>

// A new empty folder under the system's temporary folder; removed by the caller if wanted.
std::string MakeTempFolder();
// Writes text to folder/name.
void WriteTextFile(const std::string& folder, const std::string& name, const std::string& text);
// A whole file as text (empty when it cannot be read).
std::string ReadTextFile(const std::string& path);
// Sets an environment variable of this process (kept when `replace` is false and it is set).
void SetEnvironment(const char* name, const std::string& value, bool replace = true);
// Removes an environment variable of this process.
void UnsetEnvironment(const char* name);
// Sets a file's modification time to `seconds` after the epoch; false when it cannot.
bool SetModifiedTime(const std::string& path, int64_t seconds);
// Makes `to` name the file `from`: a symbolic link where the system has them for everyone, a
// copy on Windows (where links need a privilege); false when neither works.
bool LinkOrCopyFile(const std::string& from, const std::string& to);
// The peak resident memory of this process so far, in KiB.
long PeakKilobytesOfThisProcess();
// The processor time (user and system) this process has used, in seconds.
double ProcessorSecondsOfThisProcess();
// True when the program runs under Wine rather than on Windows or Linux.
bool RunningUnderWine();
// Why a test that forks a limited child is skipped here.
std::string WhyNoLimitedChildren();
// Points the player's cache of made demotracks at `folder` (XDG_CACHE_HOME, or LOCALAPPDATA on
// Windows); RestoreUserCache puts the variable back as it was before the first redirect.
void RedirectUserCache(const std::string& folder);
void RestoreUserCache();

// True in a build for Windows: for the few checks of messages that name POSIX variables.
#ifdef _WIN32
constexpr bool kWindowsBuild = true;
#else
constexpr bool kWindowsBuild = false;
#endif
