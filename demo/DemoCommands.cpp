// The script's command table: each line's command word runs one handler on the demo object.
#include "demo/Vorpane.h"

#include "effects/EffectFactory.h"
#include "platform/FatalError.h"
#include "platform/Files.h"
#include "platform/Text.h"

#include <cstring>
#include <string_view>
#include <unordered_map>

namespace {

using Handler = void (*)(TVDemo& demo, TVDemoCommand& tokens);

// The effect that parameter commands apply to, or null (with a script error) when there is none.
TVEffect* CurrentEffect(TVDemo& demo, const TVDemoCommand& tokens) {
  if (demo.CurrentSlot >= 0 && static_cast<size_t>(demo.CurrentSlot) < demo.EffectSlots.size() &&
      demo.EffectSlots[static_cast<size_t>(demo.CurrentSlot)])
    return demo.EffectSlots[static_cast<size_t>(demo.CurrentSlot)];
  ScriptError("Parameter " + tokens[0] + " has no effect to apply to (no effect loaded in slot " +
              std::to_string(demo.CurrentSlot) + ")");
  return nullptr;
}

// The last bar, or null (with a script error) before the first BAR.
TScriptBar* LastBar(TVDemo& demo, const TVDemoCommand& tokens) {
  if (!demo.Bars.empty()) return &demo.Bars.back();
  ScriptError(tokens[0] + " needs a BAR before it");
  return nullptr;
}

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

void SetFloatParameter(TVDemo& demo, TVDemoCommand& tokens, float TVEffect::*field) {
  if (TVEffect* effect = CurrentEffect(demo, tokens)) effect->*field = TextToFloat(Token(tokens, 1));
}

void SetTextParameter(TVDemo& demo, TVDemoCommand& tokens, std::string TVEffect::*field) {
  if (TVEffect* effect = CurrentEffect(demo, tokens)) effect->*field = ParamText(tokens, 1);
}

void SetIntParameter(TVDemo& demo, TVDemoCommand& tokens, int32_t TVEffect::*field) {
  if (TVEffect* effect = CurrentEffect(demo, tokens)) effect->*field = TextToInt(Token(tokens, 1));
}

void SetPercentParameter(TVDemo& demo, TVDemoCommand& tokens, float TVEffect::*field) {
  if (TVEffect* effect = CurrentEffect(demo, tokens))
    effect->*field = static_cast<float>(TextToInt(Token(tokens, 1)) / 100.0);
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
  TScriptBar* bar = LastBar(demo, tokens);
  if (!bar) return;
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
  bar->InputMaps[k] = map;
}

struct Command {
  std::string_view word;
  Handler run;
};

const Command kCommands[] = {
    {"REGISTER", Register},
    {"UNREGISTER", Unregister},
    {"DEMO", [](TVDemo& d, TVDemoCommand& t) { d.DemoName = ParamText(t, 1); }},
    {"GROUP", [](TVDemo& d, TVDemoCommand& t) { d.GroupName = ParamText(t, 1); }},
    {"PARTY", [](TVDemo& d, TVDemoCommand& t) { d.PartyName = ParamText(t, 1); }},
    {"YEAR", [](TVDemo& d, TVDemoCommand& t) { d.Year = ParamText(t, 1); }},
    {"VERSION", [](TVDemo& d, TVDemoCommand& t) { d.Version = ParamText(t, 1); }},
    {"RESOLUTIONX", [](TVDemo& d, TVDemoCommand& t) { SetWindowSide(t, d.ResolutionX); }},
    {"RESOLUTIONY", [](TVDemo& d, TVDemoCommand& t) { SetWindowSide(t, d.ResolutionY); }},
    {"COLORDEPTH", [](TVDemo& d, TVDemoCommand& t) { d.ColorDepth = ParamInt(t, 1); }},
    {"FULLSCREEN", [](TVDemo& d, TVDemoCommand& t) { d.Fullscreen = ParamBool(t, 1); }},
    {"STARTTIME", [](TVDemo& d, TVDemoCommand& t) { d.StartTime = ParamFloat(t, 1); }},
    {"SHOWTIMER", [](TVDemo& d, TVDemoCommand& t) { d.ShowTimer = ParamBool(t, 1); }},
    {"SPEED",
     [](TVDemo& d, TVDemoCommand& t) {
       d.Speed = static_cast<float>(TextToInt(Token(t, 1)) / 100.0);
     }},
    {"LOADINGSCREEN", [](TVDemo& d, TVDemoCommand& t) { d.LoadingScreen = ParamText(t, 1); }},
    {"ENDTIME",
     [](TVDemo& d, TVDemoCommand& t) {
       d.EndTime = static_cast<float>(TextToInt(Token(t, 1)) / 100.0);
     }},
    {"DRAWLOADING", [](TVDemo& d, TVDemoCommand& t) { d.DrawLoading(ParamFloat(t, 1)); }},
    {"CLEARCOLOR", [](TVDemo& d, TVDemoCommand& t) { ReadColor(t, d.ClearColor); }},
    {"DATADIR", DataDir},
    {"EXCLUSIVE", [](TVDemo& d, TVDemoCommand& t) { d.Exclusive = ParamBool(t, 1); }},
    {"TRACKER", [](TVDemo& d, TVDemoCommand& t) { d.CreateTracker(Token(t, 1)); }},
    {"BPM", [](TVDemo& d, TVDemoCommand& t) { d.SetBpm(TextToFloat(Token(t, 1))); }},
    {"INIT", [](TVDemo& d, TVDemoCommand&) { d.Init(); }},
    {"LOAD",
     [](TVDemo& d, TVDemoCommand& t) { d.LoadEffect(Token(t, 1), TextToInt(Token(t, 2))); }},
    {"X", [](TVDemo& d, TVDemoCommand& t) { SetFloatParameter(d, t, &TVEffect::X); }},
    {"Y", [](TVDemo& d, TVDemoCommand& t) { SetFloatParameter(d, t, &TVEffect::Y); }},
    {"Z", [](TVDemo& d, TVDemoCommand& t) { SetFloatParameter(d, t, &TVEffect::Z); }},
    {"H", [](TVDemo& d, TVDemoCommand& t) { SetFloatParameter(d, t, &TVEffect::H); }},
    {"W", [](TVDemo& d, TVDemoCommand& t) { SetFloatParameter(d, t, &TVEffect::W); }},
    {"D", [](TVDemo& d, TVDemoCommand& t) { SetFloatParameter(d, t, &TVEffect::D); }},
    {"VX", [](TVDemo& d, TVDemoCommand& t) { SetFloatParameter(d, t, &TVEffect::VX); }},
    {"VY", [](TVDemo& d, TVDemoCommand& t) { SetFloatParameter(d, t, &TVEffect::VY); }},
    {"VZ", [](TVDemo& d, TVDemoCommand& t) { SetFloatParameter(d, t, &TVEffect::VZ); }},
    {"A", [](TVDemo& d, TVDemoCommand& t) { SetTextParameter(d, t, &TVEffect::A); }},
    {"B", [](TVDemo& d, TVDemoCommand& t) { SetTextParameter(d, t, &TVEffect::B); }},
    {"C", [](TVDemo& d, TVDemoCommand& t) { SetTextParameter(d, t, &TVEffect::C); }},
    {"E", [](TVDemo& d, TVDemoCommand& t) { SetIntParameter(d, t, &TVEffect::E); }},
    {"F", [](TVDemo& d, TVDemoCommand& t) { SetIntParameter(d, t, &TVEffect::F); }},
    {"G", [](TVDemo& d, TVDemoCommand& t) { SetIntParameter(d, t, &TVEffect::G); }},
    {"S", [](TVDemo& d, TVDemoCommand& t) { SetPercentParameter(d, t, &TVEffect::S); }},
    {"SS", [](TVDemo& d, TVDemoCommand& t) { SetPercentParameter(d, t, &TVEffect::SS); }},
    {"LOADMUSIC", [](TVDemo& d, TVDemoCommand& t) { d.LoadMusic(Token(t, 1)); }},
    {"BAR",
     [](TVDemo& d, TVDemoCommand& t) {
       d.Bars.emplace_back();
       d.Bars.back().Name = ParamText(t, 1);
       d.Bars.back().Line = CurrentScriptLocation().Line;
     }},
    {"MOUNT",
     [](TVDemo& d, TVDemoCommand& t) {
       if (TScriptBar* bar = LastBar(d, t)) bar->Mount = RowAddress(t);
     }},
    {"LENGTH",
     [](TVDemo& d, TVDemoCommand& t) {
       if (TScriptBar* bar = LastBar(d, t)) bar->Length = RowAddress(t);
     }},
    {"EFFECT",
     [](TVDemo& d, TVDemoCommand& t) {
       if (TScriptBar* bar = LastBar(d, t)) bar->Effect = TextToInt(Token(t, 1));
     }},
    {"INPUT", Input},
    {">>COLOR",
     [](TVDemo& d, TVDemoCommand& t) {
       if (TScriptBar* bar = LastBar(d, t)) ReadColor(t, bar->Color);
     }},
    {">>SINGLE",
     [](TVDemo& d, TVDemoCommand& t) {
       if (TScriptBar* bar = LastBar(d, t)) bar->Single = TextToFloat(Token(t, 1));
     }},
    {">>OFSET",
     [](TVDemo& d, TVDemoCommand& t) {
       if (TScriptBar* bar = LastBar(d, t)) bar->Offset = TextToFloat(Token(t, 1));
     }},
};

}  // namespace

std::vector<std::string> ScriptCommandWords() {
  std::vector<std::string> words;
  for (const Command& command : kCommands) words.emplace_back(command.word);
  return words;
}

void TVDemo::ExecuteCommand(TVDemoCommand& tokens) {
  if (tokens.empty()) return;
  // Every line of a script comes here: one lookup instead of a comparison per command.
  static const std::unordered_map<std::string_view, Handler> handlers = [] {
    std::unordered_map<std::string_view, Handler> table;
    for (const Command& command : kCommands) table.emplace(command.word, command.run);
    return table;
  }();
  const auto handler = handlers.find(tokens[0]);
  if (handler != handlers.end()) handler->second(*this, tokens);
}
