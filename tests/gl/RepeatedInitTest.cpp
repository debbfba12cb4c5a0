// INIT opens the one window of a run; a second INIT is a script error and changes nothing (it
// used to open another window and leave the first, its context and its font behind).
#include "demo/Vorpane.h"
#include "platform/Dialogs.h"
#include "support/GlContext.h"
#include "support/ScriptDemo.h"

#include <gtest/gtest.h>

TEST(DemoStartUp, ASecondInitIsAScriptErrorAndKeepsTheFirstWindow) {
  TestGlWindow();
  auto demo = DemoFromScript(
      "RESOLUTIONX 320\nRESOLUTIONY 200\nINIT\nRESOLUTIONX 640\nRESOLUTIONY 480\nINIT\n");
  EXPECT_EQ(ErrorBoxCount(), 1);
  EXPECT_NE(LastErrorBoxText().find("INIT is given a second time"), std::string::npos)
      << LastErrorBoxText();
  ASSERT_NE(demo->Window.Wnd, nullptr);
  EXPECT_EQ(demo->Window.Width, 320);
  EXPECT_EQ(demo->Window.Height, 200);
  EXPECT_EQ(CurrentWindow.Wnd, demo->Window.Wnd);
  int width = 0, height = 0;
  SDL_GetWindowSize(demo->Window.Wnd, &width, &height);
  EXPECT_EQ(width, 320);
  EXPECT_EQ(height, 200);
  EXPECT_NE(demo->Font, 0u);
  CloseRenderWindow(demo->Window, false);
}
