#include "effects/LineDistortion.h"

#include "effects/Draw2D.h"
#include "engine/KGL2Materials.h"

#include <GL/gl.h>

#include <cmath>

namespace {

constexpr int kBarCount = 31;
constexpr float kBarWidth = 5.0f;
constexpr float kBarHeight = 600.0f;

}  // namespace

float LineBarX(int bar, float barTime) {
  const long double phase = static_cast<long double>(40 * bar) + 0.1L * barTime;
  return static_cast<float>(550.0L + 140.0L * sinl(phase));
}

void TLineDistortion::Render(const TFrameContext& frame, const float* /*inputs*/) {
  PushCenterView();
  OrthoBegin();
  const float grey = 0.2f * Opacity;
  ApplyColor({grey, grey, grey, 1.0f});
  EnableAdditiveBlend();
  glBegin(GL_QUADS);
  for (int i = 0; i < kBarCount; ++i) {
    const float x = LineBarX(i, frame.BarTime);
    glVertex2f(x, 0.0f);
    glVertex2f(x + kBarWidth, 0.0f);
    glVertex2f(x + kBarWidth, kBarHeight);
    glVertex2f(x, kBarHeight);
  }
  glEnd();
  OrthoEnd();
  PopView();
}
