#include "demo/ScriptMessages.h"

const char kBarsWithoutTracker[] = "The script has bars but no TRACKER";

std::string BarsNeedTrackerMessage() {
  return std::string(kBarsWithoutTracker) + ": bars need a demotrack";
}

std::string BarsNeedTempoMessage() {
  return "The script has bars but no BPM above 0: bars need a tempo";
}

std::string EffectNotInstalledMessage(int32_t slot) {
  return "Effect not installed: " + std::to_string(slot);
}

std::string DemotrackChannelMessage(int32_t channel) {
  return "Error reading demotrack " + std::to_string(channel);
}
