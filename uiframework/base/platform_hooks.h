#pragma once

// The few platform services the portable framework needs, as a table of
// functions. The window binding installs the Win32 versions at start-up;
// tests install fakes. Without a binding, module resources are not found and
// the module file name comes from the process (Linux) or is empty.
//
// Thread affinity: install once on the UI thread before any window exists.

#include <cstddef>
#include <cstdint>
#include <string>

namespace Veneer {

// An opaque module handle (HINSTANCE on Windows).
using ModuleHandle = void*;

// Bytes of a module resource. They stay valid as long as the module is
// loaded; nothing needs to be freed.
struct ResourceBytes {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

struct PlatformHooks {
  // Finds resource `id` of `type` in `module`; false when it does not exist.
  bool (*load_resource)(ModuleHandle module, uint32_t id, const wchar_t* type, ResourceBytes* out) = nullptr;
  // The full file name of `module` (the program when null); empty on failure.
  std::wstring (*module_file_name)(ModuleHandle module) = nullptr;
};

void SetPlatformHooks(const PlatformHooks& hooks);
const PlatformHooks& GetPlatformHooks();

bool LoadModuleResource(ModuleHandle module, uint32_t id, const wchar_t* type, ResourceBytes* out);
std::wstring GetModuleFileName(ModuleHandle module);

}  // namespace Veneer
