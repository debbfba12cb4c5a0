// Texture loading: image files (BMP, JPEG, PNG, TGA) become mipmapped OpenGL textures at their
// own size, and a module-wide registry maps file names to texture names so that a file named by
// several effects is read and uploaded once.
//
// Contract: every operation needs the GL context to be current. A loader that fails shows its
// message box (ShowErrorBox: caption and text of the failure), creates no texture object and
// leaves its texture argument unchanged. Registry names are compared exactly (case-sensitive);
// entries are only appended, and when a name occurs more than once the last entry wins.
#pragma once
#include "platform/Files.h"
#include "platform/ReadContext.h"

#include <GL/gl.h>

#include <cstdint>
#include <string>
#include <vector>

// The texture name meaning "no texture loaded" (all 32 bits set).
constexpr uint32_t NoTexture = 0xFFFFFFFFu;

struct TTexRegItem {
  std::string Name;              // the file name exactly as the caller passed it
  uint32_t Texture = NoTexture;  // may be NoTexture after a failed load
  TFileStamp Stamp;              // the file as it was when it was read
  bool Superseded = false;       // a later entry holds the file as it is now
};

// The registry, in the order entries were added.
extern std::vector<TTexRegItem> TextureRegistry;

// Uploads pixels (bottom row first, tightly packed R G B or R G B A) as a new mipmapped texture
// with repeat wrapping, linear filtering and modulate mode; returns its name, left bound. The
// picture keeps its size where the context allows (see TextureUploadKeepsSize); otherwise GLU
// rescales it to powers of two.
uint32_t UploadTexture(uint16_t width, uint16_t height, GLenum format, const void* pixels);
// True when the current context takes textures of any size (GL 2.0 or the NPOT extension).
bool TextureUploadKeepsSize();
// True when UploadTexture made the texture from RGB pixels, or RGBA pixels whose alpha is 255
// everywhere (a JPEG), and it has not been deleted since: every texel's alpha is 1.
bool TextureIsOpaque(uint32_t texture);
// Forgets which textures are opaque and counts uploads from 0 again (process reset: the names
// may belong to a new context).
void ResetTextureBookkeeping();
// Number of UploadTexture calls so far (lets tests see that a failed load uploaded nothing).
int TextureUploadCount();
// Number of pictures that could not be read so far in this process (never reset: a caller
// compares the counts before and after what it loads).
int PictureLoadFailureCount();

// The loaders: true and the new texture on success, false (after the message box) otherwise.
bool ReadBmpTexture(const std::string& name, uint32_t& texture);
bool ReadJpegTexture(const std::string& name, uint32_t& texture);
bool ReadTgaTexture(const std::string& name, uint32_t& texture);
bool ReadPngTexture(const std::string& name, uint32_t& texture);
// Colour from one JPEG, alpha from the blue channel of another.
bool ReadJpegAlphaTexture(const std::string& colourName, const std::string& alphaName,
                          uint32_t& texture, const TReadContext& files = TReadContext());
// Picks the reader by the name's ending in any letter case (.bmp; .jpg, .jpeg, .jpe, .jfif;
// .png; .tga); when the first bytes prove another format, the content wins and one stderr line
// says the name is misleading. Any other ending shows a message naming the supported types and
// leaves the texture unchanged; an empty name loads and shows nothing. A refusal's reason follows its message on stderr.
// Names resolve by `files`.
void TextureFromFile(const std::string& name, uint32_t& texture,
                     const TReadContext& files = TReadContext());

// The texture of the last registry entry with exactly this name, or NoTexture.
uint32_t FindRegisteredTexture(const std::string& name);
// Appends an entry with the file's stamp as it is now.
void RegisterTexture(const std::string& name, uint32_t texture);
// The registered texture of the name; when there is none (or it is NoTexture), or the file's
// size or modification time differ from the entry's, the file is loaded and the result
// registered, NoTexture included. The registry keys on the name as written; the file is found
// by `files`.
uint32_t TextureByName(const std::string& name, const TReadContext& files = TReadContext());
// Deletes the textures of superseded entries (unless a current entry shares one) and drops
// those entries: for when nothing draws the old pictures any more.
void ReleaseSupersededTextures();
// Deletes a texture the caller owns; nothing for 0, NoTexture or without a current context.
void DeleteTexture(uint32_t texture);
// A new texture from a colour JPEG and an alpha JPEG, every call (the registry is not used).
uint32_t TextureFromJpegPair(const std::string& colourName, const std::string& alphaName,
                             const TReadContext& files = TReadContext());
