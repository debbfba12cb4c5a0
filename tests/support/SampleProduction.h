// The sample production as scripts/play.sh runs it, for tests: a temporary folder laid out like
// the tree, FOLDER/production/moltrax.vrp (a copy of the script) beside FOLDER/build (a link to
// this build's folder, which holds the generated data in build/production).
#pragma once
#include "support/RunVorpane.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

// Makes the folder and returns FOLDER/production, the working directory to run the script in.
inline std::string MirrorSampleProduction() {
  const std::string folder = MakeTempFolder();
  const std::string production = folder + "/production";
  ::mkdir(production.c_str(), 0755);
  std::ifstream in(std::string(VORPANE_SOURCE_DIR) + "/production/moltrax.vrp", std::ios::binary);
  const std::string script((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  WriteTextFile(production, "moltrax.vrp", script);
  const std::string buildFolder = std::string(VORPANE_TOOLS_DIR) + "/..";
  if (::symlink(buildFolder.c_str(), (folder + "/build").c_str()) != 0) return "";
  return production;
}
