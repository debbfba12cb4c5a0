// A four-channel Amiga module (31 samples, "M.K.") made from bytes the tests control: one
// looped square-wave sample, one pattern of 64 rows at speed 6 and 125 BPM (0.12 s a row,
// 7.68 s in all). A note sounds on channel 1 from row 0, is silenced at row 16 and sounds again
// from row 32 to the end; the last row jumps back to the start, so the song loops for ever.
#pragma once
#include <string>

constexpr double kTinyModuleSeconds = 7.68;

std::string MakeTinyModule();
