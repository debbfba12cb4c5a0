// The include layering of the tree: app -> authoring -> demo -> effects -> engine -> models3ds,
// everything may use platform, and platform uses nothing above it. sync (demotrack making) sits
// beside the drawing layers: it uses only platform, and only demo and above use it. A module
// that includes a header from a layer above its own fails here, before it can make a cycle;
// there is no exception.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Rank of each layer; a file may include headers of its own rank or lower, and platform.
const std::map<std::string, int> kLayerRank = {
    {"platform", 0}, {"models3ds", 1}, {"engine", 2}, {"effects", 3},
    {"demo", 4},     {"authoring", 5}, {"app", 6}, {"sync", 0}};

bool Allowed(const std::string& fromLayer, const std::string& header) {
  const size_t slash = header.find('/');
  if (slash == std::string::npos) return true;  // a system or library header
  const std::string toLayer = header.substr(0, slash);
  const auto to = kLayerRank.find(toLayer);
  if (to == kLayerRank.end()) return true;  // not one of the layers
  if (toLayer == "platform") return true;
  if (fromLayer == "sync") return toLayer == "sync";
  if (toLayer == "sync") return kLayerRank.at(fromLayer) >= kLayerRank.at("demo");
  return to->second <= kLayerRank.at(fromLayer) && fromLayer != "platform";
}

// The header of a line `#include "header"` (blanks allowed around '#'); empty for other lines.
std::string QuotedInclude(const std::string& line) {
  size_t i = line.find_first_not_of(" \t");
  if (i == std::string::npos || line[i] != '#') return "";
  i = line.find_first_not_of(" \t", i + 1);
  if (i == std::string::npos || line.compare(i, 7, "include") != 0) return "";
  i = line.find_first_not_of(" \t", i + 7);
  if (i == std::string::npos || line[i] != '"') return "";
  const size_t end = line.find('"', i + 1);
  return end == std::string::npos ? "" : line.substr(i + 1, end - i - 1);
}

// "file: #include "header"" for every include of a layer folder that its layer may not use.
std::vector<std::string> LayeringViolations(const fs::path& root) {
  std::vector<std::string> violations;
  for (const auto& [layer, rank] : kLayerRank) {
    (void)rank;
    if (!fs::is_directory(root / layer)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(root / layer)) {
      const std::string extension = entry.path().extension().string();
      if (!entry.is_regular_file() || (extension != ".h" && extension != ".cpp")) continue;
      std::ifstream file(entry.path());
      std::string line;
      while (std::getline(file, line)) {
        const std::string header = QuotedInclude(line);
        if (!header.empty() && !Allowed(layer, header))
          violations.push_back(fs::relative(entry.path(), root).generic_string() + ": #include \"" +
                               header + "\"");
      }
    }
  }
  return violations;
}

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
}

}  // namespace

TEST(Layering, TheSourceTreeIncludesOnlyDownwardsAndPlatform) {
  const std::vector<std::string> violations = LayeringViolations(VORPANE_SOURCE_DIR);
  std::string listed;
  for (const std::string& v : violations) listed += v + "\n";
  EXPECT_TRUE(violations.empty()) << listed;
}

TEST(Layering, UpwardIncludesAreFoundAndTheAllowedOnesAreNot) {
  const fs::path root =
      fs::temp_directory_path() / ("vorpane_layering_" + std::to_string(::getpid()));
  fs::remove_all(root);
  auto includes = [](std::initializer_list<const char*> headers) {
    std::string text;
    for (const char* header : headers)
      text += header[0] == '<' ? std::string("#include ") + header + "\n"
                               : std::string("#include \"") + header + "\"\n";
    return text;
  };
  WriteFile(root / "models3ds/File3DS.cpp",
            includes({"models3ds/Types3DS.h", "<vector>", "engine/Vectors.h"}));
  WriteFile(root / "engine/Mesh.cpp",
            includes({"demo/Frame.h"}) + "  # include \"effects/Draw2D.h\"\n");
  WriteFile(root / "effects/Fx.h",
            includes({"platform/ScriptError.h", "demo/ScriptError.h", "demo/Vorpane.h"}));
  WriteFile(root / "platform/Files.cpp", includes({"platform/Files.h", "demo/Frame.h"}));
  WriteFile(root / "demo/Demo.cpp", includes({"effects/Fx.h", "app/CommandLine.h"}));
  WriteFile(root / "demo/RunLoop.cpp", includes({"authoring/EditSession.h"}));
  WriteFile(root / "authoring/EditSession.cpp",
            includes({"demo/Vorpane.h", "authoring/EditControls.h", "app/CommandLine.h"}));
  WriteFile(root / "app/main.cpp",
            includes({"demo/Vorpane.h", "models3ds/File3DS.h", "authoring/ScriptCheck.h"}));
  WriteFile(root / "models3ds/Bridge.h", includes({"demo/Frame.h"}));
  WriteFile(root / "sync/Midi.cpp",
            includes({"sync/Demotrack.h", "platform/Files.h", "engine/Vectors.h"}));
  WriteFile(root / "effects/Beat.cpp", includes({"sync/Demotrack.h"}));
  WriteFile(root / "demo/Tracker.cpp", includes({"sync/Demotrack.h"}));

  std::vector<std::string> violations = LayeringViolations(root);
  std::sort(violations.begin(), violations.end());
  const std::vector<std::string> expected = {
      "authoring/EditSession.cpp: #include \"app/CommandLine.h\"",
      "demo/Demo.cpp: #include \"app/CommandLine.h\"",
      "demo/RunLoop.cpp: #include \"authoring/EditSession.h\"",
      "effects/Beat.cpp: #include \"sync/Demotrack.h\"",
      "effects/Fx.h: #include \"demo/ScriptError.h\"",
      "effects/Fx.h: #include \"demo/Vorpane.h\"",
      "engine/Mesh.cpp: #include \"demo/Frame.h\"",
      "engine/Mesh.cpp: #include \"effects/Draw2D.h\"",
      "models3ds/Bridge.h: #include \"demo/Frame.h\"",
      "models3ds/File3DS.cpp: #include \"engine/Vectors.h\"",
      "platform/Files.cpp: #include \"demo/Frame.h\"",
      "sync/Midi.cpp: #include \"engine/Vectors.h\"",
  };
  EXPECT_EQ(violations, expected);
  fs::remove_all(root);
}
