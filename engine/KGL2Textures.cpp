#include "engine/KGL2Textures.h"

#include "engine/ImageReaders.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "platform/KestoGL2.h"

#include <GL/glu.h>
#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unordered_set>
#include <vector>

std::vector<TTexRegItem> TextureRegistry;

namespace {

int uploadCount = 0;
int pictureFailures = 0;
// Names of the textures UploadTexture made whose every texel has alpha 255.
std::unordered_set<uint32_t> opaqueTextures;

// True for RGB pixels, and for RGBA pixels whose alpha is 255 everywhere.
bool PixelsAreOpaque(uint16_t width, uint16_t height, GLenum format, const void* pixels) {
  if (format != GL_RGBA) return true;
  const uint8_t* bytes = static_cast<const uint8_t*>(pixels);
  const size_t count = static_cast<size_t>(width) * height;
  for (size_t i = 0; i < count; ++i)
    if (bytes[i * 4 + 3] != 255) return false;
  return true;
}

// Uploads a decoded image, or shows the loader's message.
bool UploadOrReport(const std::string& name, bool decoded, const TTextureImage& image,
                    const TLoadFailure& failure, uint32_t& texture) {
  if (!decoded) {
    // The reason goes to stderr only: the box keeps the loader's own text.
    const std::string said =
        failure.Reason.empty() ? failure.Text : failure.Text + "\nReason: " + failure.Reason;
    ShowErrorBox(failure.Caption, failure.Text, WithErrorOrigin(said));
    ++pictureFailures;
    return false;
  }
  // A picture that decoded with errors plays as decoded, said once on stderr.
  const std::string damage = PictureDamageLine(name, image);
  if (!damage.empty()) std::fprintf(stderr, "%s\n", WithErrorOrigin(damage).c_str());
  texture = UploadTexture(static_cast<uint16_t>(image.Width), static_cast<uint16_t>(image.Height),
                          image.BytesPerPixel == 4 ? GL_RGBA : GL_RGB, image.Pixels.data());
  return true;
}

int GlMajorVersion() {
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  return version ? std::atoi(version) : 0;
}

// The next smaller mipmap level of a tightly packed picture with `channels` bytes per pixel:
// each texel the rounded mean of the 2 x 2 texels it covers (fewer at an odd edge).
std::vector<uint8_t> HalvePicture(const uint8_t* pixels, int32_t width, int32_t height,
                                  int32_t channels, int32_t& halfWidth, int32_t& halfHeight) {
  halfWidth = std::max(1, width / 2);
  halfHeight = std::max(1, height / 2);
  std::vector<uint8_t> half(static_cast<size_t>(halfWidth) * static_cast<size_t>(halfHeight) *
                            static_cast<size_t>(channels));
  for (int32_t y = 0; y < halfHeight; ++y) {
    const int32_t y0 = std::min(2 * y, height - 1), y1 = std::min(2 * y + 1, height - 1);
    for (int32_t x = 0; x < halfWidth; ++x) {
      const int32_t x0 = std::min(2 * x, width - 1), x1 = std::min(2 * x + 1, width - 1);
      const int32_t xs[2] = {x0, x1}, ys[2] = {y0, y1};
      const int count = (x1 != x0 ? 2 : 1) * (y1 != y0 ? 2 : 1);
      for (int32_t c = 0; c < channels; ++c) {
        int sum = 0;
        for (int32_t yy = 0; yy < (y1 != y0 ? 2 : 1); ++yy)
          for (int32_t xx = 0; xx < (x1 != x0 ? 2 : 1); ++xx)
            sum += pixels[(static_cast<size_t>(ys[yy]) * static_cast<size_t>(width) +
                           static_cast<size_t>(xs[xx])) * static_cast<size_t>(channels) +
                          static_cast<size_t>(c)];
        half[(static_cast<size_t>(y) * static_cast<size_t>(halfWidth) + static_cast<size_t>(x)) *
                 static_cast<size_t>(channels) + static_cast<size_t>(c)] =
            static_cast<uint8_t>((sum + count / 2) / count);
      }
    }
  }
  return half;
}

// The picture at its own size with every mipmap level down to 1 x 1, made here by box filtering.
// GL could build the levels (glGenerateMipmap), but a software renderer does that by compiling
// blit shaders, which cost more of the start-up than decoding every picture.
void UploadAtOwnSize(GLint internalFormat, GLsizei width, GLsizei height, GLenum format,
                     const void* pixels) {
  const int32_t channels = format == GL_RGBA ? 4 : 3;
  glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, format, GL_UNSIGNED_BYTE, pixels);
  std::vector<uint8_t> level;
  const uint8_t* source = static_cast<const uint8_t*>(pixels);
  int32_t w = width, h = height;
  for (GLint index = 1; w > 1 || h > 1; ++index) {
    int32_t halfWidth = 0, halfHeight = 0;
    std::vector<uint8_t> half = HalvePicture(source, w, h, channels, halfWidth, halfHeight);
    level.swap(half);
    source = level.data();
    w = halfWidth;
    h = halfHeight;
    glTexImage2D(GL_TEXTURE_2D, index, internalFormat, w, h, 0, format, GL_UNSIGNED_BYTE, source);
  }
}

}  // namespace

bool TextureUploadKeepsSize() {
  return GlMajorVersion() >= 2 || HasGLExtension("GL_ARB_texture_non_power_of_two");
}

