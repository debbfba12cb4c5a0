// Finding a system font file by face name, for the bitmap font of the player and for the tools
// that paint text into pictures. fontconfig picks the closest installed face ("Verdana" bold
// resolves to DejaVu Sans Bold on Debian).
#pragma once
#include <string>

// The font file and the face index in it that best match the face name and weight (upright,
// scalable). False when fontconfig finds nothing.
bool MatchFontFile(const std::string& faceName, bool bold, std::string& file, int& index);
