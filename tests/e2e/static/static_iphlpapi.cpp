// iphlpapi.dll of the static-adapter roads. Wine reports every adapter as
// configured by DHCP; put into the test prefix's system folder and preferred
// for repair.exe alone, this DLL reports the adapters named in the
// environment variable E2E_STATIC_ADAPTERS (comma-separated Linux interface
// names, which Wine gives as the adapters' descriptions) as statically
// configured. Everything else, their addresses, masks and gateways
// included, is what Wine reads from the interfaces now: after a restore the
// program sees what was really applied.
//
// Every other export is forwarded (forwarding_def.py) to Wine's own
// iphlpapi, copied into the system folder as iphlpwine.dll; the two wrapped
// functions call its originals.

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <cstring>

namespace {

constexpr wchar_t kOriginal[] = L"\\iphlpwine.dll";

HMODULE OriginalModule() {
  static const HMODULE module = [] {
    wchar_t path[MAX_PATH];
    const UINT room = MAX_PATH - sizeof(kOriginal) / sizeof(wchar_t);
    const UINT length = GetSystemDirectoryW(path, room);
    if (length == 0 || length >= room) return HMODULE{};
    lstrcatW(path, kOriginal);
    return LoadLibraryW(path);
  }();
  return module;
}

template <typename Function>
Function Original(const char* name) {
  const HMODULE module = OriginalModule();
  return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// Whether the adapter of this description is to be reported static.
bool IsStatic(const char* description) {
  char list[1024];
  const DWORD length = GetEnvironmentVariableA("E2E_STATIC_ADAPTERS", list, sizeof(list));
  if (length == 0 || length >= sizeof(list)) return false;
  const size_t wanted = std::strlen(description);
  for (const char* item = list; *item != '\0';) {
    const char* end = std::strchr(item, ',');
    const size_t size = end ? static_cast<size_t>(end - item) : std::strlen(item);
    if (size == wanted && std::strncmp(item, description, size) == 0) return true;
    item += end ? size + 1 : size;
  }
  return false;
}

bool IsStatic(const wchar_t* description) {
  char narrow[256] = {};
  return description != nullptr &&
         WideCharToMultiByte(CP_ACP, 0, description, -1, narrow, sizeof(narrow), nullptr, nullptr) != 0 &&
         IsStatic(narrow);
}

}  // namespace

extern "C" {

ULONG WINAPI StaticGetAdaptersInfo(PIP_ADAPTER_INFO info, PULONG size) {
  const auto original = Original<decltype(&GetAdaptersInfo)>("GetAdaptersInfo");
  if (original == nullptr) return ERROR_NOT_SUPPORTED;
  const ULONG result = original(info, size);
  if (result != NO_ERROR) return result;
  for (IP_ADAPTER_INFO* adapter = info; adapter != nullptr; adapter = adapter->Next) {
    if (!IsStatic(adapter->Description)) continue;
    adapter->DhcpEnabled = 0;
    adapter->DhcpServer = IP_ADDR_STRING{};
    adapter->LeaseObtained = adapter->LeaseExpires = 0;
  }
  return result;
}

ULONG WINAPI StaticGetAdaptersAddresses(ULONG family, ULONG flags, PVOID reserved, PIP_ADAPTER_ADDRESSES addresses,
                                        PULONG size) {
  const auto original = Original<decltype(&GetAdaptersAddresses)>("GetAdaptersAddresses");
  if (original == nullptr) return ERROR_NOT_SUPPORTED;
  const ULONG result = original(family, flags, reserved, addresses, size);
  if (result != NO_ERROR) return result;
  for (IP_ADAPTER_ADDRESSES* adapter = addresses; adapter != nullptr; adapter = adapter->Next) {
    if (!IsStatic(adapter->Description)) continue;
    adapter->Flags &= ~IP_ADAPTER_DHCP_ENABLED;
    adapter->Dhcpv4Server = SOCKET_ADDRESS{};
  }
  return result;
}

}  // extern "C"
