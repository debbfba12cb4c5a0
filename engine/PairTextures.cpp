#include "engine/PairTextures.h"

#include "engine/KGL2Textures.h"
#include "platform/Files.h"

#include <vector>

namespace {

struct TPairEntry {
  std::string Colour, Alpha;
  TFileStamp ColourStamp, AlphaStamp;  // the files as they were when the texture was made
  uint32_t Texture = NoTexture;
  int Holders = 0;
  bool Offered = false;  // its holder is being replaced: the next effect of the pair may take it
};

std::vector<TPairEntry> pairs;

}  // namespace

uint32_t AcquirePairTexture(const std::string& colourName, const std::string& alphaName,
                            const TReadContext& files) {
  const TFileStamp colourStamp = files.Stamp(colourName);
  const TFileStamp alphaStamp = files.Stamp(alphaName);
  for (TPairEntry& entry : pairs) {
    if (entry.Offered && entry.Colour == colourName && entry.Alpha == alphaName &&
        entry.ColourStamp == colourStamp && entry.AlphaStamp == alphaStamp) {
      entry.Offered = false;
      ++entry.Holders;
      return entry.Texture;
    }
  }
  const uint32_t texture = TextureFromJpegPair(colourName, alphaName, files);
  if (texture != NoTexture)
    pairs.push_back(TPairEntry{colourName, alphaName, colourStamp, alphaStamp, texture, 1, false});
  return texture;
}

void ReleasePairTexture(uint32_t texture) {
  for (auto entry = pairs.begin(); entry != pairs.end(); ++entry) {
    if (entry->Texture != texture) continue;
    if (--entry->Holders == 0) {
      DeleteTexture(texture);
      pairs.erase(entry);
    }
    return;
  }
}

void OfferPairTexturesForReuse() {
  for (TPairEntry& entry : pairs) entry.Offered = true;
}

void EndPairTextureReuse() {
  for (TPairEntry& entry : pairs) entry.Offered = false;
}

size_t PairTextureCount() { return pairs.size(); }

void ResetPairTextures() { pairs.clear(); }
