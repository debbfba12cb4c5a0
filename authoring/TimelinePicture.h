// A picture of a production's timeline as an SVG file, drawn from its script without a window
// or a sound device: the time that plays across, from the start time to the end (seconds and
// 64-row marks), the music's waveform along the top, the demotrack's channels as note ticks,
// then one lane per bar, coloured by the type of the effect in its slot, labelled with its
// name, slot and type, with the envelope of each of its inputs drawn inside it.
#pragma once
#include "platform/AudioDecode.h"

#include <string>
#include <utility>
#include <vector>

class TVDemo;

// The lane row of each span (first, last x), in order: a span takes the lowest row where it
// overlaps no span placed there before it, so overlapping spans never share a row.
std::vector<int> StackLanes(const std::vector<std::pair<double, double>>& spans);
// The SVG text of the timeline of a demo read from its script. `music` is its decoded music
// (null or empty: no waveform); `musicNote`, when not empty, is shown where the waveform goes.
std::string TimelineSvg(const TVDemo& demo, const TPcm16* music, const std::string& musicNote);
// Reads the script (read-only; its errors go to stderr as "FILE:LINE: text"), decodes its music
// and writes the picture to svgFile. Throws FatalError when the script cannot be opened or the
// picture cannot be written.
void WriteTimelinePicture(const std::string& scriptFile, const std::string& svgFile);
