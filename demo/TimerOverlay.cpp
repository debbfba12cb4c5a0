#include "demo/TimerOverlay.h"

#include "effects/BitmapFont.h"
#include "effects/Draw2D.h"

#include <cfenv>
#include <cmath>

namespace {

// time x 10 to the nearest integer, halves to even; out-of-range values saturate.
int64_t TenthsOfSeconds(float time) {
  const long double tenths = static_cast<long double>(time) * 10.0L;
  if (std::isnan(tenths)) return 0;
  if (tenths >= 9.2e18L) return INT64_MAX;
  if (tenths <= -9.2e18L) return INT64_MIN;
  const int savedRounding = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const long double rounded = std::nearbyintl(tenths);
  std::fesetround(savedRounding);
  return static_cast<int64_t>(rounded);
}

}  // namespace

TTimerOverlayText FormatTimerOverlay(float time, int32_t row) {
  TTimerOverlayText text;
  text.Seconds = "SECONDSx10: " + std::to_string(TenthsOfSeconds(time));
  text.Timestamp = "TIMESTAMP: " + std::to_string(row / 64) + " :: " +
                   std::to_string((row / 16) % 4) + " :: " + std::to_string((row / 4) % 4) +
                   " :: " + std::to_string(row % 4);
  return text;
}

void DrawTimerOverlay(float time, int32_t row) {
  const TTimerOverlayText text = FormatTimerOverlay(time, row);
  const TColor4 white = {1, 1, 1, 1};
  PushCenterView();
  DrawRect({0, 0, 0, 1}, 100, 475, 200, 40);
  PrintText(text.Seconds.c_str(), 100, 100, white);
  PrintText(text.Timestamp.c_str(), 100, 120, white);
  PopView();
}
