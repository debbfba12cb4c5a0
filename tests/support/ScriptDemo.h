// A demo object read from a script text written to a fresh temporary folder (no window unless
// the script says INIT).
#pragma once
#include "demo/ScriptHost.h"
#include "demo/Vorpane.h"
#include "support/TestSystem.h"

#include <memory>
#include <string>

inline std::unique_ptr<TVDemo> DemoFromScript(const std::string& script,
                                              const TDemoOptions& options = TDemoOptions()) {
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "test.vrp", script);
  return std::make_unique<TVDemo>(folder + "/test.vrp", options);
}

// The same, read through a stand-in host (a tool that only reads the script).
inline std::unique_ptr<TVDemo> DemoFromScript(const std::string& script, TScriptHost& host) {
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "test.vrp", script);
  return std::make_unique<TVDemo>(folder + "/test.vrp", host);
}
