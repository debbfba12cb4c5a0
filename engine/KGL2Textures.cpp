#include "engine/KGL2Textures.h"

#include "engine/ImageReaders.h"
#include "platform/Dialogs.h"

#include <GL/glu.h>

#include <algorithm>
#include <cctype>

std::vector<TTexRegItem> TextureRegistry;

namespace {

int uploadCount = 0;

// Uploads a decoded image, or shows the loader's message.
bool UploadOrReport(bool decoded, const TTextureImage& image, const TLoadFailure& failure,
                    uint32_t& texture) {
  if (!decoded) {
    ShowErrorBox(failure.Caption, failure.Text);
    return false;
  }
  texture = UploadTexture(static_cast<uint16_t>(image.Width), static_cast<uint16_t>(image.Height),
                          image.BytesPerPixel == 4 ? GL_RGBA : GL_RGB, image.Pixels.data());
  return true;
}

}  // namespace

uint32_t UploadTexture(uint16_t width, uint16_t height, GLenum format, const void* pixels) {
  ++uploadCount;
  GLuint name = 0;
  glGenTextures(1, &name);
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
  if (format == GL_RGBA)
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGBA, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
  else
    gluBuild2DMipmaps(GL_TEXTURE_2D, 3, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels);
  glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
  return name;
}

int TextureUploadCount() { return uploadCount; }

bool ReadBmpTexture(const std::string& name, uint32_t& texture) {
  TTextureImage image;
  TLoadFailure failure;
  return UploadOrReport(ReadBmpImage(name, image, failure), image, failure, texture);
}

bool ReadJpegTexture(const std::string& name, uint32_t& texture) {
  TTextureImage image;
  TLoadFailure failure;
  return UploadOrReport(ReadJpegImage(name, image, failure), image, failure, texture);
}

bool ReadTgaTexture(const std::string& name, uint32_t& texture) {
  TTextureImage image;
  TLoadFailure failure;
  return UploadOrReport(ReadTgaImage(name, image, failure), image, failure, texture);
}

bool ReadJpegAlphaTexture(const std::string& colourName, const std::string& alphaName,
                          uint32_t& texture) {
  TTextureImage image;
  TLoadFailure failure;
  return UploadOrReport(ReadJpegPairImage(colourName, alphaName, image, failure), image, failure,
                        texture);
}

void TextureFromFile(const std::string& name, uint32_t& texture) {
  std::string ending = name.size() > 4 ? name.substr(name.size() - 4) : name;
  std::transform(ending.begin(), ending.end(), ending.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (ending == ".BMP")
    ReadBmpTexture(name, texture);
  else if (ending == ".JPG")
    ReadJpegTexture(name, texture);
  else if (ending == ".TGA")
    ReadTgaTexture(name, texture);
}

uint32_t FindRegisteredTexture(const std::string& name) {
  uint32_t texture = NoTexture;
  for (const TTexRegItem& item : TextureRegistry)
    if (item.Name == name) texture = item.Texture;
  return texture;
}

void RegisterTexture(const std::string& name, uint32_t texture) {
  TextureRegistry.push_back(TTexRegItem{name, texture});
}

uint32_t TextureByName(const std::string& name) {
  uint32_t texture = FindRegisteredTexture(name);
  if (texture == NoTexture) {
    TextureFromFile(name, texture);
    RegisterTexture(name, texture);
  }
  return texture;
}

uint32_t TextureFromJpegPair(const std::string& colourName, const std::string& alphaName) {
  uint32_t texture = NoTexture;
  ReadJpegAlphaTexture(colourName, alphaName, texture);
  return texture;
}
