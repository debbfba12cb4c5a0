// The sync editor client: connection and retry, greeting, track registration, keys, and the
// editor's requests.
#include "authoring/SyncLink.h"

#include "authoring/SyncProtocol.h"
#include "platform/NetLink.h"

#include <cmath>
#include <cstdio>
#include <map>

namespace {

constexpr uint16_t kDefaultSyncPort = 1338;
// Seconds between attempts to reach the editor.
constexpr double kRetrySeconds = 1.0;
// Seconds a connected editor has to answer the greeting.
constexpr double kGreetingSeconds = 5.0;
// The most bytes taken from the socket in one poll: a flood cannot stall a frame.
constexpr size_t kMaxBytesPerPoll = 1u << 20;

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

bool ParseSyncAddress(const std::string& text, std::string& host, uint16_t& port,
                      std::string& error) {
  std::string hostPart = text, portPart;
  const size_t bracket = text.find(']');
  const size_t colon = text.rfind(':');
  if (!text.empty() && text[0] == '[' && bracket != std::string::npos) {
    // [IPv6]:PORT
    hostPart = text.substr(1, bracket - 1);
    if (bracket + 1 < text.size()) {
      if (text[bracket + 1] != ':') hostPart.clear();
      portPart = text.substr(bracket + 2);
      if (portPart.empty()) portPart = "-";
    }
  } else if (AllDigits(text)) {
    hostPart = "localhost";
    portPart = text;
  } else if (colon != std::string::npos && text.find(':') == colon) {
    hostPart = text.substr(0, colon);
    portPart = text.substr(colon + 1);
    if (portPart.empty()) portPart = "-";
  }
  if (hostPart.empty()) {
    error = "--sync needs [HOST:]PORT, not \"" + text + "\"";
    return false;
  }
  unsigned long number = kDefaultSyncPort;
  if (!portPart.empty()) {
    number = AllDigits(portPart) && portPart.size() <= 5 ? std::stoul(portPart) : 0;
    if (number < 1 || number > 65535) {
      error = "--sync: the port must be a number from 1 to 65535, not \"" + portPart + "\"";
      return false;
    }
  }
  host = hostPart;
  port = static_cast<uint16_t>(number);
  return true;
}

struct TSyncLink::TImpl {
  std::string Host;
  uint16_t Port = 0;
  std::string Address;
  TNetLink Net;
  std::vector<std::string> Registered;  // in registration order: the track numbers
  bool Greeted = false;                 // the editor answered; commands flow
  bool GreetingSent = false;
  size_t SentTracks = 0;                // tracks registered on this connection
  double ConnectStarted = 0.0;
  double NextAttempt = -1e300;
  bool Attempting = false;              // a connection is being made or is up
  std::vector<uint8_t> Received;        // bytes not read yet
  int64_t LastRowSent = -1;
  std::string LastReason;
  std::string LastReported;             // the last failure printed (repeats are not)
  std::map<std::string, TKeyedTrack> EditorKeys;  // the editor's keys since it connected

  void Drop(const std::string& reason, double now) {
    // A connection that was up, or a fault in what it sent, is always worth a line; an editor
    // that is not there says so once.
    if (Greeted || reason != LastReported) {
      std::fprintf(stderr, "vorpane: sync editor at %s: %s; retrying\n", Address.c_str(),
                   reason.c_str());
      std::fflush(stderr);
    }
    LastReported = reason;
    LastReason = reason;
    Net.Close();
    Received.clear();
    Greeted = false;
    Attempting = false;
    NextAttempt = now + kRetrySeconds;
  }

  void Start(double now) {
    Attempting = true;
    GreetingSent = false;
    Greeted = false;
    SentTracks = 0;
    LastRowSent = -1;
    Received.clear();
    ConnectStarted = now;
    Net.Connect(Host, Port);
  }

  void GreetOnceConnected() {
    if (Net.State() != TNetLinkState::Connected || GreetingSent) return;
    Net.Send(reinterpret_cast<const uint8_t*>(kSyncClientGreeting), sizeof kSyncClientGreeting - 1);
    GreetingSent = true;
  }

  void SendCommands(const std::vector<uint8_t>& bytes) { Net.Send(bytes.data(), bytes.size()); }

  // Registers the tracks not registered on this connection; their keys are the editor's now.
  void RegisterPending(TKeyedTrackSet& tracks) {
    std::vector<uint8_t> out;
    for (; SentTracks < Registered.size(); ++SentTracks) {
      const std::string& name = Registered[SentTracks];
      AppendGetTrack(out, name);
      tracks.Track(name).SetAllKeys({});
      EditorKeys[name].SetAllKeys({});
    }
    if (!out.empty()) SendCommands(out);
  }

