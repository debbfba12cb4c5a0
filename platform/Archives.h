// Archives of files for handing a production on: a zip (what Windows' Explorer opens with a
// double-click) and a gzip'd tar (what Linux users unpack). Entries are deflated; times are
// fixed, so the same files make the same archive.
#pragma once
#include <string>
#include <vector>

struct TArchiveEntry {
  std::string Name;        // the path inside the archive, '/' between folders
  std::string SourcePath;  // the file on disk it holds
  bool Executable = false; // marked as a program (Unix permission 0755, else 0644)
};

// The largest file an archive takes (the zip format without its 64-bit extension).
constexpr unsigned long long kMaxArchivedFileBytes = 0xFFFFFFFFull;

// The zip of the entries as bytes. False with a message when a file cannot be read or is too
// large.
bool ZipArchiveBytes(const std::vector<TArchiveEntry>& entries, std::string& bytes,
                     std::string& error);
// The gzip'd ustar archive of the entries as bytes. False with a message as above, or when a
// name does not fit the tar header.
bool TarGzArchiveBytes(const std::vector<TArchiveEntry>& entries, std::string& bytes,
                       std::string& error);
