// `vorpane --pack win64|linux`: one archive that plays a production where it is unpacked: the
// player under the production's name, the script under the name the player reads by default,
// and only the files the script reads (those `--check` reads), in their folders.
#pragma once
#include <cstdio>
#include <string>

struct TPackDesc {
  std::string Script;        // the production's script
  std::string Target;        // "win64" (a zip) or "linux" (a gzip'd tar)
  std::string Player;        // the program to ship; empty: this program (linux) or
                             // vorpane.exe beside it (win64)
  bool Overwrite = false;    // replace an archive of the same name
};

// The archive's name for a production: NAME-win64.zip or NAME-linux.tar.gz, NAME from the DEMO
// name (letters, digits, '-', '_', '.'; blanks become '-') or else the script's file name.
std::string PackName(const std::string& demoName, const std::string& script,
                     const std::string& target);
// Makes the archive in the current folder; messages go to `err`. 0 when it was written, 1 when
// the script has errors, a file cannot be packed or the archive cannot be written.
int PackProduction(const TPackDesc& desc, std::FILE* err);
