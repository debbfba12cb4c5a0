#include "authoring/ScriptCheck.h"

#include "authoring/TrackCheck.h"

#include "authoring/FileCheck.h"
#include "authoring/ReadOnlyHost.h"
#include "authoring/TrackCheck.h"
#include "demo/CommandTable.h"
#include "demo/ScriptMessages.h"
#include "demo/Vorpane.h"

#include "effects/EffectFactory.h"
#include "effects/EffectFiles.h"
#include "platform/FatalError.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "sync/TrackReports.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <map>
#include <set>

namespace {

constexpr double kLongestInputSeconds = 60.0;
constexpr double kShortestDemotrackSeconds = 1.0;
constexpr float kLowestBpm = 1.0f, kHighestBpm = 999.0f;

std::string Quoted(const std::string& text) { return "'" + PrintableText(text) + "'"; }

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", seconds);
  return text;
}

// An effect slot as the last LOAD into it left it.
struct TSlotLoad {
  std::string Type;
  int Line = 0;
};

// An INPUT line and the mapping it set.
struct TInputLine {
  size_t Bar = 0;
  int Input = 0;
  int Line = 0;
  TInputMap Map;
};

// Follows the reader line by line and looks at the demo it built.
class TScriptChecker {
 public:
  explicit TScriptChecker(TCheckReport& report)
      : report_(report), knownWords_(ScriptCommandWords()) {}

  void Error(int line, const std::string& text) { report_.Messages.push_back({line, true, text}); }
  // Lists a file the script reads, once.
  void NoteFile(const std::string& path) {
    if (notedFiles_.insert(path).second) report_.Files.push_back(path);
  }
  void Warning(int line, const std::string& text) {
    report_.Messages.push_back({line, false, text});
  }
  void Note(int line, const std::string& text) {
    report_.Messages.push_back({line, false, text, true});
  }

  // The lines as written, before the first one runs.
  void BeforeRead(const std::vector<std::string>& lines) { lines_ = lines; }
  // What a line shows before it runs: its word and its values.
  void BeforeCommand(TVDemo& demo, const TVDemoCommand& tokens);
  // What a line did: effects loaded, files opened, the demotrack named, inputs mapped.
  void AfterCommand(TVDemo& demo, const TVDemoCommand& tokens);
  // What can be told only from the whole script: effects, bars, the demotrack.
  void CheckDemo(TVDemo& demo);

 private:
  static int Line() { return CurrentScriptLocation().Line; }
  // Decodes a file once per folder and name, from the folder of `files`; problems are reported
  // at its first use.
  void CheckFile(int line, const TEffectFile& file, const std::string& user,
                 const TReadContext& files);
  // MOUNT and LENGTH rows that do not fit 32 bits (the reader wraps them).
  void CheckRowAddress(const TVDemoCommand& tokens);
  // Values the reader takes without complaint but that spoil the picture: colours, booleans,
  // speeds, INPUT widths, "//" in names, parameters that follow an unknown command.
  void CheckValues(TVDemo& demo, const TScriptCommand& command, const TVDemoCommand& tokens);
  // STARTTIME at or past the end of the demo.
  void CheckStartTime(TVDemo& demo);
  // Inputs, the demotrack's length and bars that never show, against the demotrack and tempo.
  void CheckTracker(TVDemo& demo);
  // An INPUT's note on row 0 of its channel (never read), or on no row at all.
  void CheckInputNote(const TInputLine& input, const std::vector<uint8_t>& rows);
  // A demotrack made from music: which tempo the player uses, and a BPM far from the music's.
  void CheckMusicTempo(const TVDemo& demo);

  TCheckReport& report_;
  const std::vector<std::string> knownWords_;
  bool initSeen_ = false;
  int trackerLine_ = 0;
  bool trackerNamed_ = false;
  int bpmLine_ = 0;
  std::map<int32_t, TSlotLoad> slots_;
  std::vector<TInputLine> inputs_;
  std::set<std::string> checkedFiles_;
  std::set<std::string> notedFiles_;
  std::vector<std::string> lines_;   // the script as written
  int unknownLine_ = 0;              // the last unknown command since the last LOAD
  std::string unknownWord_;
  int startTimeLine_ = 0;
};

