// Where the files a script names are read from, and where the errors of reading them go. Names
// resolve against the script's folder, or the folder DATADIR moved on to; the process's current
// folder is never changed, so whatever the command line named relative to it stays put.
#pragma once
#include "platform/Files.h"

#include <functional>
#include <string>
#include <vector>

class TReadContext {
 public:
  // Receives one reading error (a description, as a script error has).
  using TErrorSink = std::function<void(const std::string& description)>;

  // Names resolve against the process's current folder (the folder the run started in).
  TReadContext() = default;
  // The absolute folder names resolve against (the current folder when none was set).
  std::string Folder() const;
  // Moves on to a folder named relative to this one (the script's folder, then DATADIR); names
  // then resolve against its absolute, link-free path. False, and nothing moves, when it is not
  // a folder that can be entered.
  bool EnterFolder(const std::string& name);
  // The path to open for a name, after the name resolution of Files.h.
  std::string PathOf(const std::string& name) const;
  // The resolved name as the folder sees it (relative unless the name is absolute): what
  // ResolveFileName gives for it from the folder.
  std::string ResolvedName(const std::string& name) const;
  // The resolved name as an absolute path.
  std::string AbsolutePath(const std::string& name) const;
  // The absolute path a name is looked for at, for messages about a file that is not there.
  std::string LookedFor(const std::string& name) const;
  // " (looked for at /ABSOLUTE/PATH)" when nothing exists under the name, as NotFoundNote.
  std::string NotFoundNote(const std::string& name) const;
  // Reads a whole file; false when it cannot be opened or read.
  bool ReadWholeFile(const std::string& name, std::vector<uint8_t>& bytes) const;
  // The stamp of a file.
  TFileStamp Stamp(const std::string& name) const;

  // Sends errors of reading to `sink` (empty: ScriptError, the default).
  void SetErrorSink(TErrorSink sink) { sink_ = std::move(sink); }
  // Reports an error of reading through the sink.
  void Error(const std::string& description) const;

 private:
  std::string folder_;  // absolute; empty: the current folder
  TErrorSink sink_;
};
