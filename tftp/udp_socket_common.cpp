#include <cstdio>

#include "tftp/udp_socket.h"

namespace tftp {

bool ParseIpv4Address(const char* text, uint32_t* address) {
  if (text == nullptr || address == nullptr) {
    return false;
  }
  // Strictly four decimal parts of 0-255 separated by dots, nothing else.
  uint32_t value = 0;
  const char* p = text;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (*p != '.') {
        return false;
      }
      ++p;
    }
    if (*p < '0' || *p > '9') {
      return false;
    }
    uint32_t number = 0;
    int digits = 0;
    while (*p >= '0' && *p <= '9') {
      number = number * 10 + static_cast<uint32_t>(*p - '0');
      if (++digits > 3 || number > 255) {
        return false;
      }
      ++p;
    }
    value = (value << 8) | number;
  }
  if (*p != '\0') {
    return false;
  }
  *address = value;
  return true;
}

std::string FormatEndpoint(const Endpoint& endpoint) {
  char text[32];
  std::snprintf(text, sizeof(text), "%u.%u.%u.%u:%u", (endpoint.address >> 24) & 0xFF, (endpoint.address >> 16) & 0xFF,
                (endpoint.address >> 8) & 0xFF, endpoint.address & 0xFF, static_cast<unsigned>(endpoint.port));
  return text;
}

}  // namespace tftp
