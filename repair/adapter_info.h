#pragma once

// The adapter record of the IP helper, IP_ADAPTER_INFO. On Windows it is the
// platform's own type; elsewhere a plain record with the same fields, names
// and array sizes stands in for it, so that the discovery logic and its
// tests build natively. Only the layout of the Windows record matters to the
// product; the native one just has to carry the same data.

#if defined(_WIN32)

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#else

#include <cstdint>

#define MAX_ADAPTER_NAME_LENGTH 256
#define MAX_ADAPTER_DESCRIPTION_LENGTH 128
#define MAX_ADAPTER_ADDRESS_LENGTH 8

struct IP_ADDRESS_STRING {
  char String[4 * 4];
};
using IP_MASK_STRING = IP_ADDRESS_STRING;

struct IP_ADDR_STRING {
  IP_ADDR_STRING* Next;
  IP_ADDRESS_STRING IpAddress;
  IP_MASK_STRING IpMask;
  uint32_t Context;
};

struct IP_ADAPTER_INFO {
  IP_ADAPTER_INFO* Next;
  uint32_t ComboIndex;
  char AdapterName[MAX_ADAPTER_NAME_LENGTH + 4];
  char Description[MAX_ADAPTER_DESCRIPTION_LENGTH + 4];
  uint32_t AddressLength;
  uint8_t Address[MAX_ADAPTER_ADDRESS_LENGTH];
  uint32_t Index;
  uint32_t Type;
  uint32_t DhcpEnabled;
  IP_ADDR_STRING* CurrentIpAddress;
  IP_ADDR_STRING IpAddressList;
  IP_ADDR_STRING GatewayList;
  IP_ADDR_STRING DhcpServer;
  int32_t HaveWins;
  IP_ADDR_STRING PrimaryWinsServer;
  IP_ADDR_STRING SecondaryWinsServer;
  int64_t LeaseObtained;
  int64_t LeaseExpires;
};

#endif

#include <cstddef>
#include <cstring>
#include <string>

namespace repair {

// The text of a fixed-size narrow field up to its first NUL, never reading
// past the field: the platform fills these arrays, and a field without a
// terminator must not run into the next one.
template <size_t N>
std::string FieldText(const char (&field)[N]) {
  const void* end = std::memchr(field, 0, N);
  size_t length = end ? static_cast<size_t>(static_cast<const char*>(end) - field) : N;
  return std::string(field, length);
}

}  // namespace repair
