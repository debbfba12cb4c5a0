// The texts of the faults a script's bars run into, said by the run loop as it meets them and by
// the script check ahead of a run.
#pragma once
#include <cstdint>
#include <string>

// Bars without a TRACKER line.
std::string NoTrackerMessage();
// Bars under a demotrack whose BPM is not above 0.
std::string NoTempoMessage();
// A bar that runs a slot holding no effect.
std::string EffectNotInstalledMessage(int32_t slot);
// An input read from a channel the demotrack does not have.
std::string DemotrackChannelMessage(int32_t channel);
