// One reset puts the process-wide state back as a fresh process has it (the test binaries call
// it before every test; here it is called between the steps of one test), and the list of that
// state leaves out no mutable global of the built libraries.
#include "common/TestAudio.h"
#include "demo/ProcessState.h"
#include "effects/VoxelGrid.h"
#include "engine/KGL2Lights.h"
#include "engine/KGL2Textures.h"
#include "engine/KGL2_3ds.h"
#include "engine/Vectors.h"
#include "platform/Dialogs.h"
#include "platform/KestoBASS.h"
#include "platform/KestoGL2.h"
#include "support/TestSystem.h"

#include <cxxabi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

TEST(ProcessState, OneResetGivesEveryModuleItsStartingState) {
  // Draws of a fresh process.
  ResetProcessState();
  const double first = UniformRandom(), second = UniformRandom();

  const std::string music = MakeTempFolder() + "/music.wav";
  std::string error;
  ASSERT_TRUE(WriteAudioFile(music, MakeClickTrack(8000, 1, 1.0), TAudioFormat::Wav, error));
  ASSERT_TRUE(InitAudio(nullptr));
  EXPECT_EQ(OpenStream(music), 1u);
  EXPECT_EQ(OpenStream(music), 2u);
  RegisterTexture("a.bmp", 7);
  CurrentLight.Light = GL_LIGHT3;
  CreateModelLoader();
  VoxelAngles = TVec3{10, 20, 30};
  CurrentWindow.Width = 1234;
  KeyTable[27] = 1;
  ShowErrorBox("Error", "an error before the reset");

  ResetProcessState();
  EXPECT_EQ(UniformRandom(), first);
  EXPECT_EQ(UniformRandom(), second);
  EXPECT_TRUE(TextureRegistry.empty());
  EXPECT_EQ(FindRegisteredTexture("a.bmp"), NoTexture);
  EXPECT_EQ(CurrentLight.Light, 0u);
  EXPECT_EQ(ModelLoader, nullptr);
  EXPECT_EQ(VoxelAngles.X, 0.0f);
  EXPECT_EQ(CurrentWindow.Width, 0);
  EXPECT_EQ(KeyTable[27], 0);
  EXPECT_EQ(ErrorBoxCount(), 0);
  EXPECT_TRUE(LastErrorBoxText().empty());
  // The audio device is tried again and streams are numbered from 1 again.
  EXPECT_EQ(StreamFrequency(1), 0u);
  EXPECT_TRUE(InitAudio(nullptr));
  EXPECT_EQ(OpenStream(music), 1u);
}

