#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h.
#include <mswsock.h>

#include <cstring>

#include "tftp/sockaddr_convert.h"
#include "tftp/udp_socket.h"

namespace tftp {
namespace {

SOCKET AsSocket(uintptr_t handle) { return static_cast<SOCKET>(handle); }

bool HasPeer(SOCKET socket) {
  sockaddr_in peer;
  int length = sizeof(peer);
  return ::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) == 0;
}

}  // namespace

bool StartSocketLibrary() {
  WSADATA data;
  return WSAStartup(0x0202, &data) == 0;
}

void StopSocketLibrary() { WSACleanup(); }

int LastSocketError() { return WSAGetLastError(); }

bool UdpSocket::Open() {
  Close();
  handle_ = static_cast<uintptr_t>(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  if (!IsOpen()) {
    return false;
  }
  // An unconnected datagram socket on Windows fails its next receive with
  // WSAECONNRESET when an earlier send drew an ICMP "port unreachable"
  // (say, a repeat sent to a server port that has closed); that answers
  // nothing and would only cost a wait. Best effort: older stacks lack it.
  BOOL report = FALSE;
  DWORD returned = 0;
  ::WSAIoctl(AsSocket(handle_), SIO_UDP_CONNRESET, &report, sizeof(report), nullptr, 0, &returned, nullptr, nullptr);
  return true;
}

bool UdpSocket::IsOpen() const { return AsSocket(handle_) != INVALID_SOCKET; }

void UdpSocket::Close() {
  if (IsOpen()) {
    ::closesocket(AsSocket(handle_));
    handle_ = static_cast<uintptr_t>(INVALID_SOCKET);
  }
}

bool UdpSocket::Connect(const Endpoint& remote) {
  sockaddr_in address = ToSockaddr(remote);
  return ::connect(AsSocket(handle_), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
}

// Windows documents disconnecting a datagram socket by connecting it to the
// zero address. Wine takes that for a connection to 0.0.0.0 (the socket then
// hears nothing) but disconnects on AF_UNSPEC, as BSD sockets do; so
// AF_UNSPEC first, and the zero address where that is refused or leaves a
// peer behind.
bool UdpSocket::Disconnect() {
  sockaddr unspecified;
  std::memset(&unspecified, 0, sizeof(unspecified));
  unspecified.sa_family = AF_UNSPEC;
  if (::connect(AsSocket(handle_), &unspecified, sizeof(unspecified)) == 0 && !HasPeer(AsSocket(handle_))) {
    return true;
  }
  sockaddr_in zero;
  std::memset(&zero, 0, sizeof(zero));
  zero.sin_family = AF_INET;
  return ::connect(AsSocket(handle_), reinterpret_cast<const sockaddr*>(&zero), sizeof(zero)) == 0;
}

bool UdpSocket::GetLocalEndpoint(Endpoint* local) const {
  sockaddr_in address;
  int length = sizeof(address);
  std::memset(&address, 0, sizeof(address));
  if (::getsockname(AsSocket(handle_), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return false;
  }
  if (address.sin_family != AF_INET) {
    WSASetLastError(WSAEAFNOSUPPORT);
    return false;
  }
  *local = FromSockaddr(address);
  return true;
}

bool UdpSocket::Bind(const Endpoint& local) {
  sockaddr_in address = ToSockaddr(local);
  return ::bind(AsSocket(handle_), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
}

bool UdpSocket::SendTo(const void* data, size_t length, const Endpoint& remote) {
  sockaddr_in address = ToSockaddr(remote);
  int sent = ::sendto(AsSocket(handle_), static_cast<const char*>(data), static_cast<int>(length), 0,
                      reinterpret_cast<const sockaddr*>(&address), sizeof(address));
  return sent != SOCKET_ERROR && static_cast<size_t>(sent) == length;
}

UdpSocket::WaitResult UdpSocket::WaitReadable(int timeout_ms) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(AsSocket(handle_), &readable);
  timeval timeout;
  timeout.tv_sec = timeout_ms / 1000;
  timeout.tv_usec = (timeout_ms % 1000) * 1000;
  int ready = ::select(0, &readable, nullptr, nullptr, &timeout);
  if (ready == SOCKET_ERROR) {
    return WaitResult::kError;
  }
  return ready == 0 ? WaitResult::kTimeout : WaitResult::kReadable;
}

int UdpSocket::ReceiveFrom(void* buffer, size_t capacity, Endpoint* from) {
  sockaddr_in address;
  int length = sizeof(address);
  std::memset(&address, 0, sizeof(address));
  int received = ::recvfrom(AsSocket(handle_), static_cast<char*>(buffer), static_cast<int>(capacity), 0,
                            reinterpret_cast<sockaddr*>(&address), &length);
  if (received == SOCKET_ERROR) {
    // A datagram larger than the buffer arrives cut; it is still one reply.
    if (WSAGetLastError() != WSAEMSGSIZE) {
      return -1;
    }
    received = static_cast<int>(capacity);
  }
  if (from != nullptr) {
    *from = FromSockaddr(address);
  }
  return received;
}

}  // namespace tftp
