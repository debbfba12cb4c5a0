// Messages about a script that the player and --check both give, so the two say the same.
#pragma once
#include <cstdint>
#include <string>

// "The script has bars but no TRACKER" (the caller adds what follows from it).
extern const char kBarsWithoutTracker[];
// "The script has bars but no TRACKER: bars need a demotrack".
std::string BarsNeedTrackerMessage();
// "The script has bars but no BPM above 0: bars need a tempo".
std::string BarsNeedTempoMessage();
// "Effect not installed: SLOT".
std::string EffectNotInstalledMessage(int32_t slot);
// "Error reading demotrack CHANNEL": an input read from a channel the demotrack does not have.
std::string DemotrackChannelMessage(int32_t channel);
