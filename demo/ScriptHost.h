// What reading a script does outside the demo's own state: the window (INIT), the loading
// screen (DRAWLOADING), the music (LOADMUSIC) and the effects LOAD creates. The player's host
// opens them; a tool that only reads the script, or a reload, passes a stand-in.
#pragma once
#include "demo/ScriptParser.h"
#include "effects/VEffect.h"

#include <memory>
#include <string>
#include <vector>

class TVDemo;

class TScriptHost {
 public:
  virtual ~TScriptHost() = default;
  // The script's lines, before the first one runs (the demo's read context is the script's).
  virtual void BeforeRead(TVDemo& demo, const std::vector<std::string>& lines);
  // INIT.
  virtual void Init(TVDemo& demo) = 0;
  // DRAWLOADING.
  virtual void DrawLoading(TVDemo& demo) = 0;
  // LOADMUSIC.
  virtual void LoadMusic(TVDemo& demo, const std::string& fileName) = 0;
  // LOAD: a new effect of the type, or null when there is no such type; `files` resolves the
  // names of what it reads when created.
  virtual std::unique_ptr<TVEffect> CreateEffect(const std::string& typeName,
                                                 const TReadContext& files);
  // Each line's tokens before it runs.
  virtual void BeforeCommand(TVDemo& demo, const TVDemoCommand& tokens);
  // Each line's tokens after it ran (not after a line that failed).
  virtual void AfterCommand(TVDemo& demo, const TVDemoCommand& tokens);
  // True when a line that would end the read (a failed conversion, a missing demotrack) is a
  // script error and the read goes on.
  virtual bool KeepReading() const;
  // A remark on a line that does not stop the read (the player writes it to stderr, after the
  // line's "FILE:LINE: ").
  virtual void Notice(const std::string& text);
};

// The player's host: opens the window and the music and draws the loading screen.
TScriptHost& PlayerHost();
