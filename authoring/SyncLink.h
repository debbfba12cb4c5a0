// The live link to a sync editor: the player connects as its client, registers the tracks it
// uses, takes the keys the editor sends into a track set at once, and hears the editor's seeks,
// pauses and save requests. Nothing here blocks: each poll does what the socket allows, and a
// lost editor is tried again about once a second while the last values stay.
#pragma once
#include "sync/KeyedTracks.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// What the editor asked for since the last poll (the last seek and pause when it sent several).
struct TSyncRequests {
  bool Seek = false;
  int32_t Row = 0;            // the row sought
  bool PauseGiven = false;
  bool Paused = false;        // the pause asked for
  bool Save = false;          // the player is to write its track files
  size_t KeysChanged = 0;     // keys set or deleted
};

// "HOST:PORT", "PORT" (on localhost) or "HOST" (port 1338). False with a message when the port
// is not a number from 1 to 65535 or the host is empty.
bool ParseSyncAddress(const std::string& text, std::string& host, uint16_t& port,
                      std::string& error);

class TSyncLink {
 public:
  // Connects on the first poll.
  TSyncLink(const std::string& host, uint16_t port);
  ~TSyncLink();
  TSyncLink(const TSyncLink&) = delete;
  TSyncLink& operator=(const TSyncLink&) = delete;

  // Registers the names not registered yet, after the others: a track's number never changes.
  void Register(const std::vector<std::string>& names);
  // One step at `now` (seconds on a monotonic clock): connects or retries, greets, registers,
  // applies the editor's keys to `tracks` and reports what else it asked for. On each new
  // connection the registered tracks lose their keys first: the editor's keys replace them.
  TSyncRequests Poll(TKeyedTrackSet& tracks, double now);
  // Tells the editor the row playing when its whole part changed since the last one told.
  void SendRow(double row);
  // Gives a rebuilt track set the keys the editor has sent (a reloaded script's tracks).
  void ApplyEditorKeys(TKeyedTrackSet& tracks) const;

  // The editor answered the greeting and the link is up.
  bool Connected() const;
  // "HOST:PORT".
  const std::string& Address() const;
  // Why the link last went down (empty while it never did).
  const std::string& LastReason() const;
  // Tracks registered, in their order.
  const std::vector<std::string>& Registered() const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};
