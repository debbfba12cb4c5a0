#include "platform/GlEntryPoints.h"
#include "platform/KestoGL2.h"

#include "platform/Dialogs.h"
#include "platform/FatalError.h"
#include "platform/RenderTarget.h"

#include <cstring>

TRenderWindow CurrentWindow;
bool FullscreenActive = false;
uint8_t KeyTable[256] = {};
uint64_t PresentedFrames = 0;

namespace {

void ShowWindowError(const char* text) { ShowErrorBox("Error", text); }

// Only the events the window acts on are queued; the rest (mouse motion above all) would only
// fill the queue that every present empties.
void IgnoreUnusedEvents() {
  const Uint32 ignored[] = {SDL_MOUSEMOTION, SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP,
                            SDL_MOUSEWHEEL,  SDL_FINGERDOWN,      SDL_FINGERUP,
                            SDL_FINGERMOTION, SDL_TEXTINPUT,      SDL_TEXTEDITING,
                            SDL_KEYMAPCHANGED, SDL_AUDIODEVICEADDED, SDL_AUDIODEVICEREMOVED};
  for (Uint32 type : ignored) SDL_EventState(type, SDL_IGNORE);
}

void SetPixelFormatAttributes(int32_t bits) {
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 1);
  const bool sixteen = bits == 16;
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, sixteen ? 5 : 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, sixteen ? 6 : 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, sixteen ? 5 : 8);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
}

}  // namespace

void LoadGLLibraries() {
  if (SDL_WasInit(SDL_INIT_VIDEO)) return;
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
    throw FatalError(std::string("Could not start the video system: ") + SDL_GetError());
}

TRenderWindow OpenRenderWindow(int32_t width, int32_t height, int32_t bits, bool fullscreen,
                               const std::string& title) {
  TRenderWindow window;
  window.Title = title;
  window.Width = width;
  window.Height = height;
  window.Bits = bits;
  FullscreenActive = fullscreen;
  SetPixelFormatAttributes(bits);

  const Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN;
  if (fullscreen) {
    window.Wnd = SDL_CreateWindow(title.c_str(), 0, 0, width, height,
                                  flags | SDL_WINDOW_FULLSCREEN);
    if (window.Wnd) {
      SDL_DisplayMode mode = {};
      mode.w = width;
      mode.h = height;
      SDL_DisplayMode closest = {};
      int display = SDL_GetWindowDisplayIndex(window.Wnd);
      const bool hasMode =
          SDL_GetClosestDisplayMode(display < 0 ? 0 : display, &mode, &closest) != nullptr &&
          closest.w == width && closest.h == height &&
          SDL_SetWindowDisplayMode(window.Wnd, &closest) == 0;
      // Without the mode the window covers the desktop in its own mode, the production scaled.
      // It is made anew at the desktop's size: without a window manager nobody resizes it.
      if (!hasMode) {
        SDL_DestroyWindow(window.Wnd);
        window.Wnd = nullptr;
        SDL_DisplayMode desktop = {};
        if (SDL_GetDesktopDisplayMode(display < 0 ? 0 : display, &desktop) == 0)
          window.Wnd = SDL_CreateWindow(title.c_str(), 0, 0, desktop.w, desktop.h,
                                        flags | SDL_WINDOW_FULLSCREEN_DESKTOP);
      }
    }
    if (window.Wnd) {
      SDL_ShowCursor(SDL_DISABLE);
    } else {
      ShowWindowError("Unable to switch to fullscreen!");
    }
  }
  if (!window.Wnd)
    window.Wnd = SDL_CreateWindow(title.c_str(), 0, 0, width, height, flags | SDL_WINDOW_RESIZABLE);
  if (!window.Wnd) {
    CloseRenderWindow(window, FullscreenActive);
    ShowWindowError("Unable to create window!");
    CurrentWindow = window;
    return window;
  }
  window.DC = window.Wnd;
  window.RC = SDL_GL_CreateContext(window.Wnd);
  if (!window.RC) {
    CloseRenderWindow(window, FullscreenActive);
    ShowWindowError("Unable to create an OpenGL rendering context");
    CurrentWindow = window;
    return window;
  }
  if (SDL_GL_MakeCurrent(window.Wnd, window.RC) != 0) {
    CloseRenderWindow(window, FullscreenActive);
    ShowWindowError("Unable to activate OpenGL rendering context");
    CurrentWindow = window;
    return window;
  }
  ResolveGlEntryPoints();
  // Frames are not limited: the loop draws as fast as it can.
  SDL_GL_SetSwapInterval(0);
  IgnoreUnusedEvents();
  SDL_RaiseWindow(window.Wnd);
  ResizeViewport(width, height);
  InitRenderState();
  CurrentWindow = window;
  // A window that did not get the production's size (the desktop's mode) shows it scaled.
  int drawableWidth = 0, drawableHeight = 0;
  SDL_GL_GetDrawableSize(window.Wnd, &drawableWidth, &drawableHeight);
  if (drawableWidth > 0 && drawableHeight > 0 &&
      (drawableWidth != width || drawableHeight != height))
    FitRenderTargetToWindow(drawableWidth, drawableHeight);
  return window;
}

void CloseRenderWindow(TRenderWindow& window, bool fullscreen) {
  if (fullscreen) SDL_ShowCursor(SDL_ENABLE);
  if (window.RC) {
    if (SDL_GL_GetCurrentContext() == window.RC) ResetRenderTarget();
    SDL_GL_MakeCurrent(window.Wnd, nullptr);
    SDL_GL_DeleteContext(window.RC);
    window.RC = nullptr;
  }
  window.DC = nullptr;
  if (window.Wnd) {
    SDL_DestroyWindow(window.Wnd);
    window.Wnd = nullptr;
  }
}

