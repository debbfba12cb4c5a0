// The command line of vorpane-track: SUBCOMMAND INPUT [-o OUTPUT] [--bpm N] [--rows-per-beat K]
// [--by-instrument].
// Parsing is separate from running so that tests can check it without converting anything.
#pragma once
#include <string>
#include <vector>

struct TTrackCommandLine {
  std::string Command;  // from-module, from-midi, from-audio, from-text, to-text, info
  std::string Input;
  std::string Output;   // -o; to-text writes to stdout without it
  double Bpm = 0.0;     // --bpm; 0: the music's own tempo
  int RowsPerBeat = 4;  // --rows-per-beat
  bool ByInstrument = false;  // --by-instrument: a module's channels are its instruments
  int ExitStatus = -1;  // >= 0: stop now with this status (help, version, bad usage)
  std::string Message;  // what to print when stopping now
};

// Parses the arguments (argv[0] excluded).
TTrackCommandLine ParseTrackCommandLine(const std::vector<std::string>& arguments);
// Runs vorpane-track; returns the exit status (0 done, 1 bad input or output, 2 bad usage).
int RunVorpaneTrack(const std::vector<std::string>& arguments);
