// The sample production as the build lays it out: <build>/production holds the script beside
// its generated data. Tests play it from a temporary folder of links to those files, so the
// captures they write there stay out of the build folder.
#pragma once
#include "support/RunVorpane.h"

#include <dirent.h>
#include <unistd.h>

#include <string>

// The build's own copy: <build>/production.
inline std::string BuiltSampleProduction() {
  return std::string(VORPANE_TOOLS_DIR) + "/../production";
}

// Links every file of the built production into `folder` (which must exist); false when the
// built production cannot be read or has no script.
inline bool LinkSampleProductionInto(const std::string& folder) {
  const std::string source = BuiltSampleProduction();
  DIR* dir = ::opendir(source.c_str());
  if (!dir) return false;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || name == "generated.stamp") continue;
    if (::symlink((source + "/" + name).c_str(), (folder + "/" + name).c_str()) != 0) {
      ::closedir(dir);
      return false;
    }
  }
  ::closedir(dir);
  return ::access((folder + "/moltrax.vrp").c_str(), R_OK) == 0;
}

// A new temporary folder holding the production; the working directory to run it in ("" when
// the build has not generated it).
inline std::string MirrorSampleProduction() {
  const std::string folder = MakeTempFolder();
  return LinkSampleProductionInto(folder) ? folder : "";
}
