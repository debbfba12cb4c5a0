// A session the run loop calls around each frame (the authoring tools' edit session). A plain
// run has none: it ends at the end time.
#pragma once
#include "platform/KestoGL2.h"

#include <cstdint>
#include <vector>

class TVDemo;

class TRunSession {
 public:
  virtual ~TRunSession() = default;
  // After the clock read this frame's time, before anything is drawn: may move demo.Clock.
  virtual void BeforeFrame(TVDemo& demo) = 0;
  // After the frame is drawn at the row, before it is presented.
  virtual void AfterFrame(TVDemo& demo, int32_t row) = 0;
  // After the present, with the key-downs it took.
  virtual void AfterPresent(TVDemo& demo, const std::vector<TKeyPress>& keys) = 0;
};
