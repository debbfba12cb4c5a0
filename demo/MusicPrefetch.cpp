#include "demo/MusicPrefetch.h"

#include "demo/ScriptParser.h"
#include "platform/Files.h"
#include "platform/KestoBASS.h"

#include <sys/stat.h>


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
  // Lines are read as written, without macros: a read-ahead must cost nothing next to the
  // reading itself, and a LOADMUSIC or DATADIR line made by a macro only loses the head start.
  std::string folder;
  TParser parser;
  for (const std::string& line : lines) {
    if (line.find("LOADMUSIC") == std::string::npos && line.find("DATADIR") == std::string::npos)
      continue;
    ParseLine(parser, line);
    const TVDemoCommand& tokens = parser.Tokens;
    const std::string word = Token(tokens, 0);
    if (word == "DATADIR") {
      const std::string next = SeenFrom(folder, ParamText(tokens, 1));
      if (IsFolder(next)) folder = next;
    } else if (word == "LOADMUSIC") {
      PrefetchStream(SeenFrom(folder, Token(tokens, 1)));
    }
  }
}
