// The non-blocking TCP client. The only file that knows sockets: POSIX calls, and Winsock's
// through the few helpers below on Windows.
#include "platform/NetLink.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <system_error>

namespace {

#ifdef _WIN32
using TSocket = SOCKET;
const TSocket kNoSocket = INVALID_SOCKET;
constexpr int kSendFlags = 0;
constexpr int kReceiveFlags = 0;

// The error of the last socket call, in errno's terms where the code below tells them apart.
int SocketError() {
  const int error = ::WSAGetLastError();
  if (error == WSAEWOULDBLOCK) return EWOULDBLOCK;
  if (error == WSAEINPROGRESS) return EINPROGRESS;
  if (error == WSAEINTR) return EINTR;
  return error;
}

std::string ErrorText(int error) { return std::system_category().message(error); }

// A non-blocking stream socket (Winsock started once per process).
TSocket OpenSocket(int family) {
  static std::once_flag started;
  std::call_once(started, [] {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
  });
  TSocket socket = ::socket(family, SOCK_STREAM, 0);
  u_long on = 1;
  if (socket != kNoSocket && ::ioctlsocket(socket, FIONBIO, &on) != 0) {
    ::closesocket(socket);
    return kNoSocket;
  }
  return socket;
}

void CloseSocketHandle(TSocket socket) { ::closesocket(socket); }

bool Writable(TSocket socket) {
  WSAPOLLFD entry = {socket, POLLOUT, 0};
  return ::WSAPoll(&entry, 1, 0) > 0;
}

// A connect under way: Winsock says so with "would block".
bool ConnectUnderWay(int error) { return error == EWOULDBLOCK || error == EINPROGRESS; }
#else
using TSocket = int;
constexpr TSocket kNoSocket = -1;
// A peer that closed makes send fail with EPIPE rather than end the program.
constexpr int kSendFlags = MSG_NOSIGNAL | MSG_DONTWAIT;
constexpr int kReceiveFlags = MSG_DONTWAIT;

int SocketError() { return errno; }

std::string ErrorText(int error) { return std::strerror(error); }

TSocket OpenSocket(int family) {
  return ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

void CloseSocketHandle(TSocket socket) { ::close(socket); }

bool Writable(TSocket socket) {
  pollfd entry = {socket, POLLOUT, 0};
  return ::poll(&entry, 1, 0) > 0;
}

bool ConnectUnderWay(int error) { return error == EINPROGRESS; }
#endif

// More than this waiting to be sent means the other side reads nothing: the link fails rather
// than growing without end.
constexpr size_t kMaxWaitingBytes = 16u << 20;

struct TAddress {
  sockaddr_storage Address = {};
  socklen_t Length = 0;
};

}  // namespace

struct TNetLink::TImpl {
  TSocket Socket = kNoSocket;
  TNetLinkState State = TNetLinkState::Closed;
  std::string Reason;
  std::vector<uint8_t> Out;  // Out[OutStart..] waits to be sent
  size_t OutStart = 0;
  std::string Host;          // the name the addresses were resolved from
  uint16_t Port = 0;
  std::vector<TAddress> Addresses;
  size_t NextAddress = 0;    // the address the next attempt of this connect tries

  void CloseSocket() {
    if (Socket != kNoSocket) CloseSocketHandle(Socket);
    Socket = kNoSocket;
  }

  void Fail(const std::string& why) {
    CloseSocket();
    Out.clear();
    OutStart = 0;
    State = TNetLinkState::Failed;
    Reason = why;
  }

  bool Resolve(const std::string& host, uint16_t port) {
    if (host == Host && port == Port && !Addresses.empty()) return true;
    Addresses.clear();
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int status = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (status != 0) {
      Fail("cannot find the host (" + std::string(::gai_strerror(status)) + ")");
      return false;
    }
    for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
      if (entry->ai_addrlen > sizeof(sockaddr_storage)) continue;
      TAddress address;
      std::memcpy(&address.Address, entry->ai_addr, entry->ai_addrlen);
      address.Length = entry->ai_addrlen;
      Addresses.push_back(address);
    }
    ::freeaddrinfo(found);
    if (Addresses.empty()) {
      Fail("the host has no address");
      return false;
    }
    Host = host;
    Port = port;
    return true;
  }