  void Apply(const TSyncCommand& command, TKeyedTrackSet& tracks, TSyncRequests& requests) {
    switch (command.Kind) {
      case TSyncCommandKind::SetKey: {
        const std::string& name = Registered[command.Track];
        tracks.Track(name).SetKey(command.Key);
        EditorKeys[name].SetKey(command.Key);
        ++requests.KeysChanged;
        break;
      }
      case TSyncCommandKind::DeleteKey: {
        const std::string& name = Registered[command.Track];
        tracks.Track(name).DeleteKey(command.Key.Row);
        EditorKeys[name].DeleteKey(command.Key.Row);
        ++requests.KeysChanged;
        break;
      }
      case TSyncCommandKind::SetRow:
        requests.Seek = true;
        requests.Row = command.Key.Row;
        break;
      case TSyncCommandKind::Pause:
        requests.PauseGiven = true;
        requests.Paused = command.Paused;
        break;
      case TSyncCommandKind::SaveTracks:
        requests.Save = true;
        break;
    }
  }
};

TSyncLink::TSyncLink(const std::string& host, uint16_t port) : impl_(new TImpl) {
  impl_->Host = host;
  impl_->Port = port;
  impl_->Address = host + ":" + std::to_string(port);
}

TSyncLink::~TSyncLink() = default;

void TSyncLink::Register(const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    bool known = false;
    for (const std::string& registered : impl_->Registered) known = known || registered == name;
    if (!known) impl_->Registered.push_back(name);
  }
}

TSyncRequests TSyncLink::Poll(TKeyedTrackSet& tracks, double now) {
  TImpl& link = *impl_;
  TSyncRequests requests;
  if (!link.Attempting) {
    if (now < link.NextAttempt) return requests;
    link.Start(now);
  }
  link.GreetOnceConnected();
  link.Net.Poll(link.Received, kMaxBytesPerPoll);
  link.GreetOnceConnected();
  if (!link.Greeted) {
    const TSyncGreeting greeting = TakeSyncGreeting(link.Received);
    if (greeting == TSyncGreeting::Refused) {
      link.Drop("it did not answer as a sync editor does", now);
      return requests;
    }
    if (greeting == TSyncGreeting::Accepted) {
      link.Greeted = true;
      link.LastReported.clear();
      link.EditorKeys.clear();
      std::fprintf(stderr, "vorpane: sync editor at %s connected\n", link.Address.c_str());
      std::fflush(stderr);
    }
  }
  if (link.Greeted) {
    link.RegisterPending(tracks);
    std::vector<TSyncCommand> commands;
    std::string reason;
    const bool ok = TakeSyncCommands(link.Received, link.SentTracks, commands, reason);
    for (const TSyncCommand& command : commands) link.Apply(command, tracks, requests);
    if (!ok) {
      link.Drop(reason, now);
      return requests;
    }
  }
  const TNetLinkState state = link.Net.State();
  if (state == TNetLinkState::Failed || state == TNetLinkState::Closed) {
    link.Drop(link.Net.Reason().empty() ? "the connection was closed" : link.Net.Reason(), now);
  } else if (!link.Greeted && now - link.ConnectStarted > kGreetingSeconds) {
    link.Drop(state == TNetLinkState::Connecting ? "no answer to the connection"
                                                 : "no answer to the greeting",
              now);
  }
  return requests;
}

void TSyncLink::SendRow(double row) {
  TImpl& link = *impl_;
  if (!link.Greeted || !std::isfinite(row) || row < 0.0 || row > 4294967295.0) return;
  const int64_t whole = static_cast<int64_t>(std::floor(row));
  if (whole == link.LastRowSent) return;
  link.LastRowSent = whole;
  std::vector<uint8_t> out;
  AppendSetRow(out, static_cast<uint32_t>(whole));
  link.SendCommands(out);
}

void TSyncLink::ApplyEditorKeys(TKeyedTrackSet& tracks) const {
  for (const auto& named : impl_->EditorKeys) tracks.Track(named.first).SetAllKeys(named.second.Keys());
}

bool TSyncLink::Connected() const { return impl_->Greeted; }

const std::string& TSyncLink::Address() const { return impl_->Address; }

const std::string& TSyncLink::LastReason() const { return impl_->LastReason; }

const std::vector<std::string>& TSyncLink::Registered() const { return impl_->Registered; }
