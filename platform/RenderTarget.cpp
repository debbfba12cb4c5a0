// Framebuffer objects (OpenGL 3.0) come through GlEntryPoints.h.
#include "platform/GlEntryPoints.h"
#include "platform/RenderTarget.h"

#include "platform/FramePixels.h"
#include "platform/KestoGL2.h"

#include <algorithm>
#include <cmath>

namespace {

struct TTargetState {
  bool Active = false;
  bool KeepSize = false;
  TRenderTargetDesc Desc;
  TPlacement Placement;          // where the content goes in the output
  GLuint Framebuffer = 0, Colour = 0, DepthStencil = 0;
  int32_t Width = 0, Height = 0; // the framebuffer's size
  float LineWidth = 1.0f, PointSize = 1.0f;  // in production pixels
  std::vector<uint8_t> Supersampled;         // the last supersampled frame read
  std::vector<uint8_t> Composed;             // the buffer ComposeOutputRGB swaps in
};

TTargetState Target;

void DeleteObjects(GLuint& framebuffer, GLuint& colour, GLuint& depthStencil) {
  if (framebuffer) glDeleteFramebuffers(1, &framebuffer);
  if (colour) glDeleteRenderbuffers(1, &colour);
  if (depthStencil) glDeleteRenderbuffers(1, &depthStencil);
  framebuffer = colour = depthStencil = 0;
}

// The production's projection on the whole framebuffer: as the window had it at opening.
void ApplyTargetViewport() {
  const int32_t height = CurrentWindow.Height > 0 ? CurrentWindow.Height : 1;
  SetViewportAndPerspective(Target.Width, Target.Height,
                            static_cast<double>(CurrentWindow.Width) / static_cast<double>(height));
}

void ApplyLineAndPointSize() {
  glLineWidth(Target.LineWidth * RenderScaleY());
  glPointSize(Target.PointSize * RenderScaleY());
}

// A fresh framebuffer starts black, with depth and stencil cleared, whatever the clear state.
void ClearNewFramebuffer() {
  glPushAttrib(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT |
               GL_SCISSOR_BIT);
  glDisable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glDepthMask(GL_TRUE);
  glStencilMask(~0u);
  glClearColor(0, 0, 0, 1);
  glClearDepth(1.0);
  glClearStencil(0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  glPopAttrib();
}

}  // namespace

TPlacement FitPlacement(int32_t contentWidth, int32_t contentHeight, int32_t outputWidth,
                        int32_t outputHeight, TFitMode fit) {
  TPlacement placement{0, 0, outputWidth, outputHeight};
  if (fit == TFitMode::Stretch || contentWidth <= 0 || contentHeight <= 0) return placement;
  // The whole picture at the largest scale that fits; the other side centred.
  const int64_t wideCross = static_cast<int64_t>(outputWidth) * contentHeight;
  const int64_t tallCross = static_cast<int64_t>(outputHeight) * contentWidth;
  if (wideCross > tallCross) {
    placement.Width = static_cast<int32_t>(
        std::max<int64_t>(1, (tallCross + contentHeight / 2) / contentHeight));
  } else if (wideCross < tallCross) {
    placement.Height = static_cast<int32_t>(
        std::max<int64_t>(1, (wideCross + contentWidth / 2) / contentWidth));
  }
  placement.X = (outputWidth - placement.Width) / 2;
  placement.Y = (outputHeight - placement.Height) / 2;
  return placement;
}

bool UseRenderTarget(const TRenderTargetDesc& desc, std::string& error) {
  const int32_t n = desc.Supersample;
  if (CurrentWindow.Width <= 0 || CurrentWindow.Height <= 0) {
    error = "there is no production size to scale";
    return false;
  }
  if (desc.OutputWidth < 1 || desc.OutputHeight < 1 || desc.OutputWidth > kMaxTargetSide ||
      desc.OutputHeight > kMaxTargetSide || n < 1 || n > 4) {
    error = "the output size or supersampling factor is out of range";
    return false;
  }
  const TPlacement placement = FitPlacement(CurrentWindow.Width, CurrentWindow.Height,
                                            desc.OutputWidth, desc.OutputHeight, desc.Fit);
  const int32_t width = placement.Width * n, height = placement.Height * n;
  GLint maxRenderbuffer = 0, maxViewport[2] = {0, 0};
  glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxRenderbuffer);
  glGetIntegerv(GL_MAX_VIEWPORT_DIMS, maxViewport);
  if (width > maxRenderbuffer || height > maxRenderbuffer || width > maxViewport[0] ||
      height > maxViewport[1]) {
    error = std::to_string(width) + "x" + std::to_string(height) +
            " is larger than the renderer can draw (" + std::to_string(maxRenderbuffer) +
            " pixels a side)";
    return false;
  }
  // Errors left by earlier drawing are not this framebuffer's.
  for (int pending = 0; pending < 16 && glGetError() != GL_NO_ERROR; ++pending) {
  }
  GLuint framebuffer = 0, colour = 0, depthStencil = 0;
  glGenFramebuffers(1, &framebuffer);
  glGenRenderbuffers(1, &colour);
  glGenRenderbuffers(1, &depthStencil);
  // The window's colour depth; no alpha channel, as the window has none.
  glBindRenderbuffer(GL_RENDERBUFFER, colour);
  glRenderbufferStorage(GL_RENDERBUFFER, CurrentWindow.Bits == 16 ? GL_RGB565 : GL_RGB8, width,
                        height);
  glBindRenderbuffer(GL_RENDERBUFFER, depthStencil);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
  glBindRenderbuffer(GL_RENDERBUFFER, 0);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                            depthStencil);
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE ||
      glGetError() != GL_NO_ERROR) {
    glBindFramebuffer(GL_FRAMEBUFFER, Target.Framebuffer);
    DeleteObjects(framebuffer, colour, depthStencil);
    error = "the renderer cannot make a " + std::to_string(width) + "x" +
            std::to_string(height) + " framebuffer";
    return false;
  }
  DeleteObjects(Target.Framebuffer, Target.Colour, Target.DepthStencil);
  Target.Active = true;
  Target.Desc = desc;
  Target.Placement = placement;
  Target.Framebuffer = framebuffer;
  Target.Colour = colour;
  Target.DepthStencil = depthStencil;
  Target.Width = width;
  Target.Height = height;
  ClearNewFramebuffer();
  ApplyTargetViewport();
  ApplyLineAndPointSize();
  return true;
}