  // Starts connecting to the addresses from NextAddress on, until one connects or is under way.
  void StartNextAddress(std::string lastError) {
    while (NextAddress < Addresses.size()) {
      const TAddress& address = Addresses[NextAddress++];
      Socket = OpenSocket(address.Address.ss_family);
      if (Socket == kNoSocket) {
        lastError = ErrorText(SocketError());
        continue;
      }
      if (::connect(Socket, reinterpret_cast<const sockaddr*>(&address.Address), address.Length) ==
          0) {
        Connected();
        return;
      }
      const int error = SocketError();
      if (ConnectUnderWay(error)) {
        State = TNetLinkState::Connecting;
        return;
      }
      lastError = ErrorText(error);
      CloseSocket();
    }
    Fail(lastError.empty() ? "cannot connect" : lastError);
  }

  void Connected() {
    State = TNetLinkState::Connected;
    const int on = 1;
    // Commands are small and each should go at once.
    ::setsockopt(Socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  }

  void FinishConnect() {
    if (!Writable(Socket)) return;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(Socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
      error = SocketError();
    if (error == 0) {
      Connected();
      return;
    }
    CloseSocket();
    StartNextAddress(ErrorText(error));
  }

  void Flush() {
    while (OutStart < Out.size()) {
      const ssize_t sent = ::send(Socket, reinterpret_cast<const char*>(Out.data() + OutStart),
                                  Out.size() - OutStart, kSendFlags);
      const int error = sent < 0 ? SocketError() : 0;
      if (sent > 0) {
        OutStart += static_cast<size_t>(sent);
        continue;
      }
      if (sent < 0 && error == EINTR) continue;
      if (sent < 0 && (error == EAGAIN || error == EWOULDBLOCK)) break;
      Fail("the connection was lost (" + ErrorText(error) + ")");
      return;
    }
    if (OutStart == Out.size()) {
      Out.clear();
      OutStart = 0;
    } else if (Out.size() - OutStart > kMaxWaitingBytes) {
      Fail("the other side takes nothing we send");
    }
  }

  void Receive(std::vector<uint8_t>& received, size_t maxBytes) {
    uint8_t chunk[16384];
    size_t taken = 0;
    while (taken < maxBytes) {
      const size_t want = std::min(sizeof chunk, maxBytes - taken);
      const ssize_t got = ::recv(Socket, reinterpret_cast<char*>(chunk), want, kReceiveFlags);
      const int error = got < 0 ? SocketError() : 0;
      if (got > 0) {
        received.insert(received.end(), chunk, chunk + got);
        taken += static_cast<size_t>(got);
        continue;
      }
      if (got < 0 && error == EINTR) continue;
      if (got < 0 && (error == EAGAIN || error == EWOULDBLOCK)) return;
      Fail(got == 0 ? "the connection was closed"
                    : "the connection was lost (" + ErrorText(error) + ")");
      return;
    }
  }
};

TNetLink::TNetLink() : impl_(new TImpl) {}

TNetLink::~TNetLink() { impl_->CloseSocket(); }

void TNetLink::Connect(const std::string& host, uint16_t port) {
  Close();
  impl_->Reason.clear();
  if (!impl_->Resolve(host, port)) return;
  impl_->NextAddress = 0;
  impl_->StartNextAddress(std::string());
}

void TNetLink::Poll(std::vector<uint8_t>& received, size_t maxBytes) {
  if (impl_->State == TNetLinkState::Connecting) impl_->FinishConnect();
  if (impl_->State != TNetLinkState::Connected) return;
  impl_->Flush();
  if (impl_->State == TNetLinkState::Connected) impl_->Receive(received, maxBytes);
}

void TNetLink::Send(const uint8_t* data, size_t size) {
  if (impl_->State != TNetLinkState::Connected && impl_->State != TNetLinkState::Connecting) return;
  impl_->Out.insert(impl_->Out.end(), data, data + size);
  if (impl_->State == TNetLinkState::Connected) impl_->Flush();
}

void TNetLink::Close() {
  impl_->CloseSocket();
  impl_->Out.clear();
  impl_->OutStart = 0;
  impl_->State = TNetLinkState::Closed;
}

TNetLinkState TNetLink::State() const { return impl_->State; }

const std::string& TNetLink::Reason() const { return impl_->Reason; }

size_t TNetLink::Waiting() const { return impl_->Out.size() - impl_->OutStart; }
