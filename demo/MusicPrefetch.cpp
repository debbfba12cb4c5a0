#include "demo/MusicPrefetch.h"

#include "demo/ScriptParser.h"
#include "platform/KestoBASS.h"

void PrefetchScriptMusic(const TReadContext& scriptFiles, const std::vector<std::string>& lines) {
  // Lines are read as written, without macros: a read-ahead must cost nothing next to the
  // reading itself, and a LOADMUSIC or DATADIR line made by a macro only loses the head start.
  TReadContext files = scriptFiles;
  TParser parser;
  for (const std::string& line : lines) {
    if (line.find("LOADMUSIC") == std::string::npos && line.find("DATADIR") == std::string::npos)
      continue;
    ParseLine(parser, line);
    const TVDemoCommand& tokens = parser.Tokens;
    const std::string word = Token(tokens, 0);
    if (word == "DATADIR")
      files.EnterFolder(ParamText(tokens, 1));
    else if (word == "LOADMUSIC")
      PrefetchStream(Token(tokens, 1), files);
  }
}