void ReleaseRenderTarget() {
  if (!Target.Active) return;
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  DeleteObjects(Target.Framebuffer, Target.Colour, Target.DepthStencil);
  Target.Active = false;
  Target.Width = Target.Height = 0;
  ResizeViewport(CurrentWindow.Width, CurrentWindow.Height);
  ApplyLineAndPointSize();
}

void ResetRenderTarget() {
  if (Target.Active && SDL_GL_GetCurrentContext()) {
    Target.LineWidth = Target.PointSize = 1.0f;
    ReleaseRenderTarget();
  }
  Target = TTargetState();
}

bool RenderTargetActive() { return Target.Active; }

const TRenderTargetDesc& RenderTargetDesc() { return Target.Desc; }

int32_t RenderWidth() { return Target.Active ? Target.Width : CurrentWindow.Width; }

int32_t RenderHeight() { return Target.Active ? Target.Height : CurrentWindow.Height; }

float RenderScaleX() {
  if (!Target.Active || CurrentWindow.Width <= 0) return 1.0f;
  return static_cast<float>(Target.Width) / static_cast<float>(CurrentWindow.Width);
}

float RenderScaleY() {
  if (!Target.Active || CurrentWindow.Height <= 0) return 1.0f;
  return static_cast<float>(Target.Height) / static_cast<float>(CurrentWindow.Height);
}

