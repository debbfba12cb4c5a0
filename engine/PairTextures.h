// Textures made of a colour JPEG and an alpha JPEG. Each effect that names a pair has a texture
// of its own; when a script is read again, the new effects take over the textures of the old
// ones whose files did not change, instead of decoding the pictures again. Effects take a
// texture with AcquirePairTexture and give it back with ReleasePairTexture; the last holder to
// give it back deletes it. Needs the GL context, as every texture operation.
#pragma once
#include "platform/ReadContext.h"

#include <cstddef>
#include <cstdint>
#include <string>

// A texture of the pair for one effect: one offered for reuse whose files are unchanged, or a
// new one; NoTexture after the loader's message when the pair cannot be read.
// The names resolve by `files`.
uint32_t AcquirePairTexture(const std::string& colourName, const std::string& alphaName,
                            const TReadContext& files = TReadContext());
// Gives back a texture taken with AcquirePairTexture; nothing for any other value.
void ReleasePairTexture(uint32_t texture);
// Offers every texture held now to the next AcquirePairTexture calls (the script is read again
// and its effects are about to be replaced).
void OfferPairTexturesForReuse();
// Ends the offer: textures not taken over stay with their holders alone.
void EndPairTextureReuse();
// Number of pair textures held now (for tests).
size_t PairTextureCount();
// Forgets every pair without deleting textures (process reset, as the texture registry).
void ResetPairTextures();
