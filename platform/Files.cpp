#include "platform/Files.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

bool Rooted(const std::string& name) { return IsAbsoluteName(name); }

// Windows opens a file by any spelling of its name. Names are still resolved to each entry's
// own spelling there, so that two spellings of one file are one name (reported, cached and
// packed once).
#ifdef _WIN32
constexpr bool kCaseBlindFiles = true;
#else
constexpr bool kCaseBlindFiles = false;
#endif

// Finds an entry of `dir` whose name equals `component` ignoring case; empty when none.
std::string FindEntryIgnoringCase(const std::string& dir, const std::string& component) {
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return std::string();
  std::string found;
  while (dirent* entry = ::readdir(d)) {
    if (::strcasecmp(entry->d_name, component.c_str()) == 0) {
      found = entry->d_name;
      break;
    }
  }
  ::closedir(d);
  return found;
}

}  // namespace

bool IsAbsoluteName(const std::string& name) {
#ifdef _WIN32
  if (!name.empty() && name[0] == '\\') return true;
  if (name.size() > 1 && name[1] == ':') return true;
#endif
  return !name.empty() && name[0] == '/';
}

std::string FromCurrentDirectory(const std::string& name) {
  if (name.empty() || IsAbsoluteName(name)) return name;
  const std::string here = CurrentDirectory();
  return here.empty() ? name : here + "/" + name;
}

bool EntryExists(const std::string& name) {
#ifdef _WIN32
  return ::GetFileAttributesW(WideName(name).c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  struct stat st;
  return ::lstat(name.c_str(), &st) == 0;
#endif
}

bool MakeFolders(const std::string& path) {
  std::string partial;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
#ifdef _WIN32
      // "C:" is a drive, not a folder to make.
      const bool made = partial.empty() || (partial.size() == 2 && partial[1] == ':') ||
                        ::CreateDirectoryW(WideName(partial).c_str(), nullptr) ||
                        ::GetLastError() == ERROR_ALREADY_EXISTS;
      if (!made) return false;
#else
      if (!partial.empty() && ::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
#endif
    }
    if (i < path.size()) partial += path[i];
  }
  return FolderExists(path);
}

std::string UserCacheFolder(std::string& missing) {
#ifdef _WIN32
  const wchar_t* local = ::_wgetenv(L"LOCALAPPDATA");
  if (local && *local) return Utf8Name(local) + "/Vorpane";
  missing = "LOCALAPPDATA names no folder";
#else
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg && *xdg == '/') return std::string(xdg) + "/vorpane";
  const char* home = std::getenv("HOME");
  if (home && *home == '/') return std::string(home) + "/.cache/vorpane";
  missing = "neither XDG_CACHE_HOME nor HOME names one";
#endif
  return std::string();
}

