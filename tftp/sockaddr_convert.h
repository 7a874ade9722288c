#pragma once

// Endpoint <-> sockaddr_in, shared by the socket back ends. Include after the
// platform's socket headers (BSD sockets or Winsock); both give sockaddr_in,
// htons/htonl and their inverses.

#include <cstring>

#include "tftp/udp_socket.h"

namespace tftp {

inline sockaddr_in ToSockaddr(const Endpoint& endpoint) {
  sockaddr_in address;
  std::memset(&address, 0, sizeof(address));
  address.sin_family = AF_INET;
  address.sin_port = htons(endpoint.port);
  address.sin_addr.s_addr = htonl(endpoint.address);
  return address;
}

inline Endpoint FromSockaddr(const sockaddr_in& address) {
  Endpoint endpoint;
  endpoint.address = ntohl(address.sin_addr.s_addr);
  endpoint.port = ntohs(address.sin_port);
  return endpoint;
}

}  // namespace tftp
