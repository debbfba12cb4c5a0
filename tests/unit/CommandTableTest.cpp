// The README's script command table and the fuzz dictionary follow the player's command table.
#include "demo/CommandTable.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
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

}  // namespace

TEST(CommandTable, ReadmeRowsShowEveryCommandWithItsArgumentsAndHelp) {
  std::ifstream readme(std::string(VORPANE_SOURCE_DIR) + "/README.md");
  std::string line;
  while (std::getline(readme, line) && line != "| Command | Arguments | What it does |") {
  }
  ASSERT_TRUE(std::getline(readme, line));  // the rule under the header
  std::map<std::string, int> shown;
  const std::regex word("`([^`]+)`");
  while (std::getline(readme, line) && !line.empty() && line[0] == '|') {
    const std::vector<std::string> cells = Cells(line);
    ASSERT_EQ(cells.size(), 3u) << line;
    for (std::sregex_iterator it(cells[0].begin(), cells[0].end(), word), end; it != end; ++it) {
      const std::string name = (*it)[1];
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
    // libFuzzer reads "..." with \" and \\ as the only escapes used here.
    ASSERT_TRUE(std::regex_match(line, std::regex(R"("([^"\\]|\\["\\])*")"))) << line;
    ++entries;
  }
  for (const std::string& name : ScriptCommandWords())
    EXPECT_NE(dictionary.find("\"" + name + "\"\n"), std::string::npos) << name;
  EXPECT_GT(entries, static_cast<int>(ScriptCommandWords().size()));
}