std::vector<std::string> FolderEntryNames(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

bool RemoveFile(const std::string& name) {
#ifdef _WIN32
  if (::DeleteFileW(WideName(name).c_str())) return true;
  const DWORD error = ::GetLastError();
  errno = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT
          : error == ERROR_ACCESS_DENIED ? EACCES : EIO;
  return false;
#else
  return ::unlink(name.c_str()) == 0;
#endif
}

long ProcessId() {
#ifdef _WIN32
  return static_cast<long>(::GetCurrentProcessId());
#else
  return static_cast<long>(::getpid());
#endif
}

std::string ProgramPath() {
#ifdef _WIN32
  wchar_t path[MAX_PATH * 4];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
  if (length == 0 || length >= MAX_PATH * 4) return std::string();
  std::string program = Utf8Name(std::wstring(path, length));
  for (char& c : program)
    if (c == '\\') c = '/';
  return program;
#else
  std::string executable(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", &executable[0], executable.size() - 1);
  if (length <= 0) return std::string();
  executable.resize(static_cast<size_t>(length));
  return executable;
#endif
}

bool FileExists(const std::string& name) {
  struct stat st;
  return ::stat(name.c_str(), &st) == 0;
}

bool FileReadable(const std::string& name) {
#ifdef _WIN32
  return ::_waccess(WideName(name).c_str(), 4) == 0;
#else
  return ::access(name.c_str(), R_OK) == 0;
#endif
}

bool FolderExists(const std::string& name) {
  struct stat st;
  return ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

// ResolveFileName for names relative to `base` ("" for the current folder, else a folder with a
// trailing '/'); absolute names ignore the base. The result includes the base.
std::string ResolveFrom(const std::string& base, const std::string& name) {
  if (name.empty()) return name;
  const std::string asWritten = (Rooted(name) ? std::string() : base) + name;
  if (!kCaseBlindFiles && FileExists(asWritten)) return asWritten;
  std::string path = name;
  for (char& c : path)
    if (c == '\\') c = '/';
  const std::string prefix = Rooted(path) ? std::string() : base;
  if (!kCaseBlindFiles && FileExists(prefix + path)) return prefix + path;

  std::string resolved;
  size_t pos = 0;
  if (path[0] == '/') {
    resolved = "/";
    pos = 1;
  } else if (kCaseBlindFiles && path.size() > 2 && path[1] == ':' && path[2] == '/') {
    resolved = path.substr(0, 3);  // a drive
    pos = 3;
  }
  while (pos <= path.size()) {
    size_t slash = path.find('/', pos);
    if (slash == std::string::npos) slash = path.size();
    std::string component = path.substr(pos, slash - pos);
    pos = slash + 1;
    if (component.empty()) continue;
    std::string candidate = resolved + component;
    if (component != "." && component != ".." && (kCaseBlindFiles || !FileExists(prefix + candidate))) {
      std::string match = FindEntryIgnoringCase(prefix + resolved, component);
      if (match.empty()) return asWritten;
      candidate = resolved + match;
    }
    resolved = candidate;
    if (slash < path.size()) resolved += '/';
  }
  return FileExists(prefix + resolved) ? prefix + resolved : asWritten;
}

}  // namespace

std::string ResolveFileName(const std::string& name) { return ResolveFrom(std::string(), name); }

std::string ResolveFileNameIn(const std::string& folder, const std::string& name) {
  if (folder.empty()) return ResolveFileName(name);
  return ResolveFrom(folder.back() == '/' ? folder : folder + "/", name);
}

bool ReadWholeFile(const std::string& name, std::vector<uint8_t>& bytes) {
  bytes.clear();
  FILE* f = std::fopen(ResolveFileName(name).c_str(), "rb");
  if (!f) return false;
  struct stat st;
  if (::fstat(::fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fclose(f);
    return false;
  }
  bytes.resize(static_cast<size_t>(st.st_size));
  size_t got = bytes.empty() ? 0 : std::fread(bytes.data(), 1, bytes.size(), f);
  bool ok = got == bytes.size() && !std::ferror(f);
  std::fclose(f);
  if (!ok) bytes.clear();
  return ok;
}

std::string FolderOf(const std::string& name) {
  const std::string path = ResolveFileName(name);
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::string();
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string LookedFor(const std::string& name) { return LookedForIn(std::string(), name); }

std::string LookedForIn(const std::string& folder, const std::string& name) {
  std::string path = AbsolutePathIn(folder, name);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

std::string NotFoundNote(const std::string& name) { return NotFoundNoteIn(std::string(), name); }

std::string NotFoundNoteIn(const std::string& folder, const std::string& name) {
  if (FileExists(ResolveFileNameIn(folder, name))) return std::string();
  const std::string path = LookedForIn(folder, name);
  return path == name ? std::string() : " (looked for at " + path + ")";
}

std::string CurrentDirectory() {
  char folder[4096];
  if (!::getcwd(folder, sizeof folder)) return std::string();
  std::string path = folder;
#ifdef _WIN32
  // Names are put together with '/', which Windows takes as well.
  for (char& c : path)
    if (c == '\\') c = '/';
#endif
  return path;
}

std::string AbsolutePath(const std::string& name) { return AbsolutePathIn(std::string(), name); }

std::string AbsolutePathIn(const std::string& folder, const std::string& name) {
  const std::string path = ResolveFileNameIn(folder, name);
  if (Rooted(path)) return path;
  const std::string here = folder.empty() ? CurrentDirectory() : folder;
  return here.empty() ? path : here + "/" + path;
}

TFileStamp FileStamp(const std::string& name) {
  TFileStamp stamp;
  struct stat st;
  if (::stat(ResolveFileName(name).c_str(), &st) != 0) return stamp;
  stamp.Exists = true;
  stamp.Size = static_cast<uint64_t>(st.st_size);
#ifdef _WIN32
  // Windows' stat has whole seconds; the file times have 100 ns steps.
  stamp.ModifiedNanoseconds = static_cast<int64_t>(st.st_mtime) * 1000000000;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (::GetFileAttributesExW(WideName(ResolveFileName(name)).c_str(), GetFileExInfoStandard, &data)) {
    const uint64_t ticks = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                           data.ftLastWriteTime.dwLowDateTime;
    stamp.ModifiedNanoseconds = static_cast<int64_t>(ticks) * 100;
  }
#else
  stamp.ModifiedNanoseconds = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 +
                              static_cast<int64_t>(st.st_mtim.tv_nsec);
#endif
  return stamp;
}

#ifdef _WIN32
std::wstring WideName(const std::string& name) {
  if (name.empty()) return std::wstring();
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()),
                                           nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), wide.data(), length);
  return wide;
}

std::string Utf8Name(const std::wstring& name) {
  if (name.empty()) return std::string();
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(name.size()),
                                           nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), narrow.data(),
                        length, nullptr, nullptr);
  return narrow;
}
#endif

bool MoveIntoPlace(const std::string& from, const std::string& to, bool replace) {
#ifdef _WIN32
  // Without MOVEFILE_REPLACE_EXISTING an existing target makes the move fail.
  if (::MoveFileExW(WideName(from).c_str(), WideName(to).c_str(),
                    (replace ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH))
    return true;
  const DWORD error = ::GetLastError();
  errno = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? EEXIST
          : error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT
          : error == ERROR_ACCESS_DENIED ? EACCES : EIO;
  return false;
#else
  if (replace) return std::rename(from.c_str(), to.c_str()) == 0;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the flag: a hard link fails as well when the name is taken.
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  ::unlink(from.c_str());
  return true;
#endif
}

bool WriteFileByRename(const std::string& fileName, const std::string& bytes, bool replace,
                       std::string& error) {
  const std::string partial = fileName + ".partial";
  FILE* file = std::fopen(partial.c_str(), "wb");
  if (!file) {
    error = "cannot write " + fileName + ": " + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const int writeErrno = errno;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    error = "cannot write " + fileName + ": " + std::strerror(written ? errno : writeErrno);
    std::remove(partial.c_str());
    return false;
  }
  if (!MoveIntoPlace(partial, fileName, replace)) {
    const int moveErrno = errno;
    std::remove(partial.c_str());
    error = moveErrno == EEXIST ? fileName + " already exists; it is kept"
                                : "cannot write " + fileName + ": " + std::strerror(moveErrno);
    return false;
  }
  return true;
}