void SetLineWidth(float width) {
  Target.LineWidth = width;
  glLineWidth(width * RenderScaleY());
}

void SetPointSize(float size) {
  Target.PointSize = size;
  glPointSize(size * RenderScaleY());
}

void KeepRenderSize(bool keep) { Target.KeepSize = keep; }

void FitRenderTargetToWindow(int32_t width, int32_t height) {
  if (Target.KeepSize || (Target.Active && !Target.Desc.FollowsWindow)) return;
  if (width == CurrentWindow.Width && height == CurrentWindow.Height) {
    if (Target.Active) ReleaseRenderTarget();
    else ResizeViewport(width, height);
    return;
  }
  TRenderTargetDesc desc;
  desc.OutputWidth = width;
  desc.OutputHeight = height;
  desc.FollowsWindow = true;
  std::string error;
  if (Target.Active && Target.Desc.OutputWidth == width && Target.Desc.OutputHeight == height)
    return;
  // A window the renderer cannot fill with a framebuffer gets the production stretched over it.
  if (!UseRenderTarget(desc, error)) {
    ReleaseRenderTarget();
    ResizeViewport(width, height);
  }
}

void PresentRenderTarget(int32_t windowWidth, int32_t windowHeight) {
  if (!Target.Active || !Target.Desc.FollowsWindow) return;
  const TPlacement& p = Target.Placement;
  glBindFramebuffer(GL_READ_FRAMEBUFFER, Target.Framebuffer);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  // The scissor box applies to the clear and the copy alike; the frame's state is left alone.
  glPushAttrib(GL_COLOR_BUFFER_BIT | GL_SCISSOR_BIT);
  glDisable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  // The placement is for the output size; a window that has just changed keeps it centred.
  const int32_t left = p.X + (windowWidth - Target.Desc.OutputWidth) / 2;
  const int32_t bottom =
      windowHeight - (p.Y + p.Height) - (windowHeight - Target.Desc.OutputHeight) / 2;
  const bool sameSize = p.Width == Target.Width && p.Height == Target.Height;
  glBlitFramebuffer(0, 0, Target.Width, Target.Height, left, bottom, left + p.Width,
                    bottom + p.Height, GL_COLOR_BUFFER_BIT, sameSize ? GL_NEAREST : GL_LINEAR);
  glPopAttrib();
  glBindFramebuffer(GL_FRAMEBUFFER, Target.Framebuffer);
}

bool ReadContentRGB(std::vector<uint8_t>& rgb, int32_t& width, int32_t& height) {
  if (!Target.Active) {
    width = CurrentWindow.Width;
    height = CurrentWindow.Height;
    return ReadFrameRGB(width, height, rgb);
  }
  const int32_t n = Target.Desc.Supersample;
  width = Target.Placement.Width;
  height = Target.Placement.Height;
  if (n <= 1) return ReadFrameRGB(width, height, rgb);
  if (!ReadFrameRGB(Target.Width, Target.Height, Target.Supersampled)) return false;
  BoxFilterRGB(Target.Supersampled.data(), width, height, n, rgb);
  return true;
}

void ComposeOutputRGB(std::vector<uint8_t>& picture, int32_t& width, int32_t& height) {
  if (!Target.Active) return;
  const TPlacement& p = Target.Placement;
  const TRenderTargetDesc& desc = Target.Desc;
  if (p.Width == desc.OutputWidth && p.Height == desc.OutputHeight) return;
  if (width != p.Width || height != p.Height) return;  // not this target's content
  PlaceRGB(picture.data(), width, height, p.X, p.Y, desc.OutputWidth, desc.OutputHeight,
           Target.Composed);
  picture.swap(Target.Composed);  // frame after frame the two buffers are reused
  width = desc.OutputWidth;
  height = desc.OutputHeight;
}
