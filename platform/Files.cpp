#include "platform/Files.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

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

bool FileExists(const std::string& name) {
  struct stat st;
  return ::stat(name.c_str(), &st) == 0;
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
  const std::string asWritten = (name[0] == '/' ? std::string() : base) + name;
  if (FileExists(asWritten)) return asWritten;
  std::string path = name;
  for (char& c : path)
    if (c == '\\') c = '/';
  const std::string prefix = path[0] == '/' ? std::string() : base;
  if (FileExists(prefix + path)) return prefix + path;

  std::string resolved;
  size_t pos = 0;
  if (path[0] == '/') {
    resolved = "/";
    pos = 1;
  }
  while (pos <= path.size()) {
    size_t slash = path.find('/', pos);
    if (slash == std::string::npos) slash = path.size();
    std::string component = path.substr(pos, slash - pos);
    pos = slash + 1;
    if (component.empty()) continue;
    std::string candidate = resolved + component;
    if (component != "." && component != ".." && !FileExists(prefix + candidate)) {
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
  return ::getcwd(folder, sizeof folder) ? std::string(folder) : std::string();
}

std::string AbsolutePath(const std::string& name) { return AbsolutePathIn(std::string(), name); }

std::string AbsolutePathIn(const std::string& folder, const std::string& name) {
  const std::string path = ResolveFileNameIn(folder, name);
  if (!path.empty() && path[0] == '/') return path;
  const std::string here = folder.empty() ? CurrentDirectory() : folder;
  return here.empty() ? path : here + "/" + path;
}

TFileStamp FileStamp(const std::string& name) {
  TFileStamp stamp;
  struct stat st;
  if (::stat(ResolveFileName(name).c_str(), &st) != 0) return stamp;
  stamp.Exists = true;
  stamp.Size = static_cast<uint64_t>(st.st_size);
  stamp.ModifiedNanoseconds = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 +
                              static_cast<int64_t>(st.st_mtim.tv_nsec);
  return stamp;
}

bool MoveIntoPlace(const std::string& from, const std::string& to, bool replace) {
  if (replace) return std::rename(from.c_str(), to.c_str()) == 0;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the flag: a hard link fails as well when the name is taken.
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  ::unlink(from.c_str());
  return true;
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

std::string ExecutablePath() {
  std::string path(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", &path[0], path.size() - 1);
  if (length <= 0) return std::string();
  path.resize(static_cast<size_t>(length));
  return path;
}
