#include "demo/Tracker.h"

#include "platform/FatalError.h"
#include "platform/Files.h"
#include "platform/ScriptError.h"
#include "platform/Text.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

// How far a demotrack may claim more than its file holds: missing rows read as 0, but a header
// whose counts would need more memory than the file plus this much is refused.
constexpr uint64_t kShortFileAllowance = 16u << 20;
// Memory one channel costs besides its rows.
constexpr uint64_t kChannelOverhead = sizeof(std::vector<uint8_t>);

int32_t ReadInt32(const std::vector<uint8_t>& bytes, size_t offset) {
  uint8_t b[4] = {0, 0, 0, 0};  // bytes past the end of a short file read as 0
  for (size_t i = 0; i < 4; ++i)
    if (offset + i < bytes.size()) b[i] = bytes[offset + i];
  const uint32_t v = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                     static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
  return static_cast<int32_t>(v);
}

int32_t TruncateToRow(float value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0f) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

}  // namespace

void TDemoTracker::LoadDemotrack(const std::string& fileName) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(fileName, bytes))
    throw FatalError("Cannot open file " + PrintableText(fileName + NotFoundNote(fileName)));
  LoadDemotrackBytes(bytes, fileName);
}

void TDemoTracker::LoadDemotrackBytes(const std::vector<uint8_t>& bytes,
                                      const std::string& fileName) {
  Channels.clear();
  const int32_t channelCount = ReadInt32(bytes, 0);
  const int32_t rowCount = ReadInt32(bytes, 4);
  if (channelCount < 0 || rowCount < 0) {
    ScriptError("Demotrack " + fileName + " has a negative count (" +
                std::to_string(channelCount) + " channels, " + std::to_string(rowCount) +
                " rows)");
    return;
  }
  const uint64_t data = bytes.size() > 8 ? bytes.size() - 8 : 0;
  const uint64_t needed = static_cast<uint64_t>(channelCount) *
                          (static_cast<uint64_t>(rowCount) + kChannelOverhead);
  if (needed > data + kShortFileAllowance) {
    ScriptError("Demotrack " + fileName + " claims " + std::to_string(channelCount) +
                " channels of " + std::to_string(rowCount) + " rows but holds only " +
                std::to_string(data) + " bytes of rows");
    return;
  }
  Channels.resize(static_cast<size_t>(channelCount));
  size_t offset = 8;
  for (std::vector<uint8_t>& channel : Channels) {
    channel.assign(static_cast<size_t>(rowCount), 0);
    if (offset < bytes.size()) {
      const size_t available = bytes.size() - offset;
      const size_t take = available < channel.size() ? available : channel.size();
      if (take) std::memcpy(channel.data(), &bytes[offset], take);
    }
    offset += static_cast<size_t>(rowCount);
  }
}

int32_t TDemoTracker::TimeToRow(float seconds) const {
  float a = seconds * 4.0f;
  a = a * BPM;
  const float b = a / 60.0f;
  return TruncateToRow(b);
}

float TDemoTracker::RowToTime(int32_t row) const {
  if (BPM == 0.0f) return 0.0f;  // no tempo: every row is at time 0
  const long double seconds = (60.0L / static_cast<long double>(BPM)) *
                              (static_cast<long double>(row) / 4.0L);
  return static_cast<float>(seconds);
}

uint8_t TDemoTracker::ByteAt(int32_t channel, int32_t row) const {
  if (channel < 0 || static_cast<size_t>(channel) >= Channels.size()) return 0;
  const std::vector<uint8_t>& data = Channels[static_cast<size_t>(channel)];
  if (row < 0 || static_cast<size_t>(row) >= data.size()) return 0;
  return data[static_cast<size_t>(row)];
}

int32_t TDemoTracker::RowCount(int32_t channel) const {
  if (channel < 0 || static_cast<size_t>(channel) >= Channels.size()) return 0;
  return static_cast<int32_t>(Channels[static_cast<size_t>(channel)].size());
}

float TDemoTracker::Envelope(int32_t channel, uint8_t note, float width, float lookAhead,
                             float time) const {
  const int64_t now = TimeToRow(time);
  const int64_t back = static_cast<int64_t>(TimeToRow(width)) + 2;
  const int64_t ahead = static_cast<int64_t>(TimeToRow(lookAhead)) + 2;
  if (channel < 0 || static_cast<size_t>(channel) >= Channels.size()) {
    ScriptError("Error reading demotrack " + std::to_string(channel));
    return 0.0f;
  }
  // A triangle of no width has no area: it never raises the input (and never divides by 0).
  if (!(width > 0.0f)) return 0.0f;
  const std::vector<uint8_t>& data = Channels[static_cast<size_t>(channel)];
  // Row 0 never counts; rows outside the channel are not read.
  const int64_t first = std::max<int64_t>(now - back, 1);
  const int64_t last = std::min<int64_t>(now + ahead, static_cast<int64_t>(data.size()) - 1);
  float sum = 0.0f;
  for (int64_t i = first; i <= last; ++i) {
    if (data[static_cast<size_t>(i)] != note) continue;
    const float d = std::fabs(time - RowToTime(static_cast<int32_t>(i)));
    float v = (width - d) / width;
    if (v < 0.0f) v = 0.0f;
    sum = sum + v;
  }
  return sum;
}
