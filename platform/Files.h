// File access for productions authored on Windows. A name that does not exist as written is
// tried again with '\' read as '/' and each path component matched without regard to letter
// case. Every file the program opens goes through ResolveFileName.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The name to open: the name itself when it exists, else the case-insensitive match of its
// components, else the name unchanged (so the open fails with the name the script gave).
std::string ResolveFileName(const std::string& name);
// The same for a name relative to `folder` (empty: the current folder); the result includes the
// folder unless the name is absolute.
std::string ResolveFileNameIn(const std::string& folder, const std::string& name);
// True when something (a file, a folder, ...) exists under exactly this name.
bool FileExists(const std::string& name);
// True when a file exists under exactly this name and this process may read it.
bool FileReadable(const std::string& name);
// True when a folder exists under exactly this name.
bool FolderExists(const std::string& name);
// Reads a whole file (after name resolution). False when it cannot be opened or read.
bool ReadWholeFile(const std::string& name, std::vector<uint8_t>& bytes);
// The folder part of a name after resolution ("/" for a name in the root); empty when the name
// has no folder part.
std::string FolderOf(const std::string& name);
// The absolute path a name is looked for at, for messages about a file that is not there.
std::string LookedFor(const std::string& name);
// The same for a name relative to `folder` (empty: the current folder).
std::string LookedForIn(const std::string& folder, const std::string& name);
// " (looked for at /ABSOLUTE/PATH)" when nothing exists under the name and the name is not that
// path already, else empty: the end of a message about a file that could not be opened.
std::string NotFoundNote(const std::string& name);
// The same for a name relative to `folder` (empty: the current folder).
std::string NotFoundNoteIn(const std::string& folder, const std::string& name);
// The process's current directory as an absolute path (empty when it cannot be told).
std::string CurrentDirectory();
// True for a name that starts at a root ("/x"; on Windows "C:x" and "\\x" too).
bool IsAbsoluteName(const std::string& name);
// A name given on the command line as seen from the current directory: absolute names and empty
// ones unchanged, others prefixed with the current directory (unchanged when it cannot be told).
std::string FromCurrentDirectory(const std::string& name);
// True when anything, a dangling symbolic link included, has exactly this name.
bool EntryExists(const std::string& name);
// Makes a folder and the folders above it that are missing; true when it exists at the end.
bool MakeFolders(const std::string& path);
// The user's cache folder for this program ($XDG_CACHE_HOME/vorpane or ~/.cache/vorpane;
// %LOCALAPPDATA%\Vorpane on Windows), or empty with what is missing.
std::string UserCacheFolder(std::string& missing);
// This process's id, which no other running process has: for temporary file names.
long ProcessId();
// The names of a folder's entries, without "." and ".." (none when it cannot be read).
std::vector<std::string> FolderEntryNames(const std::string& folder);
// Removes a file (never a folder); false with errno on failure.
bool RemoveFile(const std::string& name);
// The full path of the running program (empty when it cannot be told).
std::string ProgramPath();
// The resolved name as an absolute path.
std::string AbsolutePath(const std::string& name);
// The same for a name relative to `folder` (empty: the current folder).
std::string AbsolutePathIn(const std::string& folder, const std::string& name);

// Renames a finished file into place (both names in one folder). Without `replace` a file that
// appeared under the target name meanwhile is kept and the rename fails with EEXIST. False (with
// errno) on failure.
bool MoveIntoPlace(const std::string& from, const std::string& to, bool replace);
// Writes the bytes to NAME.partial beside the file and renames it into place; an existing file
// is replaced only with `replace`. False with a message naming the file.
bool WriteFileByRename(const std::string& fileName, const std::string& bytes, bool replace,
                       std::string& error);

#ifdef _WIN32
// A UTF-8 name as Windows' wide-character calls take it.
std::wstring WideName(const std::string& name);
// A wide-character name from Windows as UTF-8.
std::string Utf8Name(const std::wstring& name);
#endif

// What tells one version of a file from another without reading it: its size and its
// modification time. A missing file has Exists false and zeros.
struct TFileStamp {
  bool Exists = false;
  uint64_t Size = 0;
  int64_t ModifiedNanoseconds = 0;
  bool operator==(const TFileStamp& other) const {
    return Exists == other.Exists && Size == other.Size &&
           ModifiedNanoseconds == other.ModifiedNanoseconds;
  }
  bool operator!=(const TFileStamp& other) const { return !(*this == other); }
};
// The stamp of a file (after name resolution).
TFileStamp FileStamp(const std::string& name);