void TScriptChecker::BeforeCommand(TVDemo& demo, const TVDemoCommand& tokens) {
  const std::string& word = tokens[0];
  if (word.empty()) return;
  const TScriptCommand* command = FindScriptCommand(word);
  if (!command) {
    const std::string nearest = NearestWord(word, knownWords_);
    Warning(Line(), "unknown command " + Quoted(word) + " is ignored" +
                        (nearest.empty() ? "" : "; did you mean " + Quoted(nearest) + "?"));
    unknownLine_ = Line();
    unknownWord_ = word;
    return;
  }
  CheckValues(demo, *command, tokens);
  if (initSeen_ && command->Place == TCommandPlace::BeforeInit)
    Warning(Line(), word + " after INIT has no effect: INIT has already opened the window");
  if (word == "BPM") {
    bpmLine_ = Line();
    float bpm = 0;
    if (TryTextToFloat(Token(tokens, 1), bpm) && !(bpm >= kLowestBpm && bpm <= kHighestBpm))
      Warning(Line(), "BPM " + PrintableText(Token(tokens, 1)) + " is outside 1 to 999");
  } else if (word == "DATADIR") {
    const std::string folder = ParamText(tokens, 1);
    std::error_code error;
    if (!std::filesystem::is_directory(demo.ReadContext.PathOf(folder), error))
      Warning(Line(), "DATADIR " + Quoted(folder) +
                          " does not exist; the player ignores it and stays in its folder");
  } else if (word == "MOUNT" || word == "LENGTH") {
    CheckRowAddress(tokens);
  } else if (word == "INPUT") {
    const char* const names[] = {"width", "look-ahead"};
    for (size_t i = 0; i < 2; ++i) {
      float milliseconds = 0;
      if (TryTextToFloat(Token(tokens, 4 + i), milliseconds) &&
          milliseconds / 1000.0 > kLongestInputSeconds)
        Warning(Line(), std::string("INPUT ") + names[i] + " " + Seconds(milliseconds / 1000.0) +
                            " is over 60 s");
    }
  }
}

void TScriptChecker::CheckValues(TVDemo& demo, const TScriptCommand& command,
                                 const TVDemoCommand& tokens) {
  const std::string& word = tokens[0];
  const int line = Line();
  if (word == "LOAD") {
    unknownLine_ = 0;
  } else if (unknownLine_ > 0 && command.Place == TCommandPlace::AfterLoad) {
    // The line meant for the effect the unknown command would have loaded goes to the last one.
    const int32_t slot = demo.CurrentSlot;
    const bool filled = slot >= 0 && static_cast<size_t>(slot) < demo.SlotTypes.size() &&
                        !demo.SlotTypes[static_cast<size_t>(slot)].empty();
    if (filled)
      Warning(line, word + " follows the unknown command " + Quoted(unknownWord_) + " (line " +
                        std::to_string(unknownLine_) + "): it and the parameters after it set " +
                        demo.SlotTypes[static_cast<size_t>(slot)] + " in slot " +
                        std::to_string(slot));
    unknownLine_ = 0;
  }
  if (TakesText(command) && line > 0 && static_cast<size_t>(line) <= lines_.size()) {
    // A comment starts after a blank; "//" glued to a word is more likely part of a name.
    const std::string& raw = lines_[static_cast<size_t>(line) - 1];
    const size_t at = raw.find("//");
    if (at != std::string::npos && at > 0 && raw[at - 1] != ' ' && raw[at - 1] != '\t')
      Warning(line, "\"//\" in the " + word + " text starts a comment: the text is " +
                        Quoted(ParamText(tokens, 1)) + "; write '/' for a folder");
  }
  if (TakesArgument(command, TArgumentKind::ColorPart)) {
    const char* const parts[] = {"red", "green", "blue", "alpha"};
    for (size_t i = 0; i < 4; ++i) {
      int32_t value = 0;
      if (TryTextToInt(Token(tokens, i + 1), value) && (value < 0 || value > 255))
        Warning(line, word + " " + parts[i] + " " + std::to_string(value) +
                          " is outside 0 to 255");
    }
  } else if (TakesArgument(command, TArgumentKind::Bool)) {
    const std::string value = LowerCase(ParamText(tokens, 1));
    if (value != "true" && value != "false")
      Warning(line, word + " " + Quoted(ParamText(tokens, 1)) +
                        " is neither true nor false; it reads as false");
  } else if (word == "SPEED") {
    int32_t percent = 0;
    if (TryTextToInt(Token(tokens, 1), percent) && percent <= 0)
      Warning(line, "SPEED " + std::to_string(percent) +
                        (percent == 0 ? " stops the demo: time stands still"
                                      : " runs the demo backwards"));
  } else if (word == "STARTTIME") {
    startTimeLine_ = line;
  } else if (word == "INPUT") {
    float width = 0;
    if (TryTextToFloat(Token(tokens, 4), width) && width < 0.0f)
      Warning(line, "INPUT width " + PrintableText(Token(tokens, 4)) +
                        " ms is negative: the input stays at 0");
  } else if (word == "B" && demo.CurrentSlot >= 0 &&
             static_cast<size_t>(demo.CurrentSlot) < demo.SlotTypes.size() &&
             demo.SlotTypes[static_cast<size_t>(demo.CurrentSlot)] == "particles") {
    // The modes parameter B names; any other text bounces.
    const std::vector<std::string> modes = {"bounce", "forceback", "respawn"};
    const std::string mode = ParamText(tokens, 1);
    if (!mode.empty() && std::find(modes.begin(), modes.end(), mode) == modes.end()) {
      const std::string nearest = NearestWord(mode, modes);
      Warning(line, "particle mode " + Quoted(mode) + " is unknown (bounce, forceback, respawn); " +
                        "the particles bounce" +
                        (nearest.empty() ? "" : "; did you mean " + Quoted(nearest) + "?"));
    }
  }
}

