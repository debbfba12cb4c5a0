// The pictures of the sample production, painted from code so the production needs no binary
// files in the tree. Every picture reader of the player is used: 24-bit BMP, JPEG (colour, and a
// colour + alpha pair), 24-bit run-length TGA and 32-bit TGA with alpha.
#pragma once
#include <string>
#include <vector>

// The file names written, relative to the data folder.
std::vector<std::string> ProductionPictureNames();
// Paints and writes every picture into the folder. False (with the reason) when a picture
// cannot be written or no font is found for the texts.
bool WriteProductionPictures(const std::string& folder, std::string& error);
