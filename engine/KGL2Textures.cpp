#include "engine/KGL2Textures.h"

#include "engine/ImageReaders.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"

#include <GL/glu.h>
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

std::vector<TTexRegItem> TextureRegistry;

namespace {

int uploadCount = 0;

// Uploads a decoded image, or shows the loader's message.
bool UploadOrReport(bool decoded, const TTextureImage& image, const TLoadFailure& failure,
                    uint32_t& texture) {
  if (!decoded) {
    ShowErrorBox(failure.Caption, failure.Text);
    if (!failure.Reason.empty()) std::fprintf(stderr, "Reason: %s\n", failure.Reason.c_str());
    return false;
  }
  texture = UploadTexture(static_cast<uint16_t>(image.Width), static_cast<uint16_t>(image.Height),
                          image.BytesPerPixel == 4 ? GL_RGBA : GL_RGB, image.Pixels.data());
  return true;
}

// True when the current context has the named extension.
bool HasExtension(const char* name) {
  const char* list = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  if (!list) return false;
  const size_t length = std::strlen(name);
  for (const char* at = std::strstr(list, name); at; at = std::strstr(at + 1, name))
    if ((at == list || at[-1] == ' ') && (at[length] == ' ' || at[length] == 0)) return true;
  return false;
}

int GlMajorVersion() {
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  return version ? std::atoi(version) : 0;
}

using GenerateMipmapFn = void(APIENTRY*)(GLenum);

// glGenerateMipmap of the current context (GL 3.0 or the framebuffer object extensions), or null.
GenerateMipmapFn GenerateMipmapEntry() {
  if (GlMajorVersion() >= 3 || HasExtension("GL_ARB_framebuffer_object"))
    return reinterpret_cast<GenerateMipmapFn>(SDL_GL_GetProcAddress("glGenerateMipmap"));
  if (HasExtension("GL_EXT_framebuffer_object"))
    return reinterpret_cast<GenerateMipmapFn>(SDL_GL_GetProcAddress("glGenerateMipmapEXT"));
  return nullptr;
}

// The picture at its own size, mipmaps built by GL (glGenerateMipmap, or the GL 1.4 texture
// parameter when that entry is missing).
void UploadAtOwnSize(GLint internalFormat, GLsizei width, GLsizei height, GLenum format,
                     const void* pixels) {
  const GenerateMipmapFn generate = GenerateMipmapEntry();
  if (!generate) glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
  glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, format, GL_UNSIGNED_BYTE, pixels);
  if (generate) generate(GL_TEXTURE_2D);
}

// Reads the file once and decodes it by its content when the first bytes prove another format
// than its name says; by its name otherwise. A file that cannot be read gets the message of the
// loader its name picks.
bool DecodeTextureFile(const std::string& name, TPictureFormat byName, TTextureImage& image,
                       TLoadFailure& failure) {
  std::vector<uint8_t> bytes;
  if (byName == TPictureFormat::Unknown || !ReadWholeFile(name, bytes)) {
    switch (byName) {
      case TPictureFormat::Bmp: return ReadBmpImage(name, image, failure);
      case TPictureFormat::Tga: return ReadTgaImage(name, image, failure);
      case TPictureFormat::Jpeg: return ReadJpegImage(name, image, failure);
      case TPictureFormat::Png: return ReadPngImage(name, image, failure);
      case TPictureFormat::Unknown: break;
    }
    return DecodePicture(TPictureFormat::Unknown, name, nullptr, 0, image, failure);
  }
  TPictureFormat format = byName;
  const TPictureFormat byContent = PictureFormatOfContent(bytes.data(), bytes.size());
  if (byContent != TPictureFormat::Unknown && byContent != byName) {
    std::fprintf(stderr, "\"%s\" is a %s picture with a misleading name; loaded as %s\n",
                 name.c_str(), PictureFormatLabel(byContent), PictureFormatLabel(byContent));
    format = byContent;
  }
  return DecodePicture(format, name, bytes.data(), bytes.size(), image, failure);
}

}  // namespace

bool TextureUploadKeepsSize() {
  return GlMajorVersion() >= 2 || HasExtension("GL_ARB_texture_non_power_of_two");
}

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

bool ReadPngTexture(const std::string& name, uint32_t& texture) {
  TTextureImage image;
  TLoadFailure failure;
  return UploadOrReport(ReadPngImage(name, image, failure), image, failure, texture);
}

void TextureFromFile(const std::string& name, uint32_t& texture) {
  if (name.empty()) return;  // no picture named (a script without LOADINGSCREEN)
  TTextureImage image;
  TLoadFailure failure;
  const bool decoded = DecodeTextureFile(name, PictureFormatOfName(name), image, failure);
  UploadOrReport(decoded, image, failure, texture);
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