void TScriptChecker::CheckRowAddress(const TVDemoCommand& tokens) {
  const int64_t weights[] = {64, 16, 4, 1};
  int64_t row = 0;
  for (size_t i = 0; i < 4; ++i) {
    const std::string part = Token(tokens, i + 1);
    int32_t value = 0;
    if (part.empty()) continue;
    if (!TryTextToInt(part, value)) return;  // the reader reports the conversion
    row += weights[i] * value;
  }
  if (row > std::numeric_limits<int32_t>::max() || row < std::numeric_limits<int32_t>::min())
    Warning(Line(), tokens[0] + " row " + std::to_string(row) +
                        " is beyond 2^31 rows; it wraps to row " +
                        std::to_string(static_cast<int32_t>(static_cast<uint32_t>(row))));
}

void TScriptChecker::AfterCommand(TVDemo& demo, const TVDemoCommand& tokens) {
  const std::string& word = tokens[0];
  if (word == "INIT") {
    if (!initSeen_ && !demo.LoadingScreen.empty())
      CheckFile(Line(), {TEffectFileKind::Picture, demo.LoadingScreen, "", ""}, "LOADINGSCREEN",
                demo.ReadContext);
    initSeen_ = true;
  } else if (word == "LOAD") {
    // A slot out of range leaves every slot as it was (the reader reported it).
    int32_t slot = -1;
    if (!TryTextToInt(Token(tokens, 2), slot) || slot != demo.CurrentSlot || slot < 0 ||
        static_cast<size_t>(slot) >= demo.EffectSlots.size())
      return;
    if (!demo.EffectSlots[static_cast<size_t>(slot)]) {
      // An unknown type empties the slot; the reader's error gains the nearest type's name.
      slots_.erase(slot);
      const std::string nearest = NearestWord(Token(tokens, 1), EffectTypeNames());
      if (!nearest.empty() && !report_.Messages.empty() && report_.Messages.back().Line == Line())
        report_.Messages.back().Text += "; did you mean " + Quoted(nearest) + "?";
      return;
    }
    slots_[slot] = {Token(tokens, 1), Line()};
    // These files are read when the line runs, from the folder of that moment.
    for (const TEffectFile& file : EffectCreationFiles(Token(tokens, 1)))
      CheckFile(Line(), file, Token(tokens, 1) + " in slot " + std::to_string(slot),
                demo.ReadContext);
  } else if (word == "LOADMUSIC") {
    std::string note;
    const TReadContext& files = demo.ReadContext;
    NoteFile(files.AbsolutePath(demo.MusicFile));
    const std::string problem = MusicFileProblem(demo.MusicFile, note, files);
    if (!problem.empty()) Error(Line(), problem + files.NotFoundNote(demo.MusicFile));
    if (!note.empty()) Warning(Line(), note);
  } else if (word == "TRACKER") {
    trackerLine_ = Line();
    trackerNamed_ = !Token(tokens, 1).empty();
    if (trackerNamed_) NoteFile(demo.ReadContext.AbsolutePath(Token(tokens, 1)));
  } else if (word == "LENGTH" && !demo.Bars.empty()) {
    const TScriptBar& bar = demo.Bars.back();
    if (bar.Length <= 0)
      Warning(Line(), "LENGTH " + std::to_string(bar.Length) + " rows: bar " + Quoted(bar.Name) +
                          " never shows");
  } else if (word == "INPUT") {
    int32_t input = -1;
    if (!demo.Bars.empty() && TryTextToInt(Token(tokens, 1), input) && input >= 0 &&
        input < kEffectInputCount)
      inputs_.push_back({demo.Bars.size() - 1, input, Line(), demo.Bars.back().InputMaps[input]});
  }
}

