#include "demo/MusicPrefetch.h"

#include "demo/ScriptParser.h"
#include "platform/Files.h"
#include "platform/KestoBASS.h"

#include <sys/stat.h>

#include <algorithm>

namespace {

// A name as seen from the starting folder after DATADIR has moved to `folder`.
std::string SeenFrom(const std::string& folder, const std::string& name) {
  if (folder.empty() || name.empty() || name[0] == '/') return name;
  return folder + "/" + name;
}

bool IsFolder(const std::string& name) {
  struct stat st;
  return ::stat(ResolveFileName(name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

void PrefetchScriptMusic(const std::vector<std::string>& lines) {
  std::vector<std::string> names, values;
  std::string folder;
  TParser parser;
  for (std::string line : lines) {
    ApplyMacros(line, names, values);
    ParseLine(parser, line);
    const TVDemoCommand& tokens = parser.Tokens;
    const std::string word = Token(tokens, 0);
    if (word == "REGISTER") {
      names.push_back(Token(tokens, 1));
      values.push_back(ParamText(tokens, 2));
    } else if (word == "UNREGISTER") {
      const auto value = std::find(values.begin(), values.end(), ParamText(tokens, 1));
      if (value != values.end()) {
        names.erase(names.begin() + (value - values.begin()));
        values.erase(value);
      }
    } else if (word == "DATADIR") {
      const std::string next = SeenFrom(folder, ParamText(tokens, 1));
      if (IsFolder(next)) folder = next;
    } else if (word == "LOADMUSIC") {
      PrefetchStream(SeenFrom(folder, Token(tokens, 1)));
    }
  }
}
