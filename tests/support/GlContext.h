// One real OpenGL context per test process (SDL's offscreen driver under ctest): the window
// record is opened once at the requested size and kept until the process ends.
#pragma once
#include "platform/KestoGL2.h"

#include <cstdint>
#include <vector>

// True once TestGlWindow has opened the window.
bool TestGlWindowOpened();
// Opens (once) an 800x600 32-bit window with its context current and returns its record.
const TRenderWindow& TestGlWindow();
// The RGBA value of one pixel of the frame being drawn; (0, 0) is the lower left corner.
struct TPixel {
  uint8_t r, g, b, a;
};
TPixel ReadTestPixel(int32_t x, int32_t y);
// The whole 800 x 600 frame being drawn as RGBA bytes, bottom row first.
std::vector<uint8_t> ReadTestFrame();
