// vorpane-track's subcommands: demotracks from modules, MIDI files, recordings and the text form,
// and back to text, with the BPM each is written for.
#include "app/TrackCommandLine.h"

#include "platform/Files.h"
#include "sync/Demotrack.h"
#include "sync/TrackReports.h"
#include "sync/TrackSources.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A demotrack with the tempo it is for, and where it came from.
struct TLoaded {
  TTrackBuild Build;
  bool BpmKnown = false;
  std::string Kind = "demotrack";
};

// Messages are one line, whatever a library put into them.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

std::string BpmText(double bpm) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", bpm);
  std::string s = text;
  s.erase(s.find_last_not_of('0') + 1);
  if (s.back() == '.') s.pop_back();
  return s;
}

// The tempo a text form gives in a comment line "# bpm: N"; 0 when it gives none.
double TextBpm(const std::string& text) {
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end == std::string::npos ? end : end - at);
    const size_t key = line.find("bpm:");
    if (line.rfind("#", 0) == 0 && key != std::string::npos) {
      const double bpm = std::atof(line.c_str() + key + 4);
      if (bpm > 0.0) return bpm;
    }
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return 0.0;
}

// Reads the input as `command` says: a module, a MIDI file or a recording made into a demotrack,
// the text form, or (to-text, info) whatever the file holds.
bool Load(const TTrackCommandLine& line, TLoaded& loaded, std::string& error) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(line.Input, bytes)) {
    error = "cannot open " + line.Input;
    return false;
  }
  TTrackGrid grid;
  grid.Bpm = line.Bpm;
  grid.RowsPerBeat = line.RowsPerBeat;
  TTrackSource source = DetectTrackSource(line.Input, bytes);
  if (line.Command == "from-module") source = TTrackSource::Module;
  if (line.Command == "from-midi") source = TTrackSource::Midi;
  if (line.Command == "from-audio") source = TTrackSource::Audio;
  if (line.ByInstrument && source != TTrackSource::Module) {
    const std::string kind = TrackSourceName(source);
    error = "--by-instrument takes a module; this file is read as a" +
            std::string(kind[0] == 'a' ? "n " : " ") + kind;
    return false;
  }
  if (line.Command == "from-text") {
    if (!ParseDemotrackText(std::string(bytes.begin(), bytes.end()), loaded.Build.Data, error))
      return false;
    loaded.Kind = "text form";
    loaded.Build.Bpm = line.Bpm > 0.0 ? line.Bpm : TextBpm(std::string(bytes.begin(), bytes.end()));
    loaded.BpmKnown = loaded.Build.Bpm > 0.0;
    return true;
  }
  if (source == TTrackSource::Demotrack) {
    if (!ParseDemotrackBytes(bytes, loaded.Build.Data, error)) return false;
    loaded.Build.Bpm = line.Bpm;
    loaded.BpmKnown = line.Bpm > 0.0;
    return true;
  }
  loaded.Kind = TrackSourceName(source);
  if (line.ByInstrument) {
    loaded.Kind = "module, by instrument";
    loaded.BpmKnown = DemotrackFromModule(bytes, grid, loaded.Build, error, true);
    return loaded.BpmKnown;
  }
  if (!DemotrackFromMusic(AbsolutePath(line.Input), bytes, source, grid, loaded.Build, error))
    return false;
  loaded.BpmKnown = true;
  return true;
}

void PrintTempo(std::FILE* out, const TLoaded& loaded) {
  if (!loaded.BpmKnown) {
    std::fprintf(out, "bpm: unknown (a demotrack file does not hold its tempo; give --bpm)\n");
    return;
  }
  std::fprintf(out, "bpm: %s\n", BpmText(loaded.Build.Bpm).c_str());
  if (loaded.Build.MusicBpm > 0.0)
    std::fprintf(out, "music bpm: %s\n", BpmText(loaded.Build.MusicBpm).c_str());
}

