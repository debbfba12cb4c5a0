#include "support/GlContext.h"

#include "platform/Dialogs.h"
#include "support/TestSystem.h"

#include <cstdlib>

namespace {

bool opened = false;

}  // namespace

bool TestGlWindowOpened() { return opened; }

const TRenderWindow& TestGlWindow() {
  static TRenderWindow window = [] {
    SetEnvironment("SDL_VIDEODRIVER", "offscreen", false);
    SetDialogsEnabled(false);
    LoadGLLibraries();
    TRenderWindow created = OpenRenderWindow(800, 600, 32, false, "vorpane test");
    if (!created.RC) std::abort();
    opened = true;
    return created;
  }();
  return window;
}

namespace {

// RGBA bytes of a rectangle of the buffer being drawn (the back buffer, or the only one).
void ReadDrawBuffer(int32_t x, int32_t y, int32_t width, int32_t height, void* rgba) {
  GLint drawBuffer = GL_BACK;
  glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
  glReadBuffer(static_cast<GLenum>(drawBuffer));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
}

}  // namespace

TPixel ReadTestPixel(int32_t x, int32_t y) {
  TPixel pixel = {0, 0, 0, 0};
  ReadDrawBuffer(x, y, 1, 1, &pixel);
  return pixel;
}

std::vector<uint8_t> ReadTestFrame() {
  std::vector<uint8_t> rgba(static_cast<size_t>(800) * 600 * 4);
  ReadDrawBuffer(0, 0, 800, 600, rgba.data());
  return rgba;
}
