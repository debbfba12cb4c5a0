// Parsing vorpane-track's command line (CLI11), apart from the conversions it runs.
#include "app/TrackCommandLine.h"

#include "platform/Version.h"

#include "app/CliParse.h"

TTrackCommandLine ParseTrackCommandLine(const std::vector<std::string>& arguments) {
  TTrackCommandLine result;
  CLI::App app("vorpane-track: makes and reads the demotracks that keep a Vorpane production in "
               "step with its music.",
               "vorpane-track");
  app.set_version_flag("--version", std::string("vorpane-track ") + VorpaneVersion());
  app.require_subcommand(1);
  struct TCommand {
    const char* Name;
    const char* Help;
    const char* InputHelp;
    bool NeedsOutput;
  };
  const TCommand commands[] = {
      {"from-module", "Make a demotrack from a tracker module: one channel per module channel, "
                      "each note's number on the row it plays",
       "The module (MOD, XM, S3M, IT, MPTM, ...)", true},
      {"from-midi", "Make a demotrack from a MIDI file: channels 0-15 are MIDI channels 1-16, "
                    "each note-on's number on its row (note 0 as 128)",
       "The MIDI file (format 0 or 1)", true},
      {"from-audio", "Make a demotrack from a recording: beats and onsets",
       "The recording (WAV, FLAC, Ogg, MP3)", true},
      {"from-text", "Turn the text form into a demotrack", "The text form", true},
      {"to-text", "Print a demotrack (or what one would be made from music) as text",
       "A demotrack, module, MIDI file or recording", false},
      {"info", "Print a demotrack's channels, rows, length and events per channel",
       "A demotrack, module, MIDI file or recording", false},
  };
  for (const TCommand& command : commands) {
    CLI::App* sub = app.add_subcommand(command.Name, command.Help);
    sub->add_option("input", result.Input, command.InputHelp)->required();
    CLI::Option* output = sub->add_option(
        "-o,--output", result.Output,
        command.NeedsOutput ? "The demotrack to write" : "The text file to write (default: stdout)");
    if (command.NeedsOutput) output->required();
    if (std::string(command.Name) == "info") sub->remove_option(output);
    sub->add_option("--bpm", result.Bpm,
                    "The tempo the demotrack is for (default: the music's own, or the one the "
                    "text form gives)")
        ->check(CLI::Range(1.0, 10000.0));
    sub->add_option("--rows-per-beat", result.RowsPerBeat,
                    "Rows per beat of the grid (default 4; 8 or 16 for a finer one, written as a "
                    "BPM that many quarters higher)")
        ->check(CLI::Range(1, 64));
    if (std::string(command.Name) == "from-module" || !command.NeedsOutput)
      sub->add_flag("--by-instrument", result.ByInstrument,
                    "A module: one channel per instrument (per sample in a module without "
                    "instruments), holding the notes it plays on any module channel; channel N "
                    "is instrument N+1");
    sub->callback([&result, name = std::string(command.Name)] { result.Command = name; });
  }
  ParseOrStop(app, arguments, "vorpane-track", result.ExitStatus, result.Message);
  return result;
}
