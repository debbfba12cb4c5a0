#include "sync/Demotrack.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

// How far a demotrack may claim more than its file holds: missing rows read as 0, but a header
// whose counts would need more memory than the file plus this much is refused.
constexpr uint64_t kShortFileAllowance = 16u << 20;
// Memory one channel costs besides its rows.
constexpr uint64_t kChannelOverhead = sizeof(std::vector<uint8_t>);
// Channels a file may claim without holding a byte for each: more than any music has (127 module
// channels, 16 MIDI channels). Past this every channel needs a byte of the file, so a few bytes
// cannot claim hundreds of thousands of empty channels that every reader then walks.
constexpr uint64_t kChannelsWithoutBytes = 256;

int32_t ReadInt32(const std::vector<uint8_t>& bytes, size_t offset) {
  uint8_t b[4] = {0, 0, 0, 0};  // bytes past the end of a short file read as 0
  for (size_t i = 0; i < 4; ++i)
    if (offset + i < bytes.size()) b[i] = bytes[offset + i];
  const uint32_t v = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                     static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
  return static_cast<int32_t>(v);
}

void PutInt32(std::vector<uint8_t>& out, int32_t value) {
  const uint32_t v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

size_t TDemotrackData::RowCount() const {
  size_t rows = 0;
  for (const auto& channel : Channels) rows = std::max(rows, channel.size());
  return rows;
}

double WrittenBpm(const TTrackGrid& grid, double musicBpm) {
  const double bpm = grid.Bpm > 0.0 ? grid.Bpm : musicBpm;
  return bpm * grid.RowsPerBeat / 4.0;
}

bool ParseDemotrackBytes(const std::vector<uint8_t>& bytes, TDemotrackData& out,
                         std::string& error) {
  out.Channels.clear();
  const int32_t channelCount = ReadInt32(bytes, 0);
  const int32_t rowCount = ReadInt32(bytes, 4);
  if (channelCount < 0 || rowCount < 0) {
    error = "has a negative count (" + std::to_string(channelCount) + " channels, " +
            std::to_string(rowCount) + " rows)";
    return false;
  }
  const uint64_t data = bytes.size() > 8 ? bytes.size() - 8 : 0;
  if (static_cast<uint64_t>(channelCount) > data + kChannelsWithoutBytes) {
    error = "claims " + std::to_string(channelCount) + " channels but holds only " +
            std::to_string(data) + " bytes of rows";
    return false;
  }
  const uint64_t needed = static_cast<uint64_t>(channelCount) *
                          (static_cast<uint64_t>(rowCount) + kChannelOverhead);
  if (needed > data + kShortFileAllowance) {
    error = "claims " + std::to_string(channelCount) + " channels of " +
            std::to_string(rowCount) + " rows but holds only " + std::to_string(data) +
            " bytes of rows";
    return false;
  }
  out.Channels.resize(static_cast<size_t>(channelCount));
  size_t offset = 8;
  for (std::vector<uint8_t>& channel : out.Channels) {
    channel.assign(static_cast<size_t>(rowCount), 0);
    if (offset < bytes.size()) {
      const size_t take = std::min(bytes.size() - offset, channel.size());
      if (take) std::memcpy(channel.data(), &bytes[offset], take);
    }
    offset += static_cast<size_t>(rowCount);
  }
  return true;
}

std::vector<uint8_t> DemotrackBytes(const TDemotrackData& data) {
  const size_t rows = data.RowCount();
  std::vector<uint8_t> bytes;
  bytes.reserve(8 + data.Channels.size() * rows);
  PutInt32(bytes, static_cast<int32_t>(data.Channels.size()));
  PutInt32(bytes, static_cast<int32_t>(rows));
  for (const auto& channel : data.Channels) {
    bytes.insert(bytes.end(), channel.begin(), channel.end());
    bytes.insert(bytes.end(), rows - channel.size(), 0);
  }
  return bytes;
}

bool WriteDemotrackFile(const std::string& fileName, const TDemotrackData& data,
                        std::string& error) {
  if (data.Channels.size() > 0x7fffffffu || data.RowCount() > 0x7fffffffu) {
    error = "too many channels or rows for a demotrack";
    return false;
  }
  const std::vector<uint8_t> bytes = DemotrackBytes(data);
  FILE* file = std::fopen(fileName.c_str(), "wb");
  if (!file) {
    error = "cannot write " + fileName;
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    error = "cannot write " + fileName;
    return false;
  }
  return true;
}

bool ParseDemotrackText(const std::string& text, TDemotrackData& out, std::string& error) {
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
        // The field as printable text, and not much of it: the file may be anything.
        std::string shown;
        for (char c : field.substr(0, 16)) shown += (c >= 0x20 && c < 0x7f) ? c : '?';
        if (field.size() > 16) shown += "...";
        error = "line " + std::to_string(lineNumber) + ": '" + shown + "' is not a value 0..255";
        return false;
      }
      row.push_back(static_cast<uint8_t>(value));
    }
    if (row.empty()) continue;  // blank and comment lines hold no row
    width = std::max(width, row.size());
    rows.push_back(std::move(row));
  }
  out.Channels.assign(width, std::vector<uint8_t>(rows.size(), 0));
  for (size_t r = 0; r < rows.size(); ++r)
    for (size_t c = 0; c < rows[r].size(); ++c) out.Channels[c][r] = rows[r][c];
  return true;
}

std::string DemotrackText(const TDemotrackData& data) {
  const size_t rows = data.RowCount();
  std::string text = "# " + std::to_string(data.Channels.size()) + " channels, " +
                     std::to_string(rows) + " rows; one line per row, '.' for 0\n";
  char cell[8];
  for (size_t r = 0; r < rows; ++r) {
    std::string line;
    for (size_t c = 0; c < data.Channels.size(); ++c) {
      const auto& channel = data.Channels[c];
      const unsigned value = r < channel.size() ? channel[r] : 0;
      if (value == 0)
        std::snprintf(cell, sizeof cell, "%4s", ".");
      else
        std::snprintf(cell, sizeof cell, "%4u", value);
      line += cell;
    }
    text += line + "\n";
  }
  return text;
}
