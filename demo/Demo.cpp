// The demo object: defaults, script reading, start-up commands (INIT, DRAWLOADING, LOAD,
// TRACKER, BPM, LOADMUSIC) and the effect slots.
#include "demo/Vorpane.h"

#include "demo/Capture.h"
#include "demo/MusicPrefetch.h"
#include "demo/ScriptHost.h"

#include "effects/BitmapFont.h"
#include "effects/Draw2D.h"
#include "effects/EffectFactory.h"
#include "engine/KGL2Textures.h"
#include "platform/FatalError.h"
#include "platform/Files.h"
#include "platform/KestoBASS.h"
#include "platform/KestoInput.h"
#include "platform/RenderTarget.h"
#include "platform/Text.h"
#include "platform/Version.h"

#include <cstdio>

namespace {

// Splits text into lines at CR LF, CR or LF; a final terminator does not start another line.
// A UTF-8 byte-order mark, which some editors write first, is no part of the first line.
std::vector<std::string> SplitLines(const std::vector<uint8_t>& bytes) {
  std::vector<std::string> lines;
  std::string line;
  const size_t first =
      bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
  for (size_t i = first; i < bytes.size(); ++i) {
    const char c = static_cast<char>(bytes[i]);
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// The player: the window, the loading screen and the music are opened as the script says.
class TPlayerHost : public TScriptHost {
 public:
  void BeforeRead(TVDemo& demo, const std::vector<std::string>& lines) override {
    PrefetchScriptMusic(demo.ReadContext, lines);
  }
  void Init(TVDemo& demo) override {
    if (demo.FirstInit()) demo.OpenWindow();
  }
  void DrawLoading(TVDemo& demo) override { demo.DrawLoadingScreen(); }
  void LoadMusic(TVDemo& demo, const std::string& fileName) override {
    demo.MusicFile = fileName;
    const uint32_t music = demo.OpenMusic(fileName);
    demo.MusicFailed = music == 0;
    // Without a stream the demo runs on the timer rather than on the position of no music.
    if (music == 0) return;
    demo.Music = music;
    demo.MusicLoaded = true;
  }
};

}  // namespace

TVDemo::TVDemo(const std::string& fileName, const TDemoOptions& options)
    : options_(ResolveDemoOptions(options)), startFolder_(CurrentDirectory()) {
  const int picturesFailedBefore = PictureLoadFailureCount();
  LoadScript(fileName, PlayerHost());
  LoadEffects();
  picturesFailed_ = PictureLoadFailureCount() - picturesFailedBefore;
  // The font needs the rendering context, which only INIT creates.
  if (Window.RC) Font = BuildBitmapFont(kPlayerFontFace, kPlayerFontHeight, kPlayerFontBold);
  // Fixed-step runs (capture, benchmark) do not play the music: they read it at their own time.
  if (MusicLoaded && !options_.FixedStep) {
    PlayStream(Music);
    SetStreamPosition(Music, PlayStartTime());
    SetStreamSpeed(Music, Speed);
    Clock.FollowMusic(Music);
  }
  Clock.Start(PlayStartTime(), Speed);
}

TVDemo::TVDemo(const std::string& fileName, TScriptHost& host)
    : options_(ResolveDemoOptions(TDemoOptions())), startFolder_(CurrentDirectory()) {
  LoadScript(fileName, host);
}

TVDemo::~TVDemo() = default;

TScriptHost& PlayerHost() {
  static TPlayerHost host;
  return host;
}

void TScriptHost::BeforeRead(TVDemo&, const std::vector<std::string>&) {}

std::unique_ptr<TVEffect> TScriptHost::CreateEffect(const std::string& typeName,
                                                   const TReadContext& files) {
  return ::CreateEffect(typeName, files);
}

void TScriptHost::BeforeCommand(TVDemo&, const TVDemoCommand&) {}

void TScriptHost::AfterCommand(TVDemo&, const TVDemoCommand&) {}

bool TScriptHost::KeepReading() const { return false; }

void TScriptHost::Notice(const std::string& text) {
  const std::string where = ScriptLocationText(CurrentScriptLocation());
  std::fprintf(stderr, "%s%s\n", where.empty() ? "" : (where + ": ").c_str(), text.c_str());
}

std::string TVDemo::ScriptPath() const {
  if (ScriptFile.empty() || IsAbsoluteName(ScriptFile) || startFolder_.empty()) return ScriptFile;
  return startFolder_ + "/" + ScriptFile;
}

float TVDemo::PlayStartTime() const {
  return options_.HasStart && !options_.FixedStep ? options_.Start : StartTime;
}

void TVDemo::LoadScript(const std::string& fileName, TScriptHost& host) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(fileName, bytes))
    throw FatalError("Cannot open file " + PrintableText(fileName + NotFoundNote(fileName)));
  std::vector<std::string> lines = SplitLines(bytes);
  // Names in a script resolve against its own folder, where productions are made and played;
  // DATADIR moves on from there. The process stays in the folder it started in.
  const std::string folder = FolderOf(fileName);
  TReadContext files;
  if (!folder.empty() && !files.EnterFolder(folder))
    throw FatalError("Cannot enter the script's folder " + PrintableText(folder));
  ReadContext = files;
  // The host serves the commands of this read only.
  struct THostScope {
    TScriptHost*& Slot;
    ~THostScope() { Slot = nullptr; }
  } scope{host_};
  host_ = &host;
  host.BeforeRead(*this, lines);
  ScriptFile = fileName;
  TParser parser;
  EffectSlots.clear();
  EffectSlotLines.clear();
  SlotTypes.clear();
  // Substitution shares one budget over the whole read; once it is spent, the remaining lines
  // are read as written.
  TMacroBudget macroBudget = TMacroBudget::ForScript(bytes.size());
  const uint64_t macroWork = macroBudget.Left;
  bool macrosStopped = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    SetScriptLocation({fileName, static_cast<int>(i + 1)});
    std::string& line = lines[i];
    const TMacroResult substituted =
        macrosStopped ? TMacroResult::Substituted
                      : ApplyMacros(line, MacroNames, MacroValues, &MacroIndex, macroBudget);
    if (substituted == TMacroResult::LineTooLong)
      ScriptError("Line " + std::to_string(i + 1) + " would grow past " +
                  std::to_string(kMaxSubstitutedLine >> 20) +
                  " MiB by macro substitution; it is read as written");
    if (substituted == TMacroResult::OverBudget) {
      macrosStopped = true;
      ScriptError("Line " + std::to_string(i + 1) + ": macro substitution has done the work a " +
                  "script of this size may cost (" + std::to_string(macroWork >> 20) +
                  " MiB of text searched and copied); this line and the rest are read as written");
    }
    ParseLine(parser, line);
    host.BeforeCommand(*this, parser.Tokens);
    try {
      ExecuteCommand(parser.Tokens);
    } catch (FatalError& error) {
      if (!host.KeepReading()) {
        error.Where = ScriptLocationText(CurrentScriptLocation());
        throw;
      }
      ScriptError(error.what());
      continue;
    }
    host.AfterCommand(*this, parser.Tokens);
  }
  // Errors raised later belong to no line unless their raiser names one.
  SetScriptLocation({fileName, 0});
  FinishTracks(Tracks, ReadContext);
}

