// Decoding the files a production names, fully and without GL, the way the player reads them,
// to say why one cannot be used.
#pragma once
#include "effects/EffectFiles.h"
#include "platform/ReadContext.h"

#include <string>

// Why the file cannot be used (the loader's message, then the reason), or empty when it
// decodes. `note` receives a remark on a file that decodes (a picture with a misleading name,
// or one that decodes with errors). Names resolve by `files`.
std::string EffectFileProblem(const TEffectFile& file, std::string& note,
                              const TReadContext& files);
// Why a music file cannot be played ("Cannot load music NAME: reason"), or empty; note gets a
// warning for a file that plays only in part (cut short or damaged).
std::string MusicFileProblem(const std::string& name, std::string& note,
                             const TReadContext& files);
