// The README's script command table and the fuzz dictionary follow the player's command table.
#include "demo/CommandTable.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

namespace {

// The cells of a Markdown table row, trimmed.
std::vector<std::string> Cells(const std::string& row) {
  std::vector<std::string> cells;
  std::stringstream in(row.substr(1));
  for (std::string cell; std::getline(in, cell, '|');) {
    const size_t first = cell.find_first_not_of(' ');
    if (first == std::string::npos) cells.emplace_back();
    else cells.push_back(cell.substr(first, cell.find_last_not_of(' ') - first + 1));
  }
  return cells;
}

// The texts between pairs of backquotes.
std::vector<std::string> Quoted(const std::string& cell) {
  std::vector<std::string> words;
  for (size_t open = cell.find('`'); open != std::string::npos;) {
    const size_t close = cell.find('`', open + 1);
    if (close == std::string::npos) break;
    words.push_back(cell.substr(open + 1, close - open - 1));
    open = cell.find('`', close + 1);
  }
  return words;
}

// A libFuzzer dictionary entry: "...", where \" and \\ are the only escapes used here.
bool IsDictionaryEntry(const std::string& line) {
  if (line.size() < 2 || line.front() != '"' || line.back() != '"') return false;
  for (size_t i = 1; i + 1 < line.size(); ++i) {
    if (line[i] == '"') return false;
    if (line[i] != '\\') continue;
    if (i + 2 >= line.size() || (line[i + 1] != '"' && line[i + 1] != '\\')) return false;
    ++i;
  }
  return true;
}

}  // namespace

TEST(CommandTable, ReadmeRowsShowEveryCommandWithItsArgumentsAndHelp) {
  std::ifstream readme(std::string(VORPANE_SOURCE_DIR) + "/README.md");
  std::string line;
  while (std::getline(readme, line) && line != "| Command | Arguments | What it does |") {
  }
  ASSERT_TRUE(std::getline(readme, line));  // the rule under the header
  std::map<std::string, int> shown;
  while (std::getline(readme, line) && !line.empty() && line[0] == '|') {
    const std::vector<std::string> cells = Cells(line);
    ASSERT_EQ(cells.size(), 3u) << line;
    for (const std::string& name : Quoted(cells[0])) {
      ++shown[name];
      const TScriptCommand* command = FindScriptCommand(name);
      ASSERT_NE(command, nullptr) << name << " is in the README but not in the command table";
      EXPECT_EQ(command->Usage, cells[1]) << name;
      // The README says at least the table's help, and may say more.
      EXPECT_EQ(cells[2].rfind(std::string(command->Help), 0), 0u) << name << ": " << cells[2];
    }
  }
  for (const std::string& name : ScriptCommandWords())
    EXPECT_EQ(shown[name], 1) << name << " should be in the README's command table once";
}

TEST(CommandTable, FuzzDictionaryQuotesEveryCommandWord) {
  const std::string dictionary = ScriptFuzzDictionary();
  std::stringstream lines(dictionary);
  int entries = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#') continue;
    ASSERT_TRUE(IsDictionaryEntry(line)) << line;
    ++entries;
  }
  for (const std::string& name : ScriptCommandWords())
    EXPECT_NE(dictionary.find("\"" + name + "\"\n"), std::string::npos) << name;
  EXPECT_GT(entries, static_cast<int>(ScriptCommandWords().size()));
}
