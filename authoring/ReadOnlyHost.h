// A read-only stand-in for the window, the music and the loading screen: tools that inspect a
// production without playing it (--check, --timeline) read its script through it.
#pragma once
#include "demo/ScriptHost.h"

class TReadOnlyHost : public TScriptHost {
 public:
  // keepReading: a line that would end the read (a failed conversion, a missing demotrack) is a
  // script error and the read goes on.
  explicit TReadOnlyHost(bool keepReading = true) : keepReading_(keepReading) {}

  // Notes INIT (a second one is still an error) and opens no window.
  void Init(TVDemo& demo) override;
  // Draws nothing.
  void DrawLoading(TVDemo& demo) override;
  // Keeps the music's name; no sound device is started and nothing is decoded.
  void LoadMusic(TVDemo& demo, const std::string& fileName) override;
  // A type that reads its files when created is represented by a base effect.
  std::unique_ptr<TVEffect> CreateEffect(const std::string& typeName,
                                         const TReadContext& files) override;
  // Nothing: the checker words its own messages.
  void Notice(const std::string& text) override;
  // As given to the constructor.
  bool KeepReading() const override { return keepReading_; }

 private:
  bool keepReading_;
};
