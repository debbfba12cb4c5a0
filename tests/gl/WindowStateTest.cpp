// The window's initial GL state and projection, on a real offscreen context.
#include "platform/KestoGL2.h"
#include "support/GlContext.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(RenderWindow, InitialStateAfterOpening) {
  const TRenderWindow& window = TestGlWindow();
  EXPECT_NE(window.Wnd, nullptr);
  EXPECT_EQ(CurrentWindow.Width, 800);
  EXPECT_EQ(CurrentWindow.Height, 600);
  EXPECT_EQ(CurrentWindow.Title, "vorpane test");
  InitRenderState();
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  GLint depthFunc = 0, shade = 0;
  glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
  glGetIntegerv(GL_SHADE_MODEL, &shade);
  EXPECT_EQ(depthFunc, GL_LEQUAL);
  EXPECT_EQ(shade, GL_SMOOTH);
  GLfloat clear[4];
  glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
  EXPECT_NEAR(clear[0], 0.2f, 1e-6);
  EXPECT_NEAR(clear[1], 0.2f, 1e-6);
  EXPECT_NEAR(clear[2], 0.4f, 1e-6);
  EXPECT_NEAR(clear[3], 0.0f, 1e-6);
  GLint genS = 0, genT = 0;
  glGetTexGeniv(GL_S, GL_TEXTURE_GEN_MODE, &genS);
  glGetTexGeniv(GL_T, GL_TEXTURE_GEN_MODE, &genT);
  EXPECT_EQ(genS, GL_SPHERE_MAP);
  EXPECT_EQ(genT, GL_SPHERE_MAP);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));  // the mode is set, generation is not enabled
  GLint hint = 0;
  glGetIntegerv(GL_PERSPECTIVE_CORRECTION_HINT, &hint);
  EXPECT_EQ(hint, GL_NICEST);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(RenderWindow, ResizeToZeroHeightGivesAFiniteProjection) {
  TestGlWindow();
  ResizeViewport(800, 0);
  GLfloat projection[16];
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  for (float v : projection) EXPECT_TRUE(std::isfinite(v));
  // Aspect 800 / 1: the x scale is the y scale divided by 800.
  EXPECT_NEAR(projection[0] * 800.0f, projection[5], 1e-3);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 800);
  EXPECT_EQ(viewport[3], 1);
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
  ResizeViewport(800, 600);
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  EXPECT_NEAR(projection[0] * 800.0f / 600.0f, projection[5], 1e-4);
}

TEST(RenderWindow, PresentTakesAPendingEventInsteadOfSwapping) {
  TestGlWindow();
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);  // what opening the window queued
  SDL_Event quit = {};
  quit.type = SDL_QUIT;
  ASSERT_EQ(SDL_PushEvent(&quit), 1);
  EXPECT_TRUE(PresentFrame(CurrentWindow));  // the close request is reported
  EXPECT_FALSE(PresentFrame(CurrentWindow)); // queue empty: swap
  SDL_Event key = {};
  key.type = SDL_KEYDOWN;
  key.key.keysym.sym = SDLK_ESCAPE;
  ASSERT_EQ(SDL_PushEvent(&key), 1);
  EXPECT_FALSE(PresentFrame(CurrentWindow));
  EXPECT_EQ(KeyTable[0x1B], 1);
  key.type = SDL_KEYUP;
  ASSERT_EQ(SDL_PushEvent(&key), 1);
  for (int i = 0; i < 10 && KeyTable[0x1B]; ++i) PresentFrame(CurrentWindow);
  EXPECT_EQ(KeyTable[0x1B], 0);
}
