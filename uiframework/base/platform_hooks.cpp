#include "uiframework/base/platform_hooks.h"

#include "uiframework/base/text_conv.h"

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace Veneer {

namespace {

PlatformHooks g_hooks;

std::wstring DefaultModuleFileName(ModuleHandle) {
#if defined(_WIN32)
  return std::wstring();
#else
  char buffer[4096];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (length <= 0) return std::wstring();
  return Utf8ToWide(buffer, static_cast<size_t>(length));
#endif
}

}  // namespace

void SetPlatformHooks(const PlatformHooks& hooks) { g_hooks = hooks; }

const PlatformHooks& GetPlatformHooks() { return g_hooks; }

bool LoadModuleResource(ModuleHandle module, uint32_t id, const wchar_t* type, ResourceBytes* out) {
  if (g_hooks.load_resource == nullptr || type == nullptr) return false;
  return g_hooks.load_resource(module, id, type, out) && out->data != nullptr;
}

std::wstring GetModuleFileName(ModuleHandle module) {
  if (g_hooks.module_file_name != nullptr) return g_hooks.module_file_name(module);
  return DefaultModuleFileName(module);
}

}  // namespace Veneer
