// The command line: vorpane [OPTIONS] [SCRIPT]. Parsing is separate from running so that tests
// can check it without starting a demo.
#pragma once
#include "demo/DemoOptions.h"

#include <cstdint>
#include <string>
#include <vector>

struct TCommandLine {
  std::string Script = "moltrax.vrp";
  bool NoDialogs = false;
  bool Check = false;        // --check: list the script's problems instead of playing it
  std::string TimelineFile;  // --timeline: draw the script's timeline into this SVG and stop
  bool Edit = false;         // --edit: a real-time run taking the edit keys
  std::string SyncHost;      // --sync: the sync editor an edit run follows
  uint16_t SyncPort = 0;     //         and its port (0: no editor)
  std::string EncodeInput;   // --encode: encode this video into the --capture file, render nothing
  std::string Pack;          // --pack: "win64" or "linux", the archive to make of the production
  std::string PackPlayer;    // --pack-player: the program the archive holds (empty: the default)
  TDemoOptions Options;
  int ExitStatus = -1;       // >= 0: stop now with this status (help, version, bad usage)
  std::string Message;       // what to print when stopping now
};

// Parses the arguments (argv[0] excluded).
TCommandLine ParseCommandLine(const std::vector<std::string>& arguments);
// Runs the program as the command line says; returns the exit status (0 normal end, 1 fatal
// error, 2 bad command line).
int RunVorpane(const std::vector<std::string>& arguments);
