// The sync editor's wire format, as pure functions over bytes: the greetings, the commands an
// editor sends (set key, delete key, seek, pause, save) and the two a player sends (register a
// track, the row playing). Numbers are big-endian u32; a value is a float's bit pattern.
#pragma once
#include "sync/KeyedTracks.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What the player says first, and what the editor answers.
constexpr char kSyncClientGreeting[] = "hello, synctracker!";
constexpr char kSyncEditorGreeting[] = "hello, demo!";

enum class TSyncCommandKind : uint8_t { SetKey, DeleteKey, SetRow, Pause, SaveTracks };

// One command from the editor.
struct TSyncCommand {
  TSyncCommandKind Kind = TSyncCommandKind::SetRow;
  uint32_t Track = 0;  // SetKey, DeleteKey: the track's number in the order it was registered
  TTrackKey Key;       // SetKey: the key; DeleteKey: its Row; SetRow: Row is the row sought
  bool Paused = false; // Pause
};

enum class TSyncGreeting { Incomplete, Accepted, Refused };

// Looks at the first bytes from the editor: Accepted once they hold its whole greeting (the
// greeting's bytes are then removed), Refused as soon as they differ from it.
TSyncGreeting TakeSyncGreeting(std::vector<uint8_t>& bytes);
// Takes every complete command from the front of `bytes` into `commands`, leaving an incomplete
// tail for later. False with a one-line reason at the first byte that cannot be right (unknown
// command, key type above 3, value not finite, row above 2^31 - 1, track number not below
// `registeredTracks`); the commands before it are still given.
bool TakeSyncCommands(std::vector<uint8_t>& bytes, size_t registeredTracks,
                      std::vector<TSyncCommand>& commands, std::string& reason);
// Appends the command that registers a track by name.
void AppendGetTrack(std::vector<uint8_t>& out, const std::string& name);
// Appends the command telling the editor the row playing.
void AppendSetRow(std::vector<uint8_t>& out, uint32_t row);
