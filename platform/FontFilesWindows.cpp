// Fonts on Windows: the faces in the folder of the player (a production may ship its font
// there) and in the Windows fonts folders are read with FreeType, and the face name is matched
// against their family names. A name no face has falls back to the common sans faces, so text
// is drawn with some font rather than none.
#include "platform/FontFiles.h"

#include "platform/Files.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <windows.h>

#include <cwctype>
#include <vector>

namespace {

// Faces tried, in this order, when no face has the name asked for.
const char* const kFallbackFamilies[] = {"DejaVu Sans", "Verdana", "Arial", "Tahoma",
                                         "Liberation Sans"};

struct TFace {
  std::string File;
  int Index = 0;
  std::string Family;
  bool Bold = false;
  bool Italic = false;
};

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && ::_stricmp(a.c_str(), b.c_str()) == 0;
}

std::vector<std::wstring> FontFolders() {
  std::vector<std::wstring> folders;
  wchar_t path[MAX_PATH * 4];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
  if (length > 0 && length < MAX_PATH * 4) {
    std::wstring program(path, length);
    folders.push_back(program.substr(0, program.find_last_of(L"\\/") + 1));
  }
  const UINT windowsLength = ::GetWindowsDirectoryW(path, MAX_PATH * 4);
  if (windowsLength > 0 && windowsLength < MAX_PATH * 4)
    folders.push_back(std::wstring(path, windowsLength) + L"\\Fonts\\");
  // Fonts a user installed for themselves only.
  if (const wchar_t* local = ::_wgetenv(L"LOCALAPPDATA"))
    folders.push_back(std::wstring(local) + L"\\Microsoft\\Windows\\Fonts\\");
  return folders;
}

bool IsFontFileName(std::wstring name) {
  for (wchar_t& c : name) c = static_cast<wchar_t>(std::towlower(c));
  for (const wchar_t* extension : {L".ttf", L".otf", L".ttc"})
    if (name.size() > 4 && name.compare(name.size() - 4, 4, extension) == 0) return true;
  return false;
}

// Every scalable face in the font folders, folder by folder.
std::vector<TFace> ScalableFaces(FT_Library library) {
  std::vector<TFace> faces;
  for (const std::wstring& folder : FontFolders()) {
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileW((folder + L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) continue;
    do {
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !IsFontFileName(entry.cFileName))
        continue;
      const std::string file = Utf8Name(folder + entry.cFileName);
      FT_Long count = 1;
      for (FT_Long index = 0; index < count; ++index) {
        FT_Face face = nullptr;
        if (FT_New_Face(library, file.c_str(), index, &face) != 0) break;
        count = face->num_faces;
        if (FT_IS_SCALABLE(face) && face->family_name) {
          TFace found;
          found.File = file;
          found.Index = static_cast<int>(index);
          found.Family = face->family_name;
          found.Bold = (face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
          found.Italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
          faces.push_back(found);
        }
        FT_Done_Face(face);
      }
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
  }
  return faces;
}

// The face of the family that fits the weight best (upright first); null when none has it.
const TFace* BestOfFamily(const std::vector<TFace>& faces, const std::string& family, bool bold) {
  const TFace* best = nullptr;
  int bestScore = -1;
  for (const TFace& face : faces) {
    if (!SameName(face.Family, family)) continue;
    const int score = (face.Bold == bold ? 2 : 0) + (face.Italic ? 0 : 1);
    if (score > bestScore) {
      best = &face;
      bestScore = score;
    }
  }
  return best;
}

}  // namespace

bool MatchFontFile(const std::string& faceName, bool bold, std::string& file, int& index) {
  FT_Library library = nullptr;
  if (FT_Init_FreeType(&library) != 0) return false;
  const std::vector<TFace> faces = ScalableFaces(library);
  FT_Done_FreeType(library);
  const TFace* match = BestOfFamily(faces, faceName, bold);
  for (const char* family : kFallbackFamilies)
    if (!match) match = BestOfFamily(faces, family, bold);
  if (!match && !faces.empty()) match = &faces.front();
  if (!match) return false;
  file = match->File;
  index = match->Index;
  return true;
}
