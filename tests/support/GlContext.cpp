#include "support/GlContext.h"

#include "platform/Dialogs.h"

#include <cstdlib>

const TRenderWindow& TestGlWindow() {
  static TRenderWindow window = [] {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    SetDialogsEnabled(false);
    LoadGLLibraries();
    TRenderWindow opened = OpenRenderWindow(800, 600, 32, false, "vorpane test");
    if (!opened.RC) std::abort();
    return opened;
  }();
  return window;
}

TPixel ReadTestPixel(int32_t x, int32_t y) {
  TPixel pixel = {0, 0, 0, 0};
  GLint drawBuffer = GL_BACK;
  glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
  glReadBuffer(static_cast<GLenum>(drawBuffer));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, &pixel);
  return pixel;
}
