#include "support/GlContext.h"

#include "platform/Dialogs.h"

#include <cstdlib>

namespace {

bool opened = false;

}  // namespace

bool TestGlWindowOpened() { return opened; }

const TRenderWindow& TestGlWindow() {
  static TRenderWindow window = [] {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    SetDialogsEnabled(false);
    LoadGLLibraries();
    TRenderWindow created = OpenRenderWindow(800, 600, 32, false, "vorpane test");
    if (!created.RC) std::abort();
    opened = true;
    return created;
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
