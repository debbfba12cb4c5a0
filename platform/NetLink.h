// A TCP client that never blocks the caller: the connect runs in the background and is looked at
// on each poll, what the socket does not take waits in an outgoing buffer, and what arrived is
// handed over as it comes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum class TNetLinkState { Closed, Connecting, Connected, Failed };

class TNetLink {
 public:
  TNetLink();
  ~TNetLink();
  TNetLink(const TNetLink&) = delete;
  TNetLink& operator=(const TNetLink&) = delete;

  // Starts connecting to host:port (a name is resolved once per link and kept); Failed with a
  // reason when the name does not resolve or no socket can be made.
  void Connect(const std::string& host, uint16_t port);
  // Moves a connect on, sends what waits, and appends up to maxBytes of what arrived.
  void Poll(std::vector<uint8_t>& received, size_t maxBytes = 1u << 20);
  // Queues bytes; they go out on this and the following polls.
  void Send(const uint8_t* data, size_t size);
  // Closes the socket and drops what waits to be sent; the state becomes Closed.
  void Close();

  TNetLinkState State() const;
  // Why the link failed or was closed by the other side (empty otherwise).
  const std::string& Reason() const;
  // Bytes queued and not yet taken by the socket.
  size_t Waiting() const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};
