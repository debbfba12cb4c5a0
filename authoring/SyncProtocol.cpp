// Reading and writing the sync editor's commands. The stream has no framing: a misread byte
// leaves every later command misread, so the first impossible byte ends the reading.
#include "authoring/SyncProtocol.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

enum : uint8_t {
  kSetKey = 0,
  kDeleteKey = 1,
  kGetTrack = 2,
  kSetRow = 3,
  kPause = 4,
  kSaveTracks = 5,
};

// The whole length of a command from the editor by its first byte (0: not one it sends).
size_t CommandLength(uint8_t command) {
  switch (command) {
    case kSetKey: return 14;
    case kDeleteKey: return 9;
    case kSetRow: return 5;
    case kPause: return 2;
    case kSaveTracks: return 1;
    default: return 0;
  }
}

uint32_t ReadU32(const uint8_t* at) {
  return (uint32_t(at[0]) << 24) | (uint32_t(at[1]) << 16) | (uint32_t(at[2]) << 8) | at[3];
}

void AppendU32(std::vector<uint8_t>& out, uint32_t value) {
  const uint8_t bytes[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8),
                            uint8_t(value)};
  out.insert(out.end(), bytes, bytes + 4);
}

// Reads one whole command at `at` (its length already checked). False with the reason.
bool ReadCommand(const uint8_t* at, size_t registeredTracks, TSyncCommand& command,
                 std::string& reason) {
  const uint8_t kind = at[0];
  if (kind == kSetKey || kind == kDeleteKey) {
    command.Kind = kind == kSetKey ? TSyncCommandKind::SetKey : TSyncCommandKind::DeleteKey;
    command.Track = ReadU32(at + 1);
    if (command.Track >= registeredTracks) {
      reason = "track " + std::to_string(command.Track) + " was never registered (" +
               std::to_string(registeredTracks) + " are)";
      return false;
    }
  }
  if (kind == kSetKey || kind == kDeleteKey || kind == kSetRow) {
    const uint32_t row = ReadU32(at + (kind == kSetRow ? 1 : 5));
    if (row > 0x7fffffffu) {
      reason = "row " + std::to_string(row) + " is out of range";
      return false;
    }
    command.Key.Row = static_cast<int>(row);
  }
  switch (kind) {
    case kSetKey: {
      const uint32_t bits = ReadU32(at + 9);
      std::memcpy(&command.Key.Value, &bits, 4);
      if (!std::isfinite(command.Key.Value)) {
        reason = "a key value is not a finite number";
        return false;
      }
      if (at[13] > kMaxKeyType) {
        reason = "key type " + std::to_string(at[13]) + " is unknown";
        return false;
      }
      command.Key.Type = static_cast<TKeyType>(at[13]);
      return true;
    }
    case kSetRow:
      command.Kind = TSyncCommandKind::SetRow;
      return true;
    case kPause:
      command.Kind = TSyncCommandKind::Pause;
      command.Paused = at[1] != 0;
      return true;
    case kSaveTracks:
      command.Kind = TSyncCommandKind::SaveTracks;
      return true;
    default:
      return true;  // DeleteKey: track and row are read
  }
}

}  // namespace

TSyncGreeting TakeSyncGreeting(std::vector<uint8_t>& bytes) {
  const size_t length = sizeof kSyncEditorGreeting - 1;
  const size_t have = std::min(bytes.size(), length);
  if (have == 0) return TSyncGreeting::Incomplete;
  if (std::memcmp(bytes.data(), kSyncEditorGreeting, have) != 0) return TSyncGreeting::Refused;
  if (have < length) return TSyncGreeting::Incomplete;
  bytes.erase(bytes.begin(), bytes.begin() + length);
  return TSyncGreeting::Accepted;
}

bool TakeSyncCommands(std::vector<uint8_t>& bytes, size_t registeredTracks,
                      std::vector<TSyncCommand>& commands, std::string& reason) {
  size_t at = 0;
  bool ok = true;
  while (at < bytes.size()) {
    const size_t length = CommandLength(bytes[at]);
    if (length == 0) {
      reason = "unknown command byte " + std::to_string(bytes[at]);
      ok = false;
      break;
    }
    if (bytes.size() - at < length) break;
    TSyncCommand command;
    if (!ReadCommand(bytes.data() + at, registeredTracks, command, reason)) {
      ok = false;
      break;
    }
    commands.push_back(command);
    at += length;
  }
  bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
  return ok;
}

void AppendGetTrack(std::vector<uint8_t>& out, const std::string& name) {
  out.push_back(kGetTrack);
  AppendU32(out, static_cast<uint32_t>(name.size()));
  out.insert(out.end(), name.begin(), name.end());
}

void AppendSetRow(std::vector<uint8_t>& out, uint32_t row) {
  out.push_back(kSetRow);
  AppendU32(out, row);
}
