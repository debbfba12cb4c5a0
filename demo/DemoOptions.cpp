#include "demo/DemoOptions.h"

TDemoOptions ResolveDemoOptions(TDemoOptions options) {
  if (!(options.Fps > 0.0f)) options.Fps = 60.0f;
  if (options.Supersample < 1) options.Supersample = 1;
  if (options.MotionBlur < 1 || !options.FixedStep) options.MotionBlur = 1;
  if (!(options.Shutter > 0.0f)) options.Shutter = 0.5f;
  return options;
}