uint32_t UploadTexture(uint16_t width, uint16_t height, GLenum format, const void* pixels) {
  ++uploadCount;
  GLuint name = 0;
  glGenTextures(1, &name);
  if (PixelsAreOpaque(width, height, format, pixels))
    opaqueTextures.insert(name);
  else
    opaqueTextures.erase(name);  // a name GL gives again after a deletion elsewhere
  glBindTexture(GL_TEXTURE_2D, name);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
  // Rows are tightly packed (an RGB row of width 5 is 15 bytes); the previous alignment is put
  // back so that other pixel transfers (font bitmaps) see what they expect.
  GLint alignment = 4;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  // RGB textures get the internal format as the component count 3.
  const GLint internalFormat = format == GL_RGBA ? GL_RGBA : 3;
  const GLenum pixelFormat = format == GL_RGBA ? GL_RGBA : GL_RGB;
  if (TextureUploadKeepsSize())
    UploadAtOwnSize(internalFormat, width, height, pixelFormat, pixels);
  else  // GLU rescales to powers of two for contexts without non-power-of-two textures
    gluBuild2DMipmaps(GL_TEXTURE_2D, internalFormat, width, height, pixelFormat, GL_UNSIGNED_BYTE, pixels);
  glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
  return name;
}

int TextureUploadCount() { return uploadCount; }

int PictureLoadFailureCount() { return pictureFailures; }

bool TextureIsOpaque(uint32_t texture) { return opaqueTextures.count(texture) != 0; }

void ResetTextureBookkeeping() {
  opaqueTextures.clear();
  uploadCount = 0;
  pictureFailures = 0;
}

bool ReadBmpTexture(const std::string& name, uint32_t& texture) {
  TTextureImage image;
  TLoadFailure failure;
  return UploadOrReport(name, ReadBmpImage(name, image, failure), image, failure, texture);
}

bool ReadJpegTexture(const std::string& name, uint32_t& texture) {
  TTextureImage image;
  TLoadFailure failure;
  return UploadOrReport(name, ReadJpegImage(name, image, failure), image, failure, texture);
}

bool ReadTgaTexture(const std::string& name, uint32_t& texture) {
  TTextureImage image;
  TLoadFailure failure;
  return UploadOrReport(name, ReadTgaImage(name, image, failure), image, failure, texture);
}

bool ReadJpegAlphaTexture(const std::string& colourName, const std::string& alphaName,
                          uint32_t& texture, const TReadContext& files) {
  TTextureImage image;
  TLoadFailure failure;
  const bool decoded = ReadJpegPairImage(colourName, alphaName, image, failure, files);
  return UploadOrReport(colourName, decoded, image, failure, texture);
}

bool ReadPngTexture(const std::string& name, uint32_t& texture) {
  TTextureImage image;
  TLoadFailure failure;
  return UploadOrReport(name, ReadPngImage(name, image, failure), image, failure, texture);
}

void TextureFromFile(const std::string& name, uint32_t& texture, const TReadContext& files) {
  if (name.empty()) return;  // no picture named (a script without LOADINGSCREEN)
  TTextureImage image;
  TLoadFailure failure;
  std::string note;
  const bool decoded = ReadPictureFile(name, image, failure, note, files);
  if (!note.empty()) std::fprintf(stderr, "%s\n", WithErrorOrigin(note).c_str());
  UploadOrReport(name, decoded, image, failure, texture);
}

uint32_t FindRegisteredTexture(const std::string& name) {
  uint32_t texture = NoTexture;
  for (const TTexRegItem& item : TextureRegistry)
    if (item.Name == name) texture = item.Texture;
  return texture;
}

void RegisterTexture(const std::string& name, uint32_t texture) {
  TextureRegistry.push_back(TTexRegItem{name, texture, FileStamp(name), false});
}

uint32_t TextureByName(const std::string& name, const TReadContext& files) {
  TTexRegItem* last = nullptr;
  for (TTexRegItem& item : TextureRegistry)
    if (item.Name == name) last = &item;
  // The stamp is taken before reading, so a change while the file is read loads it again later.
  const TFileStamp stamp = files.Stamp(name);
  if (last && last->Texture != NoTexture && last->Stamp == stamp) return last->Texture;
  if (last) last->Superseded = true;
  uint32_t texture = NoTexture;
  TextureFromFile(name, texture, files);
  TextureRegistry.push_back(TTexRegItem{name, texture, stamp, false});
  return texture;
}

void ReleaseSupersededTextures() {
  std::vector<TTexRegItem> current;
  std::vector<uint32_t> released;
  for (TTexRegItem& item : TextureRegistry) {
    if (item.Superseded)
      released.push_back(item.Texture);
    else
      current.push_back(std::move(item));
  }
  for (uint32_t texture : released) {
    const bool shared = std::any_of(current.begin(), current.end(), [&](const TTexRegItem& item) {
      return item.Texture == texture;
    });
    if (!shared) DeleteTexture(texture);
  }
  TextureRegistry = std::move(current);
}

void DeleteTexture(uint32_t texture) {
  if (texture == 0 || texture == NoTexture || !SDL_GL_GetCurrentContext()) return;
  const GLuint name = texture;
  opaqueTextures.erase(name);
  glDeleteTextures(1, &name);
}

uint32_t TextureFromJpegPair(const std::string& colourName, const std::string& alphaName,
                             const TReadContext& files) {
  uint32_t texture = NoTexture;
  ReadJpegAlphaTexture(colourName, alphaName, texture, files);
  return texture;
}
