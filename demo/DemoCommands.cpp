// The script's command table: each line's command word runs one handler on the demo object.
#include "demo/CommandTable.h"

#include "demo/Vorpane.h"

#include "effects/EffectFactory.h"
#include "platform/FatalError.h"
#include "platform/Files.h"
#include "platform/Text.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>
#include <unordered_map>

namespace {

// MOUNT and LENGTH: a×64 + b×16 + c×4 + d, missing or empty parts 0.
int32_t RowAddress(TVDemoCommand& tokens) {
  tokens.resize(5);
  for (size_t i = 1; i <= 4; ++i)
    if (tokens[i].empty()) tokens[i] = "0";
  const int64_t value = static_cast<int64_t>(TextToInt(tokens[1])) * 64 +
                        static_cast<int64_t>(TextToInt(tokens[2])) * 16 +
                        static_cast<int64_t>(TextToInt(tokens[3])) * 4 + TextToInt(tokens[4]);
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

void ReadColor(const TVDemoCommand& tokens, float color[4]) {
  for (size_t i = 0; i < 4; ++i)
    color[i] = static_cast<float>(TextToInt(Token(tokens, i + 1)) / 255.0);
}

void Register(TVDemo& demo, TVDemoCommand& tokens) {
  demo.MacroNames.push_back(Token(tokens, 1));
  demo.MacroValues.push_back(ParamText(tokens, 2));
}

void Unregister(TVDemo& demo, TVDemoCommand& tokens) {
  const std::string value = ParamText(tokens, 1);
  for (size_t k = 0; k < demo.MacroValues.size(); ++k) {
    if (demo.MacroValues[k] == value) {
      demo.MacroNames.erase(demo.MacroNames.begin() + static_cast<long>(k));
      demo.MacroValues.erase(demo.MacroValues.begin() + static_cast<long>(k));
      return;
    }
  }
}

// RESOLUTIONX and RESOLUTIONY: a side outside the range is reported and the line ignored.
void SetWindowSide(TVDemoCommand& tokens, int32_t& side) {
  const int32_t value = ParamInt(tokens, 1);
  if (value < kMinWindowSide || value > kMaxWindowSide) {
    ScriptError(tokens[0] + " " + std::to_string(value) + " is not a window size (" +
                std::to_string(kMinWindowSide) + " to " + std::to_string(kMaxWindowSide) +
                " pixels); it stays " + std::to_string(side));
    return;
  }
  side = value;
}

// DATADIR: later names resolve from the folder; one that cannot be entered leaves names where
// they were, and says so.
void DataDir(TVDemo& demo, TVDemoCommand& tokens) {
  const std::string folder = ParamText(tokens, 1);
  TReadContext& files = demo.ReadContext;
  if (files.EnterFolder(folder)) return;
  demo.Notice("DATADIR '" + PrintableText(folder) + "' is not a folder (looked for at " +
              PrintableText(files.LookedFor(folder)) + "); names stay relative to " +
              PrintableText(files.Folder()));
}

void Input(TVDemo& demo, TVDemoCommand& tokens) {
  const int32_t k = TextToInt(Token(tokens, 1));
  if (k < 0 || k >= kEffectInputCount) {
    ScriptError("INPUT " + std::to_string(k) + " is not an input (0 to 19)");
    return;
  }
  // A missing value is named rather than read as an empty number.
  const char* const fields[] = {"channel", "note", "width (ms)", "look-ahead (ms)"};
  for (size_t i = 0; i < 4; ++i)
    if (Token(tokens, i + 2).empty())
      throw FatalError("INPUT " + std::to_string(k) + " lacks its " + fields[i] +
                       ": INPUT takes input, channel, note, width (ms) and look-ahead (ms)");
  TInputMap map;
  map.Channel = TextToInt(Token(tokens, 2));
  map.Note = static_cast<uint8_t>(TextToInt(Token(tokens, 3)) & 0xFF);
  map.Width = static_cast<float>(TextToFloat(Token(tokens, 4)) / 1000.0);
  map.LookAhead = static_cast<float>(TextToFloat(Token(tokens, 5)) / 1000.0);
  map.Enabled = true;
  demo.Bars.back().InputMaps[k] = map;
}

using K = TArgumentKind;
using P = TCommandPlace;

// The effect in the current slot; ExecuteCommand has made sure there is one.
TVEffect& SlotEffect(TVDemo& demo) {
  return *demo.EffectSlots[static_cast<size_t>(demo.CurrentSlot)];
}

// A parameter written `@name` follows the track of that name; a number written later for the
// same parameter ends that.
bool FollowsTrack(TVDemo& demo, const std::string& value, int32_t slot, TTrackedField field) {
  std::vector<TParameterTrack>& parameters = demo.Tracks.Parameters;
  parameters.erase(std::remove_if(parameters.begin(), parameters.end(),
                                  [&](const TParameterTrack& p) {
                                    return p.Slot == slot && p.Field == field;
                                  }),
                   parameters.end());
  if (value.empty() || value[0] != '@') return false;
  TParameterTrack parameter;
  parameter.Slot = slot;
  parameter.Field = field;
  parameter.Track = value.substr(1);
  parameter.Line = CurrentScriptLocation().Line;
  if (parameter.Track.empty()) {
    ScriptError("\"@\" names no track: write @name");
    return true;
  }
  parameters.push_back(std::move(parameter));
  return true;
}

bool EffectFollowsTrack(TVDemo& demo, TVDemoCommand& tokens, TTrackedField field) {
  return FollowsTrack(demo, Token(tokens, 1), demo.CurrentSlot, field);
}

void SetFloatParameter(TVDemo& demo, TVDemoCommand& tokens, float TVEffect::*field,
                       TTrackedField tracked) {
  if (EffectFollowsTrack(demo, tokens, tracked)) return;
  SlotEffect(demo).*field = TextToFloat(Token(tokens, 1));
}

void SetTextParameter(TVDemo& demo, TVDemoCommand& tokens, std::string TVEffect::*field) {
  SlotEffect(demo).*field = ParamText(tokens, 1);
}

void SetIntParameter(TVDemo& demo, TVDemoCommand& tokens, int32_t TVEffect::*field,
                     TTrackedField tracked) {
  if (EffectFollowsTrack(demo, tokens, tracked)) return;
  SlotEffect(demo).*field = TextToInt(Token(tokens, 1));
}

void SetPercentParameter(TVDemo& demo, TVDemoCommand& tokens, float TVEffect::*field,
                         TTrackedField tracked) {
  if (EffectFollowsTrack(demo, tokens, tracked)) return;
  SlotEffect(demo).*field = static_cast<float>(TextToInt(Token(tokens, 1)) / 100.0);
}

// CLEARCOLOR: each part a number 0-255 or a track.
void ClearColor(TVDemo& demo, TVDemoCommand& tokens) {
  const TTrackedField parts[] = {TTrackedField::ClearRed, TTrackedField::ClearGreen,
                                 TTrackedField::ClearBlue, TTrackedField::ClearAlpha};
  for (size_t i = 0; i < 4; ++i)
    if (!FollowsTrack(demo, Token(tokens, i + 1), -1, parts[i]))
      demo.ClearColor[i] = static_cast<float>(TextToInt(Token(tokens, i + 1)) / 255.0);
}

// TRACKS file [rows a beat].
void Tracks(TVDemo& demo, TVDemoCommand& tokens) {
  const std::string rows = Token(tokens, 2);
  LoadTrackFile(demo.Tracks, Token(tokens, 1), rows.empty() ? 4 : TextToInt(rows),
                CurrentScriptLocation().Line, demo.ReadContext);
}

// KEY track row value [type].
void Key(TVDemo& demo, TVDemoCommand& tokens) {
  const std::string track = Token(tokens, 1);
  int32_t row = 0;
  float value = 0;
  TTrackKey key;
  if (track.empty() || !TryTextToInt(Token(tokens, 2), row) || row < 0 ||
      !TryTextToFloat(Token(tokens, 3), value) || !std::isfinite(value)) {
    ScriptError("KEY takes a track, a row (0 or more), a value and a type: KEY " +
                PrintableText(track) + " " + PrintableText(Token(tokens, 2)) + " " +
                PrintableText(Token(tokens, 3)));
    return;
  }
  const std::string type = Token(tokens, 4);
  if (!type.empty() && !ReadKeyType(type, key.Type)) {
    ScriptError("KEY " + PrintableText(track) + ": " + PrintableText(type) +
                " is not a key type (step, linear, smooth or ramp)");
    return;
  }
  key.Row = row;
  key.Value = value;
  AddScriptKey(demo.Tracks, track, key, CurrentScriptLocation().Line);
}

constexpr std::string_view kTitleHelp = "names shown in the window title";
constexpr std::string_view kWindowHelp = "window size and colour bits";
constexpr std::string_view kNumberHelp = "the current effect's number parameters";
constexpr std::string_view kTextHelp = "the current effect's text parameters";
constexpr std::string_view kIntegerHelp = "the current effect's integer parameters";
constexpr std::string_view kFactorHelp = "the current effect's factors";
constexpr std::string_view kBarStoreHelp = "stored with the bar for the script's own use";

// Word, arguments, how the README shows them, where the line stands, whether running it reads,
// help, handler. A new command is one row here and its handler.
const std::vector<TScriptCommand> kCommands = {
    {"REGISTER", {K::MacroName, K::Text}, "name value", P::Anywhere, false,
     "from the next line on, the first occurrence of name in a line becomes value", Register},
    {"UNREGISTER", {K::MacroName}, "name", P::Anywhere, false, "removes that macro", Unregister},
    {"DEMO", {K::Text}, "text", P::BeforeInit, false, kTitleHelp,
     [](TVDemo& d, TVDemoCommand& t) { d.DemoName = ParamText(t, 1); }},
    {"GROUP", {K::Text}, "text", P::BeforeInit, false, kTitleHelp,
     [](TVDemo& d, TVDemoCommand& t) { d.GroupName = ParamText(t, 1); }},
    {"PARTY", {K::Text}, "text", P::BeforeInit, false, kTitleHelp,
     [](TVDemo& d, TVDemoCommand& t) { d.PartyName = ParamText(t, 1); }},
    {"YEAR", {K::Text}, "text", P::BeforeInit, false, kTitleHelp,
     [](TVDemo& d, TVDemoCommand& t) { d.Year = ParamText(t, 1); }},
    {"VERSION", {K::Text}, "text", P::BeforeInit, false, kTitleHelp,
     [](TVDemo& d, TVDemoCommand& t) { d.Version = ParamText(t, 1); }},
    {"RESOLUTIONX", {K::Integer}, "integer", P::BeforeInit, false, kWindowHelp,
     [](TVDemo& d, TVDemoCommand& t) { SetWindowSide(t, d.ResolutionX); }},
    {"RESOLUTIONY", {K::Integer}, "integer", P::BeforeInit, false, kWindowHelp,
     [](TVDemo& d, TVDemoCommand& t) { SetWindowSide(t, d.ResolutionY); }},
    {"COLORDEPTH", {K::Integer}, "integer", P::BeforeInit, false, kWindowHelp,
     [](TVDemo& d, TVDemoCommand& t) { d.ColorDepth = ParamInt(t, 1); }},
    {"FULLSCREEN", {K::Bool}, "`true` / `false`", P::BeforeInit, false, "fullscreen or window",
     [](TVDemo& d, TVDemoCommand& t) { d.Fullscreen = ParamBool(t, 1); }},
    {"STARTTIME", {K::Number}, "seconds", P::Anywhere, false,
     "where the demo (and the music) starts",
     [](TVDemo& d, TVDemoCommand& t) { d.StartTime = ParamFloat(t, 1); }},
    {"SHOWTIMER", {K::Bool}, "`true` / `false`", P::Anywhere, false,
     "shows the time and the `MOUNT` position on screen",
     [](TVDemo& d, TVDemoCommand& t) { d.ShowTimer = ParamBool(t, 1); }},
    {"SPEED", {K::Percent}, "percent", P::Anywhere, false, "playback speed",
     [](TVDemo& d, TVDemoCommand& t) {
       d.Speed = static_cast<float>(TextToInt(Token(t, 1)) / 100.0);
     }},
    {"LOADINGSCREEN", {K::Picture}, "picture file", P::BeforeInit, false, "the loading picture",
     [](TVDemo& d, TVDemoCommand& t) { d.LoadingScreen = ParamText(t, 1); }},
    {"ENDTIME", {K::Integer}, "hundredths of a second", P::Anywhere, false,
     "when the demo ends",
     [](TVDemo& d, TVDemoCommand& t) {
       d.EndTime = static_cast<float>(TextToInt(Token(t, 1)) / 100.0);
     }},
    {"DRAWLOADING", {K::Number}, "number", P::Anywhere, true, "shows the loading picture",
     [](TVDemo& d, TVDemoCommand& t) { d.DrawLoading(ParamFloat(t, 1)); }},
    {"CLEARCOLOR", {K::ColorPart, K::ColorPart, K::ColorPart, K::ColorPart}, "r g b a (0-255)",
     P::Anywhere, false, "the colour each frame starts from",
     ClearColor},
    {"DATADIR", {K::Folder}, "folder", P::Anywhere, true,
     "later file names are relative to this folder", DataDir},
    {"EXCLUSIVE", {K::Bool}, "`true` / `false`", P::BeforeInit, false, "keyboard access mode",
     [](TVDemo& d, TVDemoCommand& t) { d.Exclusive = ParamBool(t, 1); }},
    {"TRACKER", {K::Demotrack}, "demotrack, module, MIDI file or recording", P::Anywhere, true,
     "the grid of bytes the bars follow",
     [](TVDemo& d, TVDemoCommand& t) { d.CreateTracker(Token(t, 1)); }},
    {"BPM", {K::Number}, "number", P::Anywhere, false, "tempo of the demotrack",
     [](TVDemo& d, TVDemoCommand& t) { d.SetBpm(TextToFloat(Token(t, 1))); }},
    {"INIT", {}, "", P::Anywhere, true, "opens the window and reads the loading picture",
     [](TVDemo& d, TVDemoCommand&) { d.Init(); }},
    {"LOAD", {K::EffectType, K::Slot}, "type slot", P::Anywhere, false,
     "creates an effect in a numbered slot",
     [](TVDemo& d, TVDemoCommand& t) { d.LoadEffect(Token(t, 1), TextToInt(Token(t, 2))); }},
    {"X", {K::Number}, "number", P::AfterLoad, false, kNumberHelp,
     [](TVDemo& d, TVDemoCommand& t) { SetFloatParameter(d, t, &TVEffect::X, TTrackedField::X);
     }},
    {"Y", {K::Number}, "number", P::AfterLoad, false, kNumberHelp,
     [](TVDemo& d, TVDemoCommand& t) { SetFloatParameter(d, t, &TVEffect::Y, TTrackedField::Y);
     }},
    {"Z", {K::Number}, "number", P::AfterLoad, false, kNumberHelp,
     [](TVDemo& d, TVDemoCommand& t) { SetFloatParameter(d, t, &TVEffect::Z, TTrackedField::Z);
     }},
    {"H", {K::Number}, "number", P::AfterLoad, false, kNumberHelp,
     [](TVDemo& d, TVDemoCommand& t) { SetFloatParameter(d, t, &TVEffect::H, TTrackedField::H);
     }},
    {"W", {K::Number}, "number", P::AfterLoad, false, kNumberHelp,
     [](TVDemo& d, TVDemoCommand& t) { SetFloatParameter(d, t, &TVEffect::W, TTrackedField::W);
     }},
    {"D", {K::Number}, "number", P::AfterLoad, false, kNumberHelp,
     [](TVDemo& d, TVDemoCommand& t) { SetFloatParameter(d, t, &TVEffect::D, TTrackedField::D);
     }},
    {"VX", {K::Number}, "number", P::AfterLoad, false, kNumberHelp,
     [](TVDemo& d, TVDemoCommand& t) { SetFloatParameter(d, t, &TVEffect::VX, TTrackedField::VX);
     }},
    {"VY", {K::Number}, "number", P::AfterLoad, false, kNumberHelp,
     [](TVDemo& d, TVDemoCommand& t) { SetFloatParameter(d, t, &TVEffect::VY, TTrackedField::VY);
     }},
    {"VZ", {K::Number}, "number", P::AfterLoad, false, kNumberHelp,
     [](TVDemo& d, TVDemoCommand& t) { SetFloatParameter(d, t, &TVEffect::VZ, TTrackedField::VZ);
     }},
    {"A", {K::EffectFile}, "text", P::AfterLoad, false, kTextHelp,
     [](TVDemo& d, TVDemoCommand& t) { SetTextParameter(d, t, &TVEffect::A); }},
    {"B", {K::Text}, "text", P::AfterLoad, false, kTextHelp,
     [](TVDemo& d, TVDemoCommand& t) { SetTextParameter(d, t, &TVEffect::B); }},
    {"C", {K::Text}, "text", P::AfterLoad, false, kTextHelp,
     [](TVDemo& d, TVDemoCommand& t) { SetTextParameter(d, t, &TVEffect::C); }},
    {"E", {K::Integer}, "integer", P::AfterLoad, false, kIntegerHelp,
     [](TVDemo& d, TVDemoCommand& t) { SetIntParameter(d, t, &TVEffect::E, TTrackedField::E); }},
    {"F", {K::Integer}, "integer", P::AfterLoad, false, kIntegerHelp,
     [](TVDemo& d, TVDemoCommand& t) { SetIntParameter(d, t, &TVEffect::F, TTrackedField::F); }},
    {"G", {K::Integer}, "integer", P::AfterLoad, false, kIntegerHelp,
     [](TVDemo& d, TVDemoCommand& t) { SetIntParameter(d, t, &TVEffect::G, TTrackedField::G); }},
    {"S", {K::Percent}, "percent", P::AfterLoad, false, kFactorHelp,
     [](TVDemo& d, TVDemoCommand& t) { SetPercentParameter(d, t, &TVEffect::S, TTrackedField::S);
     }},
    {"SS", {K::Percent}, "percent", P::AfterLoad, false, kFactorHelp,
     [](TVDemo& d, TVDemoCommand& t) { SetPercentParameter(d, t, &TVEffect::SS, TTrackedField::SS);
     }},
    {"OPACITY", {K::Percent}, "percent", P::AfterLoad, false,
     "how much of a 2D effect shows (100: all of it)",
     [](TVDemo& d, TVDemoCommand& t) {
       SetPercentParameter(d, t, &TVEffect::Opacity, TTrackedField::Opacity);
     }},
    {"FADE", {K::Percent}, "percent", P::Anywhere, false,
     "the whole picture's brightness (0: black, 100: as drawn)",
     [](TVDemo& d, TVDemoCommand& t) {
       if (!FollowsTrack(d, Token(t, 1), -1, TTrackedField::Fade))
         d.Fade = static_cast<float>(TextToInt(Token(t, 1)) / 100.0);
     }},
    {"TRACKS", {K::TrackFile, K::Integer}, "track file [rows a beat]", P::Anywhere, true,
     "the keyed tracks parameters written `@name` follow", Tracks},
    {"KEY", {K::TrackName, K::Integer, K::Number, K::Text}, "track row value [type]", P::Anywhere,
     false, "a key of a track written in the script", Key},
    {"LOADMUSIC", {K::Music}, "music file", P::Anywhere, true,
     "WAV, FLAC, Ogg Vorbis, Opus, MP3, or a tracker module",
     [](TVDemo& d, TVDemoCommand& t) { d.LoadMusic(Token(t, 1)); }},
    {"BAR", {K::Text}, "name", P::Anywhere, false, "starts a timeline entry",
     [](TVDemo& d, TVDemoCommand& t) {
       d.Bars.emplace_back();
       d.Bars.back().Name = ParamText(t, 1);
       d.Bars.back().Line = CurrentScriptLocation().Line;
     }},
    {"MOUNT", {K::RowPart, K::RowPart, K::RowPart, K::RowPart}, "a b c d", P::AfterBar, false,
     "the bar starts at row a·64 + b·16 + c·4 + d",
     [](TVDemo& d, TVDemoCommand& t) { d.Bars.back().Mount = RowAddress(t); }},
    {"LENGTH", {K::RowPart, K::RowPart, K::RowPart, K::RowPart}, "a b c d", P::AfterBar, false,
     "the bar lasts that many rows",
     [](TVDemo& d, TVDemoCommand& t) { d.Bars.back().Length = RowAddress(t); }},
    {"EFFECT", {K::Slot}, "slot", P::AfterBar, false, "the slot the bar runs",
     [](TVDemo& d, TVDemoCommand& t) { d.Bars.back().Effect = TextToInt(Token(t, 1)); }},
    {"INPUT", {K::Input, K::Integer, K::Integer, K::Number, K::Number},
     "k channel note width look-ahead", P::AfterBar, false, "input k of the bar", Input},
    {">>COLOR", {K::ColorPart, K::ColorPart, K::ColorPart, K::ColorPart}, "numbers", P::AfterBar,
     false, kBarStoreHelp,
     [](TVDemo& d, TVDemoCommand& t) { ReadColor(t, d.Bars.back().Color); }},
    {">>SINGLE", {K::Number}, "numbers", P::AfterBar, false, kBarStoreHelp,
     [](TVDemo& d, TVDemoCommand& t) { d.Bars.back().Single = TextToFloat(Token(t, 1)); }},
    {">>OFSET", {K::Number}, "numbers", P::AfterBar, false, kBarStoreHelp,
     [](TVDemo& d, TVDemoCommand& t) { d.Bars.back().Offset = TextToFloat(Token(t, 1)); }},
};

// True (with a script error) when the line needs an effect in the current slot or a bar, and
// there is none.
bool LacksItsPlace(const TVDemo& demo, const TScriptCommand& command, const TVDemoCommand& tokens) {
  if (command.Place == P::AfterLoad) {
    const int32_t slot = demo.CurrentSlot;
    if (slot >= 0 && static_cast<size_t>(slot) < demo.EffectSlots.size() &&
        demo.EffectSlots[static_cast<size_t>(slot)])
      return false;
    ScriptError("Parameter " + tokens[0] + " has no effect to apply to (no effect loaded in slot " +
                std::to_string(slot) + ")");
    return true;
  }
  if (command.Place == P::AfterBar && demo.Bars.empty()) {
    ScriptError(tokens[0] + " needs a BAR before it");
    return true;
  }
  return false;
}

// libFuzzer's dictionary form of a word: "word" with '"' and '\\' escaped.
std::string DictionaryEntry(std::string_view word) {
  std::string entry = "\"";
  for (const char c : word) {
    if (c == '"' || c == '\\') entry += '\\';
    entry += c;
  }
  return entry + "\"\n";
}

}  // namespace

const std::vector<TScriptCommand>& ScriptCommands() {
  return kCommands;
}

const TScriptCommand* FindScriptCommand(std::string_view word) {
  // Every line of a script comes here: one lookup instead of a comparison per command.
  static const std::unordered_map<std::string_view, const TScriptCommand*> byWord = [] {
    std::unordered_map<std::string_view, const TScriptCommand*> table;
    for (const TScriptCommand& command : kCommands) table.emplace(command.Word, &command);
    return table;
  }();
  const auto found = byWord.find(word);
  return found == byWord.end() ? nullptr : found->second;
}

std::vector<std::string> ScriptCommandWords() {
  std::vector<std::string> words;
  for (const TScriptCommand& command : kCommands) words.emplace_back(command.Word);
  return words;
}

bool TakesArgument(const TScriptCommand& command, TArgumentKind kind) {
  return std::find(command.Arguments.begin(), command.Arguments.end(), kind) !=
         command.Arguments.end();
}

bool TakesFile(const TScriptCommand& command) {
  return TakesArgument(command, K::Picture) || TakesArgument(command, K::Music) ||
         TakesArgument(command, K::Demotrack) || TakesArgument(command, K::EffectFile) ||
         TakesArgument(command, K::TrackFile);
}

bool TakesText(const TScriptCommand& command) {
  return TakesArgument(command, K::Text) || TakesArgument(command, K::Folder) ||
         TakesFile(command);
}

std::string ScriptFuzzDictionary() {
  std::string dictionary = "# Script words for the script reader's fuzz target.\n";
  for (const TScriptCommand& command : kCommands) dictionary += DictionaryEntry(command.Word);
  for (const std::string& type : EffectTypeNames()) dictionary += DictionaryEntry(type);
  for (const char* word : {"true", "false", "//", "$", " "}) dictionary += DictionaryEntry(word);
  return dictionary;
}

void TVDemo::ExecuteCommand(TVDemoCommand& tokens) {
  if (tokens.empty()) return;
  const TScriptCommand* command = FindScriptCommand(tokens[0]);
  if (command && !LacksItsPlace(*this, *command, tokens)) command->Run(*this, tokens);
}