namespace {

// Writable data that is not process-wide state: set once before use and only read after.
struct TConstantAfterInit {
  const char* Module;  // the object file's stem
  const char* Name;
  const char* Reason;
};
const TConstantAfterInit kConstantAfterInit[] = {
    {"DemoCommands", "kCommands", "the command table, built before main and only read"},
    {"DemoCommands", "byWord", "the command table by word, built on first use, only read"},
    {"Spectrum", "plan", "the FFT plan, made on first use and only used after"},
    {"Demo", "host", "the player's script host: a table of functions, no data of its own"},
};

std::string Demangled(const std::string& symbol) {
  int status = 0;
  char* text = abi::__cxa_demangle(symbol.c_str(), nullptr, nullptr, &status);
  std::string name = status == 0 && text ? text : symbol;
  std::free(text);
  return name;
}

// The variable's own name: the last component outside brackets, without an ABI tag.
std::string OwnName(std::string name) {
  const size_t tag = name.rfind("[abi:");
  if (tag != std::string::npos && name.back() == ']') name.erase(tag);
  int depth = 0;
  for (size_t i = name.size(); i-- > 1;) {
    const char c = name[i];
    if (c == ')' || c == '>') ++depth;
    if (c == '(' || c == '<') --depth;
    if (depth == 0 && c == ':' && name[i - 1] == ':') return name.substr(i + 1);
  }
  return name;
}

// Adds "module name" of every mutable variable the static library defines in writable data
// (not the compiler's and sanitizers' own symbols, not library headers' std:: and CLI:: ones);
// returns the number of symbols nm listed.
int AddWritableGlobals(const std::string& library, std::set<std::string>& globals) {
  FILE* pipe = ::popen(("nm -f sysv -A --defined-only '" + library + "' 2>/dev/null").c_str(), "r");
  if (!pipe) return 0;
  int symbols = 0;
  char buffer[8192];
  while (std::fgets(buffer, sizeof buffer, pipe)) {
    // "library:object.cpp.o:symbol |value|class|type|size|line|section"
    std::vector<std::string> fields;
    std::stringstream line(buffer);
    for (std::string field; std::getline(line, field, '|');)
      fields.push_back(field.substr(0, field.find_last_not_of(" \n") + 1));
    if (fields.size() < 7) continue;
    ++symbols;
    const std::string& section = fields[6];
    const bool writable = section.rfind(".data", 0) == 0 || section.rfind(".bss", 0) == 0 ||
                          section.rfind(".tdata", 0) == 0 || section.rfind(".tbss", 0) == 0;
    if (!writable || section.rfind(".data.rel.ro", 0) == 0) continue;
    const size_t objectEnd = fields[0].rfind(".o:");
    if (objectEnd == std::string::npos) continue;
    const size_t objectStart = fields[0].rfind(':', objectEnd) + 1;
    const std::string object = fields[0].substr(objectStart, objectEnd - objectStart);
    const std::string symbol = fields[0].substr(objectEnd + 3);
    if (symbol.empty() || symbol[0] == '.' || symbol.rfind("__", 0) == 0 ||
        symbol.rfind("DW.ref.", 0) == 0 || symbol.rfind("_ZGV", 0) == 0)
      continue;
    const std::string name = Demangled(symbol);
    if (name.rfind("std::", 0) == 0 || name.rfind("CLI::", 0) == 0) continue;
    globals.insert(object.substr(0, object.find('.')) + " " + OwnName(name));
  }
  ::pclose(pipe);
  return symbols;
}

// "Module name" of every variable the list in demo/ProcessState.h names.
std::set<std::string> ListedGlobals() {
  std::ifstream file(std::string(VORPANE_SOURCE_DIR) + "/demo/ProcessState.h");
  std::set<std::string> listed;
  std::string line, module, name;
  int depth = 0;  // brackets still open from the line before
  while (std::getline(file, line)) {
    // An entry "//   folder/Module.h  names", or its continuation indented under the names.
    size_t text = line.rfind("//", 0) == 0 ? line.find_first_not_of(' ', 2) : 0;
    if (text == std::string::npos) text = 0;
    const size_t end = line.find(' ', text);
    const std::string first = line.substr(text, end - text);
    const size_t slash = first.find('/');
    if (text == 5 && slash != std::string::npos && first.size() > 2 &&
        first.compare(first.size() - 2, 2, ".h") == 0) {
      module = first.substr(slash + 1, first.size() - slash - 3);
      depth = 0;
    } else if (module.empty() || text <= 20) {
      module.clear();
      continue;
    }
    // Names are separated by commas; what stands in brackets describes them.
    const std::string names = line.substr(text == 5 ? std::min(end, line.size()) : text) + ",";
    for (char c : names) {
      if (c == '(' || c == ')') {
        depth += c == '(' ? 1 : -1;
      } else if (depth == 0 && c == ',') {
        std::stringstream word(name);
        if (word >> name) listed.insert(module + " " + name);
        name.clear();
      } else if (depth == 0) {
        name += c;
      }
    }
  }
  return listed;
}

}  // namespace

TEST(ProcessState, EveryMutableGlobalOfTheProductIsListed) {
  if (kWindowsBuild)
    GTEST_SKIP() << "nm of the build machine lists the globals; the native build checks the same sources";
  std::set<std::string> found;
  std::stringstream libraries(VORPANE_PRODUCT_LIBRARIES);
  for (std::string library; std::getline(libraries, library, ',');)
    ASSERT_GT(AddWritableGlobals(library, found), 0) << "nm listed nothing in " << library;
  // (A compiler may also put some of them in read-only data.)
  for (const TConstantAfterInit& constant : kConstantAfterInit)
    found.erase(std::string(constant.Module) + " " + constant.Name);
  const std::set<std::string> listed = ListedGlobals();
  for (const std::string& global : found)
    EXPECT_TRUE(listed.count(global)) << global << " is not in the list of demo/ProcessState.h";
  for (const std::string& name : listed)
    EXPECT_TRUE(found.count(name)) << name << " is listed but no library defines it";
}
