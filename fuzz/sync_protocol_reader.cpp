// Fuzzes the reader of a sync editor's commands. The first byte says how many tracks are
// registered; the rest arrives in pieces of the sizes the next bytes give, as a socket hands it
// over. Whatever the split, the commands read are the same as from the whole stream at once.
#include "authoring/SyncProtocol.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

bool SameCommand(const TSyncCommand& a, const TSyncCommand& b) {
  return a.Kind == b.Kind && a.Track == b.Track && a.Key.Row == b.Key.Row &&
         a.Key.Type == b.Key.Type && std::memcmp(&a.Key.Value, &b.Key.Value, 4) == 0 &&
         a.Paused == b.Paused;
}

void CheckCommand(const TSyncCommand& command, size_t tracks) {
  const bool keyed =
      command.Kind == TSyncCommandKind::SetKey || command.Kind == TSyncCommandKind::DeleteKey;
  if ((keyed && command.Track >= tracks) || command.Key.Row < 0 ||
      static_cast<int>(command.Key.Type) > kMaxKeyType || !std::isfinite(command.Key.Value))
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t tracks = data[0] % 8;
  const size_t piece = 1 + data[1] % 16;
  const std::vector<uint8_t> stream(data + 2, data + size);

  std::vector<uint8_t> whole = stream;
  std::vector<TSyncCommand> once;
  std::string reason;
  const bool wholeOk = TakeSyncCommands(whole, tracks, once, reason);
  if (!wholeOk && reason.empty()) std::abort();
  if (wholeOk && whole.size() >= 14) std::abort();  // no command is longer than 14 bytes

  std::vector<uint8_t> pending;
  std::vector<TSyncCommand> split;
  bool splitOk = true;
  for (size_t at = 0; at < stream.size() && splitOk; at += piece) {
    pending.insert(pending.end(), stream.begin() + at,
                   stream.begin() + std::min(stream.size(), at + piece));
    splitOk = TakeSyncCommands(pending, tracks, split, reason);
  }
  if (splitOk != wholeOk || split.size() != once.size()) std::abort();
  for (size_t i = 0; i < once.size(); ++i) {
    CheckCommand(once[i], tracks);
    if (!SameCommand(once[i], split[i])) std::abort();
  }
  std::vector<uint8_t> greeting(stream);
  const TSyncGreeting answer = TakeSyncGreeting(greeting);
  if (answer == TSyncGreeting::Accepted && greeting.size() + 12 != stream.size()) std::abort();
  return 0;
}