std::string Shape(const TLoaded& loaded) {
  const TDemotrackData& data = loaded.Build.Data;
  std::string text = std::to_string(data.Channels.size()) + " channels, " +
                     std::to_string(data.RowCount()) + " rows";
  if (loaded.BpmKnown) {
    char length[48];
    std::snprintf(length, sizeof length, ", %.2f s",
                  static_cast<double>(data.RowCount()) * 15.0 / loaded.Build.Bpm);
    text += length;
  }
  return text;
}

// One line per named channel: `format` takes the channel's number and name.
std::string ChannelNameLines(const TLoaded& loaded, const char* format) {
  std::string lines;
  for (size_t c = 0; c < loaded.Build.ChannelNames.size(); ++c) {
    const std::string& name = loaded.Build.ChannelNames[c];
    std::vector<char> line(name.size() + 48);
    std::snprintf(line.data(), line.size(), format, c, name.c_str());
    lines += line.data();
  }
  return lines;
}

}  // namespace

int RunVorpaneTrack(const std::vector<std::string>& arguments) {
  const TTrackCommandLine line = ParseTrackCommandLine(arguments);
  if (line.ExitStatus >= 0) {
    std::fputs(line.Message.c_str(), line.ExitStatus == 0 ? stdout : stderr);
    return line.ExitStatus;
  }
  TLoaded loaded;
  std::string error;
  ShowAnalysisProgress(true);
  if (!Load(line, loaded, error)) {
    std::fprintf(stderr, "vorpane-track: %s: %s\n", line.Input.c_str(), OneLine(error).c_str());
    return 1;
  }
  const TDemotrackData& data = loaded.Build.Data;
  if (line.Command == "info") {
    std::printf("file: %s (%s)\n", line.Input.c_str(), loaded.Kind.c_str());
    PrintTempo(stdout, loaded);
    std::printf("channels: %zu\nrows: %zu\n", data.Channels.size(), data.RowCount());
    if (loaded.BpmKnown)
      std::printf("length: %.2f s\n", static_cast<double>(data.RowCount()) * 15.0 / loaded.Build.Bpm);
    for (size_t c = 0; c < data.Channels.size(); ++c) {
      size_t events = 0;
      for (uint8_t value : data.Channels[c]) events += value != 0;
      const std::vector<std::string>& names = loaded.Build.ChannelNames;
      std::printf("channel %zu: %zu event%s%s\n", c, events, events == 1 ? "" : "s",
                  c < names.size() ? (" (" + names[c] + ")").c_str() : "");
    }
    return 0;
  }
  if (line.Command == "to-text") {
    std::string text = DemotrackText(data);
    text = ChannelNameLines(loaded, "# %zu: %s\n") + text;
    if (loaded.BpmKnown) text = "# bpm: " + BpmText(loaded.Build.Bpm) + "\n" + text;
    // The text goes to stdout without -o, and then the report to stderr.
    std::FILE* report = line.Output.empty() ? stderr : stdout;
    PrintTempo(report, loaded);
    if (line.Output.empty()) {
      std::fputs(text.c_str(), stdout);
      return 0;
    }
    FILE* file = std::fopen(line.Output.c_str(), "wb");
    const bool written = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (!file || std::fclose(file) != 0 || !written) {
      std::fprintf(stderr, "vorpane-track: cannot write %s\n", line.Output.c_str());
      return 1;
    }
    std::printf("wrote %s: %s\n", line.Output.c_str(), Shape(loaded).c_str());
    return 0;
  }
  PrintTempo(stdout, loaded);
  if (!WriteDemotrackFile(line.Output, data, error)) {
    std::fprintf(stderr, "vorpane-track: %s\n", OneLine(error).c_str());
    return 1;
  }
  std::printf("wrote %s: %s\n", line.Output.c_str(), Shape(loaded).c_str());
  // The file holds no names: the report is where they are seen.
  std::fputs(ChannelNameLines(loaded, "channel %zu: %s\n").c_str(), stdout);
  return 0;
}