std::string TVDemo::ComposeTitle() const {
  // "DEMO by GROUP :: PARTY YEAR :: VERSION :: engine", without the parts the script left out.
  const auto joined = [](const std::string& first, const char* between, const std::string& second) {
    if (first.empty() || second.empty()) return first + second;
    return first + between + second;
  };
  std::string title = DemoName;
  if (!GroupName.empty()) title += (title.empty() ? "by " : " by ") + GroupName;
  title = joined(title, " :: ", joined(PartyName, " ", Year));
  title = joined(title, " :: ", Version);
  return joined(title, " :: ", std::string("Vorpane Demoengine ") + VorpaneVersion());
}

void TVDemo::Notice(const std::string& text) { (host_ ? *host_ : PlayerHost()).Notice(text); }

void TVDemo::Init() { (host_ ? *host_ : PlayerHost()).Init(*this); }

void TVDemo::DrawLoading(float /*value*/) { (host_ ? *host_ : PlayerHost()).DrawLoading(*this); }

void TVDemo::LoadMusic(const std::string& fileName) {
  (host_ ? *host_ : PlayerHost()).LoadMusic(*this, fileName);
}

bool TVDemo::FirstInit() {
  // A second window would replace the first (and its context, textures and font) while
  // everything loaded so far still refers to the first.
  if (initDone_) {
    ScriptError("INIT is given a second time; the window is already open and stays as it is");
    return false;
  }
  initDone_ = true;
  return true;
}

void TVDemo::OpenWindow() {
  LoadGLLibraries();
  bool fullscreen = Fullscreen;
  if (options_.WindowMode == 1) fullscreen = false;
  if (options_.WindowMode == 2) fullscreen = true;
  KeepRenderSize(options_.FixedStep);
  Window = OpenRenderWindow(ResolutionX, ResolutionY, ColorDepth, fullscreen, ComposeTitle());
  UseOutputSize();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  PresentFrame(Window);
  InitKeyboard(Window, Exclusive);
  LoadingTexture = TextureByName(LoadingScreen, ReadContext);
}

