#include "repair/adapter_discovery.h"

#include <cstdio>
#include <memory>

#include "basekit/log/log.h"
#include "basekit/strings/format.h"

namespace repair {

namespace {

constexpr const char* kLogSource = "repair_service";

constexpr const char* kFilterWords[] = {
    "PPP", "TAP", "BM Win32", "Virtual", "Bluetooth", "VPN", "Wireless", "Loopback",
};

constexpr const char* kExcludedHardwareAddresses[] = {
    "00-00-00-00-00-00",
    "00-53-45-00-00-00",
};

// The platform's list: records linked through Next plus their address
// entries, in one zeroed block. new[] of bytes is aligned for any record.
class AdapterBuffer {
 public:
  explicit AdapterBuffer(uint32_t size) : bytes_(new unsigned char[size]()) {}
  IP_ADAPTER_INFO* records() { return reinterpret_cast<IP_ADAPTER_INFO*>(bytes_.get()); }

 private:
  std::unique_ptr<unsigned char[]> bytes_;
};

}  // namespace

std::string FormatHardwareAddress(const IP_ADAPTER_INFO& adapter) {
  const auto* a = adapter.Address;
  return basekit::FormatString("%02X-%02X-%02X-%02X-%02X-%02X", a[0], a[1], a[2], a[3], a[4], a[5]);
}

bool HasFilteredDescription(const std::string& description) {
  for (const char* word : kFilterWords) {
    if (description.find(word) != std::string::npos) {
      return true;
    }
  }
  return false;
}

bool IsCandidateAdapter(const IP_ADAPTER_INFO& adapter) {
  if (HasFilteredDescription(FieldText(adapter.Description))) {
    return false;
  }
  std::string address = FormatHardwareAddress(adapter);
  for (const char* excluded : kExcludedHardwareAddresses) {
    if (address == excluded) {
      return false;
    }
  }
  return true;
}

bool EnumerateAdapters(AdapterSource& source, IP_ADAPTER_INFO (&table)[kAdapterTableSize], int32_t* count) {
  uint32_t size = sizeof(IP_ADAPTER_INFO);
  auto buffer = std::make_unique<AdapterBuffer>(size);
  uint32_t result = source.GetAdaptersInfo(buffer->records(), &size);
  if (result == kAdapterEnumBufferOverflow) {
    // One more call with the size the platform asked for; no further retry.
    // A reported size below one record cannot hold anything and is kept at
    // one record so the platform never gets a buffer smaller than it claims.
    if (size < sizeof(IP_ADAPTER_INFO)) {
      size = sizeof(IP_ADAPTER_INFO);
    }
    buffer = std::make_unique<AdapterBuffer>(size);
    result = source.GetAdaptersInfo(buffer->records(), &size);
  }
  if (result != kAdapterEnumOk) {
    BASEKIT_LOG(Failure, "Get Default adpter failed %d", static_cast<int>(result));
    return false;
  }
  for (const IP_ADAPTER_INFO* adapter = buffer->records(); adapter; adapter = adapter->Next) {
    if (!IsCandidateAdapter(*adapter)) {
      continue;
    }
    if (*count < 0 || *count >= kAdapterTableSize) {
      BASEKIT_LOG(Lookup, "adapter table full, candidate %s (%s) not kept", FieldText(adapter->AdapterName).c_str(),
                  FieldText(adapter->Description).c_str());
      continue;
    }
    IP_ADAPTER_INFO& stored = table[*count];
    stored = *adapter;
    // The links point into the enumeration's buffer, which goes away here.
    stored.Next = nullptr;
    stored.CurrentIpAddress = nullptr;
    for (IP_ADDR_STRING* list : {&stored.IpAddressList, &stored.GatewayList, &stored.DhcpServer,
                                 &stored.PrimaryWinsServer, &stored.SecondaryWinsServer}) {
      list->Next = nullptr;
    }
    ++*count;
  }
  return true;
}

std::string ConnectionKeyPath(const IP_ADAPTER_INFO& adapter) {
  char path[256];
  std::snprintf(path, sizeof(path), "%s\\%s\\Connection", kNetworkClassKey, FieldText(adapter.AdapterName).c_str());
  return path;
}

bool FindConnectionName(RegistryReader& registry, const IP_ADAPTER_INFO& adapter, std::wstring* name) {
  std::string key_path = ConnectionKeyPath(adapter);
  std::wstring value;
  switch (registry.ReadString(key_path.c_str(), L"Name", &value)) {
    case RegistryReadResult::kOk:
      *name = value;
      return true;
    case RegistryReadResult::kKeyMissing:
      BASEKIT_LOG(Lookup, "[AccService::FindIfNameByIntanceId] read registry path fail");
      return false;
    case RegistryReadResult::kValueUnusable:
      break;
  }
  BASEKIT_LOG(Lookup, "[AccService::FindIfNameByIntanceId] read Name fail");
  return false;
}

}  // namespace repair
