#include "repair/win/win_adapter_monitor.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "basekit/log/log.h"
#include "repair/win/ip_helper.h"

namespace repair {

namespace {

constexpr const char* kLogSource = "repair_service";

constexpr ULONG kFlags =
    GAA_FLAG_INCLUDE_GATEWAYS | GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;

std::string FormatMac(const IP_ADAPTER_ADDRESSES& adapter) {
  if (adapter.PhysicalAddressLength < 6) return std::string();
  char text[18];
  const BYTE* a = adapter.PhysicalAddress;
  std::snprintf(text, sizeof(text), "%02X-%02X-%02X-%02X-%02X-%02X", a[0], a[1], a[2], a[3], a[4], a[5]);
  return text;
}

std::string FormatIpv4(const SOCKET_ADDRESS& address) {
  if (address.lpSockaddr == nullptr || address.lpSockaddr->sa_family != AF_INET) return std::string();
  const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(address.lpSockaddr);
  const auto* b = reinterpret_cast<const unsigned char*>(&ipv4->sin_addr);
  char text[16];
  std::snprintf(text, sizeof(text), "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
  return text;
}

AdapterState StateOf(const IP_ADAPTER_ADDRESSES& adapter) {
  AdapterState state;
  state.identity.guid = adapter.AdapterName != nullptr ? adapter.AdapterName : "";
  state.identity.mac = FormatMac(adapter);
  state.friendly_name = adapter.FriendlyName != nullptr ? adapter.FriendlyName : L"";
  state.link_up = adapter.OperStatus == IfOperStatusUp;
  state.dhcp_enabled = (adapter.Flags & IP_ADAPTER_DHCP_ENABLED) != 0;
  for (const IP_ADAPTER_UNICAST_ADDRESS* u = adapter.FirstUnicastAddress; u != nullptr; u = u->Next) {
    const std::string text = FormatIpv4(u->Address);
    if (text.empty()) continue;
    state.addresses.push_back({text, u->OnLinkPrefixLength, u->DadState == IpDadStatePreferred});
  }
  for (const IP_ADAPTER_GATEWAY_ADDRESS_LH* g = adapter.FirstGatewayAddress; g != nullptr; g = g->Next) {
    const std::string text = FormatIpv4(g->Address);
    if (!text.empty()) state.gateways.push_back(text);
  }
  return state;
}

}  // namespace

AdapterLookup WinAdapterMonitor::Find(const AdapterIdentity& identity, AdapterState* state) {
  const auto get_adapters_addresses = IpHelper().get_adapters_addresses;
  if (get_adapters_addresses == nullptr) return AdapterLookup::kUnavailable;  // logged by the loader
  std::vector<unsigned char> buffer(16 * 1024);
  ULONG result = ERROR_BUFFER_OVERFLOW;
  // The list can grow between two calls: a few tries with the size asked for.
  for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    ULONG size = static_cast<ULONG>(buffer.size());
    result =
        get_adapters_addresses(AF_INET, kFlags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    if (result == ERROR_BUFFER_OVERFLOW) buffer.resize(size);
  }
  if (result == ERROR_NO_DATA) return AdapterLookup::kNotFound;
  if (result != NO_ERROR) {
    if (result != last_error_) BASEKIT_LOG(Failure, "GetAdaptersAddresses failed %lu", result);
    last_error_ = result;
    return AdapterLookup::kUnavailable;
  }
  last_error_ = 0;
  const auto* first = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data());
  // The GUID first; the hardware address only when no GUID matches (a
  // reinstalled driver gives the device a new GUID).
  for (const IP_ADAPTER_ADDRESSES* a = first; a != nullptr; a = a->Next) {
    if (a->AdapterName != nullptr && identity.guid == a->AdapterName) {
      *state = StateOf(*a);
      return AdapterLookup::kFound;
    }
  }
  for (const IP_ADAPTER_ADDRESSES* a = first; a != nullptr; a = a->Next) {
    const std::string mac = FormatMac(*a);
    if (!mac.empty() && mac == identity.mac && mac != "00-00-00-00-00-00") {
      *state = StateOf(*a);
      return AdapterLookup::kFound;
    }
  }
  return AdapterLookup::kNotFound;
}

}  // namespace repair
