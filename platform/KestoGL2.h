// The program's one window and its OpenGL rendering context (SDL2 window, compatibility
// context; libGL and libGLU are linked directly). The window is opened once by INIT and stays
// open until the process ends.
#pragma once
#include <GL/gl.h>
#include <GL/glu.h>
#include <SDL2/SDL.h>

#include <cstdint>
#include <string>
#include <vector>

// The window record. DC stands for the drawable: with SDL that is the window itself.
struct TRenderWindow {
  SDL_Window* Wnd = nullptr;    // the window; null when not created
  SDL_Window* DC = nullptr;     // the drawable the context renders to
  SDL_GLContext RC = nullptr;   // the OpenGL context
  std::string Title;            // window caption
  int32_t Width = 0;            // requested width in pixels
  int32_t Height = 0;           // requested height in pixels
  int32_t Bits = 0;             // requested colour depth in bits per pixel
};

// Copy of the last record returned by OpenRenderWindow; the 2D procedures read its size.
extern TRenderWindow CurrentWindow;
// The fullscreen flag as requested by the last open call.
extern bool FullscreenActive;
// 256 bytes by Windows virtual-key code, 1 while the key is down (written by PresentFrame).
extern uint8_t KeyTable[256];
// Buffer swaps done by PresentFrame since the process started (shows that frames were shown).
extern uint64_t PresentedFrames;

// One key-down event as the window received it (auto-repeats of a held key included).
struct TKeyPress {
  SDL_Keycode Key = SDLK_UNKNOWN;
  uint16_t Modifiers = 0;   // SDL's KMOD_ bits at the time of the press
  bool Repeat = false;      // an auto-repeat of a held key
};

// Brings up SDL's video subsystem. Throws FatalError when no video driver can be started.
void LoadGLLibraries();
// Opens the window and makes its context current. The record is returned (and stored in
// CurrentWindow) whether or not creation succeeded; failures show a box captioned "Error".
TRenderWindow OpenRenderWindow(int32_t width, int32_t height, int32_t bits, bool fullscreen,
                               const std::string& title);
// Releases context and window; every step is attempted and reports its own failure.
void CloseRenderWindow(TRenderWindow& window, bool fullscreen);
// Gives the desktop its display mode back when the window is fullscreen (called at exit).
void LeaveFullscreen();
// Sets the viewport and a 45-degree perspective projection; a height of 0 counts as 1.
void ResizeViewport(int32_t width, int32_t height);
// Sets the viewport to width x height and a 45-degree perspective projection of that aspect
// ratio; the modelview matrix is reset.
void SetViewportAndPerspective(int32_t width, int32_t height, double aspect);
// Sets the initial GL state (clear colour, smooth shading, depth test, sphere-map texgen mode).
void InitRenderState();
// Ends a frame: glFlush, every pending window event is handled, then the buffers are swapped,
// so however many events come (a held key's repeats) every call shows its frame. Key-down
// events are appended to keyPresses when given. True when the window was asked to close.
bool PresentFrame(const TRenderWindow& window, std::vector<TKeyPress>* keyPresses = nullptr);
// Syncs buffer swaps to the display: adaptive where the driver offers it, else every refresh,
// else (refused) not at all; off when sync is false. Returns the swap interval now in effect.
int SetSwapSync(bool sync);
// Reads the frame being drawn (before PresentFrame) as RGB rows, top row first.
bool ReadFrameRGB(int32_t width, int32_t height, std::vector<uint8_t>& rgb);
// Translates an SDL key to its Windows virtual-key code (0 when it has none).
uint8_t VirtualKeyFromSdl(SDL_Keycode key);
// True when the current context names the extension in its extension string.
bool HasGLExtension(const char* name);
