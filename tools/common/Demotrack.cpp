#include "common/Demotrack.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

void PutInt32(std::vector<uint8_t>& out, int32_t value) {
  const uint32_t v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

bool WriteDemotrack(const std::string& fileName, const TDemotrackGrid& channels) {
  const size_t rows = channels.empty() ? 0 : channels[0].size();
  for (const auto& channel : channels)
    if (channel.size() != rows) return false;
  std::vector<uint8_t> bytes;
  PutInt32(bytes, static_cast<int32_t>(channels.size()));
  PutInt32(bytes, static_cast<int32_t>(rows));
  for (const auto& channel : channels) bytes.insert(bytes.end(), channel.begin(), channel.end());
  FILE* file = std::fopen(fileName.c_str(), "wb");
  if (!file) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

bool ParseDemotrackText(const std::string& text, TDemotrackGrid& channels, std::string& error) {
  std::vector<std::vector<uint8_t>> rows;
  size_t width = 0;
  std::istringstream lines(text);
  std::string line;
  int lineNumber = 0;
  while (std::getline(lines, line)) {
    ++lineNumber;
    const size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream fields(line);
    std::vector<uint8_t> row;
    std::string field;
    while (fields >> field) {
      if (field == ".") {
        row.push_back(0);
        continue;
      }
      char* end = nullptr;
      const long value = std::strtol(field.c_str(), &end, 10);
      if (*end != '\0' || value < 0 || value > 255) {
        error = "line " + std::to_string(lineNumber) + ": '" + field + "' is not a value 0..255";
        return false;
      }
      row.push_back(static_cast<uint8_t>(value));
    }
    if (row.empty()) continue;  // blank and comment lines hold no row
    width = std::max(width, row.size());
    rows.push_back(std::move(row));
  }
  channels.assign(width, std::vector<uint8_t>(rows.size(), 0));
  for (size_t r = 0; r < rows.size(); ++r)
    for (size_t c = 0; c < rows[r].size(); ++c) channels[c][r] = rows[r][c];
  return true;
}