void TScriptChecker::CheckFile(int line, const TEffectFile& file, const std::string& user,
                               const TReadContext& files) {
  // Names that resolve to the same file (letter case, '\\') are the same file.
  const std::string key = std::to_string(static_cast<int>(file.Kind)) + '\n' +
                          files.AbsolutePath(file.Name) + '\n' +
                          files.AbsolutePath(file.AlphaName);
  if (!checkedFiles_.insert(key).second) return;
  NoteFile(files.AbsolutePath(file.Name));
  if (!file.AlphaName.empty()) NoteFile(files.AbsolutePath(file.AlphaName));
  std::string note;
  const std::string problem = EffectFileProblem(file, note, files);
  const std::string by = file.Parameter.empty() ? user : user + ", parameter " + file.Parameter;
  if (!problem.empty()) Error(line, problem + " [" + by + "]");
  if (!note.empty()) Warning(line, note + " [" + by + "]");
}

void TScriptChecker::CheckDemo(TVDemo& demo) {
  report_.DemoName = demo.DemoName;
  for (const auto& [slot, load] : slots_) {
    const TVEffect& effect = *demo.EffectSlots[static_cast<size_t>(slot)];
    const std::string user = load.Type + " in slot " + std::to_string(slot);
    for (const std::string& parameter : MissingEffectParameters(load.Type, effect))
      Error(load.Line, user + " needs parameter " + parameter);
    // Load runs after the whole script, so these are read from the folder the script ends in.
    for (const TEffectFile& file : EffectLoadFiles(load.Type, effect))
      CheckFile(load.Line, file, user, demo.ReadContext);
  }
  CheckStartTime(demo);
  for (const TScriptBar& bar : demo.Bars) {
    if (bar.Effect < 0 || static_cast<size_t>(bar.Effect) >= demo.EffectSlots.size() ||
        !demo.EffectSlots[static_cast<size_t>(bar.Effect)])
      Error(bar.Line, EffectNotInstalledMessage(bar.Effect) + " (bar " + Quoted(bar.Name) +
                          " runs a slot that holds no effect)");
  }
  CheckMusicTempo(demo);
  for (TCheckMessage& message : CheckKeyedTracks(demo)) report_.Messages.push_back(message);
  for (const std::string& path : TrackFilePaths(demo.Tracks)) NoteFile(AbsolutePath(path));
  if (demo.Bars.empty()) return;
  if (!demo.Tracker) {
    Error(demo.Bars[0].Line, BarsNeedTrackerMessage());
    return;
  }
  if (!(demo.Tracker->BPM > 0.0f)) {
    Error(demo.Bars[0].Line, BarsNeedTempoMessage());
    return;
  }
  CheckTracker(demo);
}