void TVDemo::DrawLoadingScreen() {
  // A single-buffered context (offscreen) keeps what was drawn across presents, so drawing the
  // same picture again would only cost the renderer's time while the rest loads.
  GLboolean doubleBuffered = GL_TRUE;
  glGetBooleanv(GL_DOUBLEBUFFER, &doubleBuffered);
  for (int i = 0; i < 51; ++i) {
    if (i > 0 && !doubleBuffered) {
      PresentFrame(Window);
      continue;
    }
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    PushCenterView();
    DrawTexturedQuad(LoadingTexture, 144, 44, 512, 512);
    PopView();
    PresentFrame(Window);
  }
}

void TVDemo::LoadEffect(const std::string& typeName, int32_t slot) {
  if (slot < 0 || slot > kMaxEffectSlot) {
    ScriptError("LOAD " + typeName + " into slot " + std::to_string(slot) +
                ": slot numbers go from 0 to " + std::to_string(kMaxEffectSlot));
    return;
  }
  std::unique_ptr<TVEffect> effect =
      (host_ ? *host_ : PlayerHost()).CreateEffect(typeName, ReadContext);
  if (!effect) ScriptError("No such effect in demo: " + typeName);
  TVEffect* installed = effect.get();
  if (effect) OwnedEffects.push_back(std::move(effect));
  InstallEffect(installed, slot);
  EffectSlotLines.resize(EffectSlots.size(), 0);
  EffectSlotLines[static_cast<size_t>(slot)] = CurrentScriptLocation().Line;
  if (SlotTypes.size() < EffectSlots.size()) SlotTypes.resize(EffectSlots.size());
  SlotTypes[static_cast<size_t>(slot)] = installed ? typeName : "";
  CurrentSlot = slot;
  // The tracks the slot's earlier effect followed are not the new effect's.
  std::vector<TParameterTrack>& tracked = Tracks.Parameters;
  tracked.erase(std::remove_if(tracked.begin(), tracked.end(),
                               [slot](const TParameterTrack& p) { return p.Slot == slot; }),
                tracked.end());
}

void TVDemo::InstallEffect(TVEffect* effect, int32_t slot) {
  if (slot < 0 || slot > kMaxEffectSlot) return;
  const size_t index = static_cast<size_t>(slot);
  if (index >= EffectSlots.size()) EffectSlots.resize(index + 1, nullptr);
  EffectSlots[index] = effect;
  if (effect) effect->Index = slot;
}

void TVDemo::LoadEffects() {
  // Parameters that follow tracks load with their values at the production's start (what a
  // particle count or a model's scale is made with); frames set them again.
  const double startRow = Tracks.RowAt(StartTime, Tracker ? Tracker->BPM : 0.0f);
  // Each effect's errors belong to the LOAD line that filled its slot.
  for (size_t slot = 0; slot < EffectSlots.size(); ++slot) {
    if (!EffectSlots[slot]) continue;
    const int32_t line = slot < EffectSlotLines.size() ? EffectSlotLines[slot] : 0;
    SetScriptLocation({ScriptFile, line});
    ApplyEffectTracks(Tracks, static_cast<int32_t>(slot), startRow, *EffectSlots[slot]);
    EffectSlots[slot]->Load(ReadContext);
    if (EffectSlots[slot]->EndsRun) QuitRequested = true;
  }
  SetScriptLocation({ScriptFile, 0});
}

uint32_t TVDemo::OpenMusic(const std::string& fileName) {
  if (!options_.FixedStep) InitAudio(Window.Wnd);
  std::string reason;
  const uint32_t music = OpenStream(fileName, &reason, ReadContext);
  if (music == 0)
    ReadContext.Error("Cannot load music " + fileName + ": " + reason +
                      ReadContext.NotFoundNote(fileName));
  return music;
}

void TVDemo::CreateTracker(const std::string& fileName) {
  OwnedTrackers.push_back(std::make_unique<TDemoTracker>());
  Tracker = OwnedTrackers.back().get();
  if (!fileName.empty()) Tracker->LoadTrackerFile(fileName, ReadContext);
}

void TVDemo::SetBpm(float bpm) {
  if (!Tracker) {
    ScriptError("BPM needs a TRACKER before it");
    return;
  }
  Tracker->SetBpm(bpm);
}