void LeaveFullscreen() {
  if (CurrentWindow.Wnd &&
      (SDL_GetWindowFlags(CurrentWindow.Wnd) & SDL_WINDOW_FULLSCREEN) == SDL_WINDOW_FULLSCREEN)
    SDL_SetWindowFullscreen(CurrentWindow.Wnd, 0);
}

void ResizeViewport(int32_t width, int32_t height) {
  if (height == 0) height = 1;
  SetViewportAndPerspective(width, height,
                            static_cast<double>(width) / static_cast<double>(height));
}

void SetViewportAndPerspective(int32_t width, int32_t height, double aspect) {
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, aspect, 1.0, 100000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void InitRenderState() {
  glClearColor(0.2f, 0.2f, 0.4f, 0.0f);
  glShadeModel(GL_SMOOTH);
  glClearDepth(1.0);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glTexGenf(GL_S, GL_TEXTURE_GEN_MODE, static_cast<GLfloat>(GL_SPHERE_MAP));
  glTexGenf(GL_T, GL_TEXTURE_GEN_MODE, static_cast<GLfloat>(GL_SPHERE_MAP));
}

bool PresentFrame(const TRenderWindow& window, std::vector<TKeyPress>* keyPresses) {
  if (window.Wnd && RenderTargetActive()) {
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(window.Wnd, &width, &height);
    PresentRenderTarget(width, height);
  }
  glFlush();
  bool closeRequested = false;
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    switch (event.type) {
      case SDL_QUIT:
        closeRequested = true;
        break;
      case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
          // Pixels, which on a high-density display are more than the window's units.
          int width = event.window.data1, height = event.window.data2;
          if (window.Wnd) SDL_GL_GetDrawableSize(window.Wnd, &width, &height);
          FitRenderTargetToWindow(width, height);
        }
        break;
      case SDL_KEYDOWN:
      case SDL_KEYUP:
        if (uint8_t vk = VirtualKeyFromSdl(event.key.keysym.sym))
          KeyTable[vk] = event.type == SDL_KEYDOWN ? 1 : 0;
        if (event.type == SDL_KEYDOWN && keyPresses)
          keyPresses->push_back({event.key.keysym.sym, event.key.keysym.mod, event.key.repeat != 0});
        break;
      default:
        break;
    }
  }
  if (window.Wnd) {
    SDL_GL_SwapWindow(window.Wnd);
    ++PresentedFrames;
  }
  return closeRequested;
}

int SetSwapSync(bool sync) {
  if (sync) {
    for (int interval : {-1, 1})
      if (SDL_GL_SetSwapInterval(interval) == 0) return interval;
  }
  SDL_GL_SetSwapInterval(0);
  return 0;
}

bool ReadFrameRGB(int32_t width, int32_t height, std::vector<uint8_t>& rgb) {
  if (width <= 0 || height <= 0) return false;
  const size_t row = static_cast<size_t>(width) * 3;
  GLint drawBuffer = GL_BACK;
  glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
  glReadBuffer(static_cast<GLenum>(drawBuffer));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  // Where the renderer can hand the rows over top first, they go straight into the result.
#ifdef GL_PACK_INVERT_MESA
  if (HasGLExtension("GL_MESA_pack_invert")) {
    rgb.resize(row * static_cast<size_t>(height));
    glPixelStorei(GL_PACK_INVERT_MESA, GL_TRUE);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    glPixelStorei(GL_PACK_INVERT_MESA, GL_FALSE);
    return glGetError() == GL_NO_ERROR;
  }
#endif
  std::vector<uint8_t> bottomUp(row * static_cast<size_t>(height));
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
  if (glGetError() != GL_NO_ERROR) return false;
  rgb.resize(bottomUp.size());
  for (int32_t y = 0; y < height; ++y)
    std::memcpy(&rgb[static_cast<size_t>(y) * row],
                &bottomUp[static_cast<size_t>(height - 1 - y) * row], row);
  return true;
}

uint8_t VirtualKeyFromSdl(SDL_Keycode key) {
  if (key >= SDLK_a && key <= SDLK_z) return static_cast<uint8_t>('A' + (key - SDLK_a));
  if (key >= SDLK_0 && key <= SDLK_9) return static_cast<uint8_t>('0' + (key - SDLK_0));
  if (key >= SDLK_F1 && key <= SDLK_F12) return static_cast<uint8_t>(0x70 + (key - SDLK_F1));
  switch (key) {
    case SDLK_BACKSPACE: return 0x08;
    case SDLK_TAB: return 0x09;
    case SDLK_RETURN: return 0x0D;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return 0x10;
    case SDLK_LCTRL: case SDLK_RCTRL: return 0x11;
    case SDLK_LALT: case SDLK_RALT: return 0x12;
    case SDLK_PAUSE: return 0x13;
    case SDLK_ESCAPE: return 0x1B;
    case SDLK_SPACE: return 0x20;
    case SDLK_PAGEUP: return 0x21;
    case SDLK_PAGEDOWN: return 0x22;
    case SDLK_END: return 0x23;
    case SDLK_HOME: return 0x24;
    case SDLK_LEFT: return 0x25;
    case SDLK_UP: return 0x26;
    case SDLK_RIGHT: return 0x27;
    case SDLK_DOWN: return 0x28;
    case SDLK_INSERT: return 0x2D;
    case SDLK_DELETE: return 0x2E;
    default: return 0;
  }
}

bool HasGLExtension(const char* name) {
  const char* list = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  if (!list) return false;
  const size_t length = std::strlen(name);
  for (const char* at = std::strstr(list, name); at; at = std::strstr(at + 1, name))
    if ((at == list || at[-1] == ' ') && (at[length] == ' ' || at[length] == 0)) return true;
  return false;
}
