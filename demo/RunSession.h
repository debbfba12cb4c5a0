// A session the run loop calls around each frame (the authoring tools' edit session). A plain
// run has none: its time comes from the timer or the music and it ends at the end time.
#pragma once
#include "platform/KestoGL2.h"

#include <cstdint>
#include <vector>

class TVDemo;

class TRunSession {
 public:
  virtual ~TRunSession() = default;
  // Where the time comes from: sets demo.Time (and the spectrum) for this frame.
  virtual void UpdateTime(TVDemo& demo) = 0;
  // Before the frame is drawn; true when the frame stands still (it has no length).
  virtual bool BeforeFrame(TVDemo& demo) = 0;
  // After the frame is drawn at the row, before it is presented.
  virtual void AfterFrame(TVDemo& demo, int32_t row) = 0;
  // After the present, with the key-downs it took.
  virtual void AfterPresent(TVDemo& demo, const std::vector<TKeyPress>& keys) = 0;
};