void TScriptChecker::CheckTracker(TVDemo& demo) {
  const TDemoTracker& tracker = *demo.Tracker;
  const size_t channels = tracker.Channels.size();
  for (const TInputLine& input : inputs_) {
    const TInputMap& map = input.Map;
    if (map.Channel < 0 || static_cast<size_t>(map.Channel) >= channels)
      Warning(input.Line, "INPUT " + std::to_string(input.Input) + " reads demotrack channel " +
                              std::to_string(map.Channel) + ", but the demotrack has " +
                              std::to_string(channels) + " channels (0 to " +
                              std::to_string(static_cast<int64_t>(channels) - 1) + ")");
    else
      CheckInputNote(input, tracker.Channels[static_cast<size_t>(map.Channel)]);
  }
  // The demo ends when the row passes the last row of channel 0.
  const bool tracked = channels > 0;
  const int32_t rows = tracker.RowCount(0);
  if (trackerNamed_ && (!tracked || rows == 0)) {
    Warning(trackerLine_, "the demotrack is empty: bars read no notes");
  } else if (tracked && tracker.RowToTime(rows) < kShortestDemotrackSeconds) {
    Warning(trackerLine_, "the demotrack has " + std::to_string(rows) + " rows, " +
                              Seconds(tracker.RowToTime(rows)) + " at its tempo: the demo ends "
                              "at once");
  }
  for (const TScriptBar& bar : demo.Bars) {
    if (tracked && bar.Mount > rows)
      Warning(bar.Line, "bar " + Quoted(bar.Name) + " starts at row " + std::to_string(bar.Mount) +
                            ", after the demotrack's end (row " + std::to_string(rows) +
                            "): it never shows");
    else if (demo.EndTime > 0.0f && tracker.RowToTime(bar.Mount) > demo.EndTime)
      Warning(bar.Line, "bar " + Quoted(bar.Name) + " starts at " +
                            Seconds(tracker.RowToTime(bar.Mount)) + ", after the end time " +
                            Seconds(demo.EndTime) + ": it never shows");
  }
}

void TScriptChecker::CheckInputNote(const TInputLine& input, const std::vector<uint8_t>& rows) {
  // An empty demotrack and a width of 0 or less are reported on their own.
  if (rows.empty() || !(input.Map.Width > 0.0f)) return;
  const uint8_t note = input.Map.Note;
  const std::string what = "INPUT " + std::to_string(input.Input) + ": note " +
                           std::to_string(note) + " ";
  const std::string channel = "demotrack channel " + std::to_string(input.Map.Channel);
  const bool later = std::find(rows.begin() + 1, rows.end(), note) != rows.end();
  // Note 0 is every empty row: row 0 is one of many.
  if (rows[0] == note && note != 0)
    Warning(input.Line, what + "on row 0 of " + channel + " never raises the input (row 0 is " +
                            "not read)" + (later ? "" : "; no other row holds it: the input "
                                                        "stays at 0"));
  else if (!later)
    Warning(input.Line, what + "never occurs in " + channel + ": the input stays at 0");
}

void TScriptChecker::CheckStartTime(TVDemo& demo) {
  if (startTimeLine_ == 0) return;
  std::string what;
  const double end = ScriptEndSeconds(demo, &what);
  if (end >= 0.0 && demo.StartTime >= end)
    Warning(startTimeLine_, "STARTTIME " + Seconds(demo.StartTime) + " is at or past " + what +
                                " (" + Seconds(end) + "): the demo ends at once");
}

void TScriptChecker::CheckMusicTempo(const TVDemo& demo) {
  if (!demo.Tracker || demo.Tracker->MusicKind.empty()) return;
  const TDemoTracker& tracker = *demo.Tracker;
  const std::string music = "the " + tracker.MusicKind + "'s own tempo";
  char found[32];
  std::snprintf(found, sizeof found, "%.2f", tracker.MusicBpm);
  if (bpmLine_ < trackerLine_) {
    if (tracker.MusicBpm > 0.0)
      Note(trackerLine_, "no BPM line: the player uses " + music + ", " + found + " BPM");
  } else if (tracker.MusicBpm > 0.0 &&
             std::fabs(tracker.BPM - tracker.MusicBpm) > 0.01 * tracker.MusicBpm) {
    Warning(bpmLine_, "BPM " + std::to_string(static_cast<int>(std::lround(tracker.BPM))) +
                          " differs by more than 1 % from " + music + ", " + found +
                          " BPM; the notes are laid on the script's tempo, bars may not fall "
                          "on the music's beats");
  }
}

