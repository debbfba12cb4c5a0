// Text drawn with a bitmap font: a system font face is matched by name (fontconfig), its glyphs
// are rendered monochrome (FreeType) and each character code 0..199 becomes a glBitmap display
// list that draws the glyph at the raster position and advances it.
//
// Contract: BuildBitmapFont needs a current OpenGL context and is called once; PrintText draws
// nothing until it has been. Glyphs are rendered for the frame's scale (a production drawn at
// another size than its own), and again when that changes. Codes 200..255 have no glyph and
// draw nothing. PrintText leaves lighting, texturing and depth testing enabled and restores the
// current colour.
#pragma once
#include "engine/Vectors.h"

#include <cstdint>
#include <string>

// The first of the 200 glyph lists (0 until a font has been built).
extern uint32_t FontListBase;
// Colour and position of the text being printed (overwritten on every PrintText).
extern TColor4 TextColor;
extern float TextX, TextY;

// The face the player draws its own text with (the timer, messages on screen), bold, at 14
// pixels; a production packed for Windows ships the file this machine finds for it.
constexpr const char* kPlayerFontFace = "Verdana";
constexpr bool kPlayerFontBold = true;
constexpr int32_t kPlayerFontHeight = 14;

// Builds the glyph lists of the face at a cell height in pixels; returns the list base. When
// the face cannot be found or rendered the lists stay empty and the reason goes to stderr.
uint32_t BuildBitmapFont(const std::string& faceName, int32_t height, bool bold);
// Deletes the glyph lists (when a context is current) and forgets the font and the last text.
void ResetBitmapFont();
// Prints text with its baseline origin at x pixels from the left and y pixels from the TOP
// edge of the requested resolution. An empty text draws nothing but sets the same state.
void PrintText(const char* text, int32_t x, int32_t y, const TColor4& color);
