// Reading a script ahead for its music: the lines are read as written (no macros; DATADIR
// followed where the folder exists) and each LOADMUSIC file is handed to PrefetchStream, so the music decodes while the window
// opens and the loading screen shows. It changes nothing else: LOADMUSIC still opens its stream
// where it stands in the script, with the same result and the same messages.
#pragma once
#include "platform/ReadContext.h"

#include <string>
#include <vector>

// Starts the decode of every music file that the script lines name, their names resolved from
// `files` (the script's folder) as the reader will resolve them.
void PrefetchScriptMusic(const TReadContext& files, const std::vector<std::string>& lines);