// Damerau-Levenshtein distance (optimal string alignment) between two texts.
size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

}  // namespace

int TCheckReport::ErrorCount() const {
  return static_cast<int>(std::count_if(Messages.begin(), Messages.end(),
                                        [](const TCheckMessage& m) { return m.IsError; }));
}

int TCheckReport::WarningCount() const {
  return static_cast<int>(std::count_if(Messages.begin(), Messages.end(), [](const TCheckMessage& m) {
    return !m.IsError && !m.IsNote;
  }));
}

std::string NearestWord(const std::string& word, const std::vector<std::string>& known) {
  // Command words are a few letters long: a longer token is no misspelt command.
  constexpr size_t kLongestCompared = 32;
  constexpr size_t kMostEdits = 2;
  if (word.empty() || word.size() > kLongestCompared) return std::string();
  const std::string upper = UpperCase(word);
  std::string best;
  size_t bestDistance = kMostEdits + 1;
  for (const std::string& candidate : known) {
    const size_t distance = EditDistance(upper, UpperCase(candidate));
    if (distance < bestDistance) {
      best = candidate;
      bestDistance = distance;
    }
  }
  if (bestDistance > kMostEdits || bestDistance >= word.size()) return std::string();
  return best;
}

TCheckReport CheckScript(const std::string& fileName) {
  TCheckReport report;
  report.File = fileName;
  TScriptChecker checker(report);
  const TScriptErrorScope errors(
      [&](const TScriptLocation& where, const std::string& description) {
        checker.Error(where.Line, description);
      });
  // The checker looks at every line the reader runs.
  struct TCheckHost : TReadOnlyHost {
    explicit TCheckHost(TScriptChecker& checker) : Checker(checker) {}
    void BeforeRead(TVDemo&, const std::vector<std::string>& lines) override {
      Checker.BeforeRead(lines);
    }
    void BeforeCommand(TVDemo& demo, const TVDemoCommand& tokens) override {
      Checker.BeforeCommand(demo, tokens);
    }
    void AfterCommand(TVDemo& demo, const TVDemoCommand& tokens) override {
      Checker.AfterCommand(demo, tokens);
    }
    TScriptChecker& Checker;
  } host(checker);
  try {
    TVDemo demo(fileName, host);
    checker.CheckDemo(demo);
  } catch (const FatalError& error) {
    checker.Error(0, error.what());  // the script itself could not be read
  }
  std::stable_sort(report.Messages.begin(), report.Messages.end(),
                   [](const TCheckMessage& a, const TCheckMessage& b) { return a.Line < b.Line; });
  return report;
}

std::string FormatCheckMessage(const std::string& file, const TCheckMessage& message) {
  std::string text = file;
  if (message.Line > 0) text += ":" + std::to_string(message.Line);
  return text + (message.IsError ? ": error: " : message.IsNote ? ": note: " : ": warning: ") +
         message.Text;
}

std::string CheckSummary(const TCheckReport& report) {
  const auto count = [](int n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
  };
  return report.File + ": " + count(report.ErrorCount(), "error") + ", " +
         count(report.WarningCount(), "warning");
}

int RunScriptCheck(const std::string& fileName, std::FILE* out) {
  ShowAnalysisProgress(true);  // a recording's analysis takes a while: show that it runs
  const TCheckReport report = CheckScript(fileName);
  for (const TCheckMessage& message : report.Messages)
    std::fprintf(out, "%s\n", FormatCheckMessage(report.File, message).c_str());
  std::fprintf(out, "%s\n", CheckSummary(report).c_str());
  std::fflush(out);
  return report.ErrorCount() > 0 ? 1 : 0;
}
