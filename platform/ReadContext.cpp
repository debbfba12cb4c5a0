#include "platform/ReadContext.h"

#include "platform/ScriptError.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

namespace {

// The absolute, link-free path of an existing folder the process may enter; empty otherwise.
std::string EnterableFolder(const std::string& path) {
  if (path.empty()) return std::string();
#ifdef _WIN32
  // Windows has no search permission on folders and no symbolic links to resolve here.
  const std::string real = AbsolutePath(path);
  struct stat st;
  if (::stat(real.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::string();
  return real;
#else
  char real[PATH_MAX];
  if (!::realpath(path.c_str(), real)) return std::string();
  struct stat st;
  if (::stat(real, &st) != 0 || !S_ISDIR(st.st_mode) || ::access(real, X_OK) != 0)
    return std::string();
  return real;
#endif
}

}  // namespace

std::string TReadContext::Folder() const {
  return folder_.empty() ? CurrentDirectory() : folder_;
}

bool TReadContext::EnterFolder(const std::string& name) {
  const std::string entered = EnterableFolder(PathOf(name));
  if (entered.empty()) return false;
  folder_ = entered;
  return true;
}

std::string TReadContext::PathOf(const std::string& name) const {
  return ResolveFileNameIn(folder_, name);
}

std::string TReadContext::ResolvedName(const std::string& name) const {
  const std::string path = PathOf(name);
  const std::string base = folder_ == "/" ? folder_ : folder_ + "/";
  if (folder_.empty() || path.compare(0, base.size(), base) != 0) return path;
  // An absolute name that happens to lie in the folder stays absolute.
  return !name.empty() && (name[0] == '/' || name[0] == '\\') ? path : path.substr(base.size());
}

std::string TReadContext::AbsolutePath(const std::string& name) const {
  return AbsolutePathIn(folder_, name);
}

std::string TReadContext::LookedFor(const std::string& name) const {
  return LookedForIn(folder_, name);
}

std::string TReadContext::NotFoundNote(const std::string& name) const {
  return NotFoundNoteIn(folder_, name);
}

bool TReadContext::ReadWholeFile(const std::string& name, std::vector<uint8_t>& bytes) const {
  return ::ReadWholeFile(PathOf(name), bytes);
}

TFileStamp TReadContext::Stamp(const std::string& name) const { return FileStamp(PathOf(name)); }

void TReadContext::Error(const std::string& description) const {
  if (sink_)
    sink_(description);
  else
    ScriptError(description);
}
