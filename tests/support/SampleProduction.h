// The sample production as the build lays it out: <build>/production holds the script beside
// its generated data. Tests play it from a temporary folder of links to those files, so the
// captures they write there stay out of the build folder.
#pragma once
#include "platform/Files.h"
#include "support/TestSystem.h"

#include <string>

// The build's own copy, <build>/production (a Windows build uses the Linux build's).
inline std::string BuiltSampleProduction() { return VORPANE_PRODUCTION_DIR; }

// Links every file of the built production into `folder` (which must exist); false when the
// built production cannot be read or has no script.
inline bool LinkSampleProductionInto(const std::string& folder) {
  const std::string source = BuiltSampleProduction();
  for (const std::string& name : FolderEntryNames(source)) {
    if (name == "generated.stamp") continue;
    if (!LinkOrCopyFile(source + "/" + name, folder + "/" + name)) return false;
  }
  return FileReadable(folder + "/moltrax.vrp");
}

// A new temporary folder holding the production; the working directory to run it in ("" when
// the build has not generated it).
inline std::string MirrorSampleProduction() {
  const std::string folder = MakeTempFolder();
  return LinkSampleProductionInto(folder) ? folder : "";
}
