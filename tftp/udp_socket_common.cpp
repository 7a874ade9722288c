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

std::string FormatAddress(uint32_t address) {
  char text[16];
  std::snprintf(text, sizeof(text), "%u.%u.%u.%u", (address >> 24) & 0xFF, (address >> 16) & 0xFF,
                (address >> 8) & 0xFF, address & 0xFF);
  return text;
}

std::string FormatEndpoint(const Endpoint& endpoint) {
  return FormatAddress(endpoint.address) + ":" + std::to_string(endpoint.port);
}

}  // namespace tftp
