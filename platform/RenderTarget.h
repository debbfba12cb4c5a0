// Drawing the production at another size than its own. The production keeps its coordinate
// space (CurrentWindow's size for 2D, its own aspect for the 3D projection); only the pixels it
// lands on change. While a target is in use, frames go into an offscreen framebuffer (colour,
// depth 24, stencil 8) sized for the output, times a supersampling factor. Without one, frames
// go into the window as they always did.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// How a production fills an output of another aspect ratio.
enum class TFitMode {
  Pad,      // scaled to fit whole, centred, black bars at the sides or above and below
  Stretch,  // scaled to the whole output, each axis on its own
};

// A rectangle in output pixels, x from the left, y from the top.
struct TPlacement {
  int32_t X = 0, Y = 0, Width = 0, Height = 0;
};

// Where a picture of contentWidth x contentHeight goes in an output of outputWidth x
// outputHeight. Pad keeps the aspect ratio (each side at least 1 pixel) and centres it.
TPlacement FitPlacement(int32_t contentWidth, int32_t contentHeight, int32_t outputWidth,
                        int32_t outputHeight, TFitMode fit);

struct TRenderTargetDesc {
  int32_t OutputWidth = 0;      // the picture delivered, in pixels
  int32_t OutputHeight = 0;
  TFitMode Fit = TFitMode::Pad;
  int32_t Supersample = 1;      // frames drawn at this many times the output size (1..4)
  bool FollowsWindow = false;   // presented into the window, and resized with it
};

// The largest side a target framebuffer may have (also what the command line accepts).
constexpr int32_t kMaxTargetSide = 16384;

// Starts drawing into an offscreen framebuffer of the size desc asks for (the production's
// size is CurrentWindow's); sets the viewport and the production's projection, and scales line width
// and point size. Needs a current context. False (and `error` says why) when the sizes are out
// of range or the framebuffer cannot be made; frames then still go where they went.
bool UseRenderTarget(const TRenderTargetDesc& desc, std::string& error);
// Back to drawing into the window at the production's size (nothing when no target is in use).
void ReleaseRenderTarget();
// Forgets the target and the settings (process state reset, window closing). When a context is
// current its framebuffer is deleted and the window's viewport, projection, line width and point
// size are set as at opening.
void ResetRenderTarget();
// True while frames go into an offscreen framebuffer.
bool RenderTargetActive();
// What the target in use was made for (meaningful while RenderTargetActive).
const TRenderTargetDesc& RenderTargetDesc();
// The size frames are drawn at: the target's framebuffer, else the production's.
int32_t RenderWidth();
int32_t RenderHeight();
// Target pixels per production pixel, horizontally and vertically (1 without a target).
float RenderScaleX();
float RenderScaleY();
// Sets the width of lines drawn after it, in production pixels (scaled to the target).
void SetLineWidth(float width);
// Sets the size of points drawn after it, in production pixels (scaled to the target).
void SetPointSize(float size);

// The window's drawable changed size: a window-following target is refitted, or dropped when
// the window is the production's size again (the viewport is then set as at opening). A fixed
// target (a capture's) is kept.
void FitRenderTargetToWindow(int32_t width, int32_t height);
// Window size changes leave the size of the frames alone (on in captures and benchmarks).
void KeepRenderSize(bool keep);
// Copies a window-following target's frame into the window's back buffer, black around it;
// nothing otherwise. Called before the buffers are swapped.
void PresentRenderTarget(int32_t windowWidth, int32_t windowHeight);

// Reads the frame drawn so far as RGB rows, top row first, filtered down to the output's scale
// (a supersampled frame's N x N pixels averaged): the content that goes into the placement.
bool ReadContentRGB(std::vector<uint8_t>& rgb, int32_t& width, int32_t& height);
// Turns content read by ReadContentRGB into the output picture, in place: placed as the
// target was made for, black around it. Without a target the content is the output.
void ComposeOutputRGB(std::vector<uint8_t>& picture, int32_t& width, int32_t& height);
