// Linked into every test binary: before each test, the process-wide state goes back to that of
// a fresh process, so a test passes alone, in any order, and repeated. The GL test window is
// kept (one per process) and its context made current again.
#include "demo/ProcessState.h"
#include "platform/KestoBASS.h"
#include "support/GlContext.h"
#include "support/TestFrame.h"

#include <gtest/gtest.h>

namespace {

class ResetBeforeEachTest : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override {
    ResetProcessState();
    ResetTestFrame();
    if (!TestGlWindowOpened()) return;
    // A test may have opened a window of its own (INIT): draw into the test window again.
    const TRenderWindow& window = TestGlWindow();
    SDL_GL_MakeCurrent(window.Wnd, window.RC);
    CurrentWindow = window;
  }
  // The last test's music decodes are waited for, so no thread outlives the tests.
  void OnTestProgramEnd(const ::testing::UnitTest&) override { ResetAudio(); }
};

const bool registered = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new ResetBeforeEachTest);
  return true;
}();

}  // namespace
