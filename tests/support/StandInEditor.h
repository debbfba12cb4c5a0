// A stand-in sync editor: speaks the editor's side to one player at a time on 127.0.0.1. Waits
// are counts of 1 ms polls; `whileWaiting` runs at each (an in-process player polls there).
#pragma once
// Winsock names differ from the POSIX ones the stand-in is written with: mapped here once.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
using TStandInSocket = SOCKET;
constexpr TStandInSocket kNoStandInSocket = INVALID_SOCKET;
constexpr int kStandInSendFlags = 0;
inline int PollStandIn(pollfd* entry) { return ::WSAPoll(entry, 1, 0); }
inline void CloseStandIn(TStandInSocket socket) { ::closesocket(socket); }
inline void SleepStandIn() { ::Sleep(1); }
// Winsock works only between a start and an end; the count is the process's.
struct TStandInWinsock {
  TStandInWinsock() { WSADATA data; ::WSAStartup(MAKEWORD(2, 2), &data); }
  ~TStandInWinsock() { ::WSACleanup(); }
};
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
using TStandInSocket = int;
constexpr TStandInSocket kNoStandInSocket = -1;
constexpr int kStandInSendFlags = MSG_NOSIGNAL;
inline int PollStandIn(pollfd* entry) { return ::poll(entry, 1, 0); }
inline void CloseStandIn(TStandInSocket socket) { ::close(socket); }
inline void SleepStandIn() { ::usleep(1000); }
struct TStandInWinsock {};
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

class StandInEditor {
 public:
  StandInEditor() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 4);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
  }
  ~StandInEditor() {
    Drop();
    CloseStandIn(listener_);
  }
  // A player's connection is waiting to be taken.
  bool Pending() const {
    pollfd entry = {listener_, POLLIN, 0};
    return PollStandIn(&entry) > 0;
  }
  // Takes a player's connection once one comes, reads its greeting and answers with `answer`.
  bool Accept(const std::string& answer = "hello, demo!", int polls = 20000) {
    for (int i = 0; i < polls && !Pending(); ++i) Wait();
    if (!Pending()) return false;
    client_ = ::accept(listener_, nullptr, nullptr);
    if (Read(19) != "hello, synctracker!") return false;
    Send(answer);
    return true;
  }
  void Send(const std::string& bytes) {
    ::send(client_, bytes.data(), static_cast<int>(bytes.size()), kStandInSendFlags);
  }
  // Reads `count` bytes from the player (fewer when it closes or the polls run out).
  std::string Read(size_t count, int polls = 2000) {
    std::string bytes;
    for (int i = 0; i < polls && bytes.size() < count; ++i) {
      pollfd entry = {client_, POLLIN, 0};
      if (PollStandIn(&entry) <= 0) {
        Wait();
        continue;
      }
      char chunk[256];
      const auto got = ::recv(client_, chunk, static_cast<int>(std::min(sizeof chunk, count - bytes.size())), 0);
      if (got <= 0) break;
      bytes.append(chunk, static_cast<size_t>(got));
    }
    return bytes;
  }
  void Drop() {
    if (client_ != kNoStandInSocket) CloseStandIn(client_);
    client_ = kNoStandInSocket;
  }

  uint16_t port = 0;
  std::function<void()> whileWaiting;

  // The editor's commands as bytes.
  static std::string U32(uint32_t value) {
    const char bytes[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    return std::string(bytes, 4);
  }
  static std::string GetTrack(const std::string& name) { return "\x02" + U32(name.size()) + name; }
  static std::string SetKey(uint32_t track, uint32_t row, float value, uint8_t type) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, 4);
    return std::string(1, '\0') + U32(track) + U32(row) + U32(bits) + std::string(1, char(type));
  }
  static std::string SetRow(uint32_t row) { return "\x03" + U32(row); }
  static std::string Pause(bool paused) { return std::string{'\x04', char(paused ? 1 : 0)}; }

 private:
  void Wait() {
    if (whileWaiting) whileWaiting();
    SleepStandIn();
  }

  TStandInWinsock winsock_;
  TStandInSocket listener_ = kNoStandInSocket;
  TStandInSocket client_ = kNoStandInSocket;
};
