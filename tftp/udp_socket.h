#pragma once

// The seam between the TFTP code and the platform's datagram sockets
// (Winsock 2.2 on Windows, BSD sockets elsewhere). IPv4 only. Every call
// reports success as a boolean; LastSocketError() gives the platform's code
// of the most recent failure on the calling thread.
//
// A UdpSocket is used by one thread at a time.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tftp {

// An IPv4 address and port, both in host byte order.
struct Endpoint {
  uint32_t address = 0;
  uint16_t port = 0;

  bool operator==(const Endpoint& other) const = default;
};

// Parses a dotted IPv4 address ("192.168.1.6"); false for anything else.
bool ParseIpv4Address(const char* text, uint32_t* address);
// "a.b.c.d".
std::string FormatAddress(uint32_t address);
// "a.b.c.d:port".
std::string FormatEndpoint(const Endpoint& endpoint);

// Starts and releases the platform socket library (WSAStartup 2.2 /
// WSACleanup); both do nothing on platforms without one. Calls pair up.
bool StartSocketLibrary();
void StopSocketLibrary();
int LastSocketError();

class UdpSocket {
 public:
  enum class WaitResult { kReadable, kTimeout, kError };

  UdpSocket() = default;
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;
  ~UdpSocket() { Close(); }

  bool Open();
  bool IsOpen() const;
  void Close();

  // Connect fixes the one peer the socket exchanges datagrams with (and, if
  // the socket is not bound yet, picks its local address and port); it fails
  // when the system has no route to the peer. Disconnect lets the socket
  // send to and receive from any peer again.
  bool Connect(const Endpoint& remote);
  bool Disconnect();
  bool GetLocalEndpoint(Endpoint* local) const;
  bool Bind(const Endpoint& local);

  // True when the whole datagram was handed to the system.
  bool SendTo(const void* data, size_t length, const Endpoint& remote);

  // Waits until a datagram can be read, at most timeout_ms milliseconds.
  WaitResult WaitReadable(int timeout_ms);
  // Receives one datagram (cut to capacity). Returns its length (0 for an
  // empty datagram) and fills *from, or -1 on failure.
  int ReceiveFrom(void* buffer, size_t capacity, Endpoint* from);

 private:
#if defined(_WIN32)
  // SOCKET is UINT_PTR; kept as such so this header needs no winsock2.h.
  uintptr_t handle_ = ~static_cast<uintptr_t>(0);
#else
  int handle_ = -1;
#endif
};

}  // namespace tftp
