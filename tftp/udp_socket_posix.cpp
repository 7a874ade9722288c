#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "tftp/sockaddr_convert.h"
#include "tftp/udp_socket.h"

namespace tftp {

bool StartSocketLibrary() { return true; }
void StopSocketLibrary() {}
int LastSocketError() { return errno; }

bool UdpSocket::Open() {
  Close();
  handle_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  return handle_ >= 0;
}

bool UdpSocket::IsOpen() const { return handle_ >= 0; }

void UdpSocket::Close() {
  if (handle_ >= 0) {
    ::close(handle_);
    handle_ = -1;
  }
}

bool UdpSocket::Connect(const Endpoint& remote) {
  sockaddr_in address = ToSockaddr(remote);
  return ::connect(handle_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
}

bool UdpSocket::Disconnect() {
  sockaddr unspecified;
  std::memset(&unspecified, 0, sizeof(unspecified));
  unspecified.sa_family = AF_UNSPEC;
  return ::connect(handle_, &unspecified, sizeof(unspecified)) == 0;
}

bool UdpSocket::GetLocalEndpoint(Endpoint* local) const {
  sockaddr_in address;
  socklen_t length = sizeof(address);
  std::memset(&address, 0, sizeof(address));
  if (::getsockname(handle_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return false;
  }
  if (address.sin_family != AF_INET) {
    errno = EAFNOSUPPORT;
    return false;
  }
  *local = FromSockaddr(address);
  return true;
}

bool UdpSocket::Bind(const Endpoint& local) {
  sockaddr_in address = ToSockaddr(local);
  return ::bind(handle_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
}

bool UdpSocket::SendTo(const void* data, size_t length, const Endpoint& remote) {
  sockaddr_in address = ToSockaddr(remote);
  ssize_t sent =
      ::sendto(handle_, data, length, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
  return sent >= 0 && static_cast<size_t>(sent) == length;
}

UdpSocket::WaitResult UdpSocket::WaitReadable(int timeout_ms) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    pollfd entry{handle_, POLLIN, 0};
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    int wait_ms = left.count() > 0 ? static_cast<int>(left.count()) : 0;
    int ready = ::poll(&entry, 1, wait_ms);
    if (ready > 0) {
      return WaitResult::kReadable;
    }
    if (ready == 0) {
      return WaitResult::kTimeout;
    }
    if (errno != EINTR) {
      return WaitResult::kError;
    }
  }
}

int UdpSocket::ReceiveFrom(void* buffer, size_t capacity, Endpoint* from) {
  sockaddr_in address;
  socklen_t length = sizeof(address);
  std::memset(&address, 0, sizeof(address));
  ssize_t received;
  do {
    received = ::recvfrom(handle_, buffer, capacity, 0, reinterpret_cast<sockaddr*>(&address), &length);
  } while (received < 0 && errno == EINTR);
  if (received < 0) {
    return -1;
  }
  if (from != nullptr) {
    *from = FromSockaddr(address);
  }
  return static_cast<int>(received);
}

}  // namespace tftp
