#include "authoring/ProductionPack.h"

#include "authoring/ScriptCheck.h"
#include "effects/BitmapFont.h"
#include "platform/Archives.h"
#include "platform/Files.h"
#include "platform/FontFiles.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

namespace {

// The file name the player reads when it is started without one.
constexpr const char* kDefaultScript = "moltrax.vrp";

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The path below `folder` ("" when the file lies outside it); ".." and "." are resolved first,
// so that no entry of an archive climbs out of the folder it is unpacked into.
std::string InsideFolder(const std::string& folder, const std::string& path) {
  const std::string normal = std::filesystem::path(path).lexically_normal().generic_string();
  const std::string base = folder == "/" ? folder : folder + "/";
  if (normal.compare(0, base.size(), base) != 0) return std::string();
  return normal.substr(base.size());
}

}  // namespace

std::string PackName(const std::string& demoName, const std::string& script,
                     const std::string& target) {
  std::string name;
  for (const char c : demoName) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || c == '-' || c == '_' || c == '.') name += c;
    else if ((c == ' ' || c == '\t') && !name.empty() && name.back() != '-') name += '-';
  }
  while (!name.empty() && (name.back() == '-' || name.back() == '.')) name.pop_back();
  if (name.empty()) {
    name = FileNameOf(script);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
  }
  return name + (target == "win64" ? "-win64.zip" : "-linux.tar.gz");
}

int PackProduction(const TPackDesc& desc, std::FILE* err) {
  const auto fail = [&](const std::string& text) {
    std::fprintf(err, "vorpane: --pack: %s\n", text.c_str());
    return 1;
  };
  const TCheckReport report = CheckScript(desc.Script);
  if (report.ErrorCount() > 0) {
    for (const TCheckMessage& message : report.Messages)
      if (message.IsError) std::fprintf(err, "%s\n", FormatCheckMessage(report.File, message).c_str());
    return fail("the script has errors; an archive of it would not play");
  }
  const bool windows = desc.Target == "win64";
  std::string player = desc.Player;
  if (player.empty()) {
    const std::string self = ProgramPath();
    player = windows ? FolderOf(self) + "/vorpane.exe" : self;
  }
  if (!FileExists(player))
    return fail("no player to pack: " + player + " does not exist" +
                (windows ? " (build vorpane.exe, or name it with --pack-player)" : ""));

  const std::string archive = PackName(report.DemoName, desc.Script, desc.Target);
  const std::string top = archive.substr(0, archive.find(windows ? "-win64" : "-linux")) + "/";
  const std::string program = top.substr(0, top.size() - 1) + (windows ? ".exe" : "");
  std::vector<TArchiveEntry> entries = {{top + program, player, true},
                                        {top + kDefaultScript, AbsolutePath(desc.Script), false}};
  // Names in the script resolve from its folder: the files keep their places below it.
  const std::string folder = std::filesystem::path(FolderOf(AbsolutePath(desc.Script)))
                                 .lexically_normal()
                                 .generic_string();
  for (const std::string& path : report.Files) {
    const std::string inside = InsideFolder(folder, path);
    if (inside.empty())
      return fail(path + " lies outside the script's folder " + folder +
                  ": move it into that folder so the archive can keep its place");
    if (inside == kDefaultScript || inside == program)
      return fail("the production's file " + inside + " would clash with the " +
                  (inside == program ? "player" : "script") + " in the archive");
    entries.push_back({top + inside, path, false});
  }
  // Windows draws the player's text with its own face of that name. The file this machine finds
  // for it goes beside the program, where the player looks first for a face to fall back on:
  // a Windows without the face (Wine has none) draws the text as this machine does.
  std::string font;
  int fontIndex = 0;
  if (windows && MatchFontFile(kPlayerFontFace, kPlayerFontBold, font, fontIndex)) {
    const std::string name = top + FileNameOf(font);
    if (std::none_of(entries.begin(), entries.end(),
                     [&](const TArchiveEntry& entry) { return entry.Name == name; }))
      entries.insert(entries.begin() + 1, {name, font, false});
  } else if (windows) {
    std::fprintf(err, "vorpane: --pack: no font here matches %s; the archive holds none\n",
                 kPlayerFontFace);
  }
  std::string bytes, error;
  const bool made = windows ? ZipArchiveBytes(entries, bytes, error)
                            : TarGzArchiveBytes(entries, bytes, error);
  if (!made) return fail(error);
  if (!WriteFileByRename(archive, bytes, desc.Overwrite, error))
    return fail(error + (desc.Overwrite ? "" : " (--overwrite replaces it)"));
  std::fprintf(err, "vorpane: packed %zu files into %s (%zu bytes)\n", entries.size(),
               archive.c_str(), bytes.size());
  return 0;
}
