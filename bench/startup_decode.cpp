// The pure decode time of a production's assets, without GL: every picture (BMP, JPEG, TGA),
// every model (read into a brush with normals) and every music file in a folder, one after the
// other on one thread, as the player's start-up would decode them if nothing else cost time.
// bench/startup.sh sets it beside the measured start-up.
// Usage: bench_startup_decode FOLDER
#include "engine/ImageReaders.h"
#include "engine/KGL2Classes.h"
#include "platform/AudioDecode.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

namespace {

std::string LowerExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  std::string extension = dot == std::string::npos ? "" : name.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

struct TKindTotal {
  const char* Kind;
  int Files = 0;
  double Seconds = 0;
};

// Decodes one file; false (with the reason) when it could not.
bool DecodeAsset(const std::string& path, const std::string& extension, std::string& reason) {
  TTextureImage image;
  TLoadFailure failure;
  if (extension == "bmp" || extension == "jpg" || extension == "jpeg" || extension == "tga") {
    const bool ok = extension == "bmp"   ? ReadBmpImage(path, image, failure)
                    : extension == "tga" ? ReadTgaImage(path, image, failure)
                                         : ReadJpegImage(path, image, failure);
    reason = failure.Text;
    return ok;
  }
  if (extension == "3ds") {
    try {
      TKGLBrush brush(path);
      if (brush.MeshCount > 0) return true;
      reason = "no mesh";
      return false;
    } catch (const std::exception& error) {
      reason = error.what();
      return false;
    }
  }
  TPcm16 pcm;
  return DecodeAudioFile(path, pcm, reason);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_startup_decode FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) names.push_back(entry->d_name);
    ::closedir(dir);
  } else {
    std::fprintf(stderr, "bench_startup_decode: cannot read %s\n", folder.c_str());
    return 1;
  }
  std::sort(names.begin(), names.end());

  TKindTotal pictures{"pictures"}, models{"models"}, music{"music"};
  int failures = 0;
  for (const std::string& name : names) {
    const std::string extension = LowerExtension(name);
    TKindTotal* kind = nullptr;
    if (extension == "bmp" || extension == "jpg" || extension == "jpeg" || extension == "tga")
      kind = &pictures;
    else if (extension == "3ds")
      kind = &models;
    else if (extension == "ogg" || extension == "wav" || extension == "flac" ||
             extension == "mp3" || extension == "opus")
      kind = &music;
    if (!kind) continue;
    std::string reason;
    const auto begin = std::chrono::steady_clock::now();
    const bool ok = DecodeAsset(folder + "/" + name, extension, reason);
    kind->Seconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    ++kind->Files;
    if (!ok) {
      std::fprintf(stderr, "bench_startup_decode: %s: %s\n", name.c_str(), reason.c_str());
      ++failures;
    }
  }
  double total = 0;
  for (const TKindTotal* kind : {&pictures, &models, &music}) {
    std::printf("decode %-9s %3d files %8.3f s\n", kind->Kind, kind->Files, kind->Seconds);
    total += kind->Seconds;
  }
  std::printf("decode total %21.3f s\n", total);
  return failures == 0 ? 0 : 1;
}
