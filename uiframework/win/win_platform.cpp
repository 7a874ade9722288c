#include "uiframework/win/win_platform.h"

#include <algorithm>
#include <string>

#include "basekit/log/log.h"
#include "uiframework/base/dpi_scale.h"
#include "uiframework/base/platform_hooks.h"
#include "uiframework/base/text_conv.h"
#include "uiframework/resources/resource_tables.h"
#include "uiframework/resources/skin_resources.h"

namespace Veneer {

namespace {

constexpr const char* kLogSource = "win_platform";

bool LoadResourceHook(ModuleHandle module, uint32_t id, const wchar_t* type, ResourceBytes* out) {
  // Ids are 16-bit: anything larger would be read as a name pointer.
  if (id > 0xFFFF) return false;
  auto instance = static_cast<HMODULE>(module);
  HRSRC info = FindResourceW(instance, MAKEINTRESOURCEW(id), type);
  if (info == nullptr) return false;
  HGLOBAL handle = LoadResource(instance, info);
  DWORD size = SizeofResource(instance, info);
  const void* data = handle != nullptr ? LockResource(handle) : nullptr;
  if (data == nullptr) {
    BASEKIT_LOG(Failure, "resource %u could not be loaded, error %lu", id, GetLastError());
    return false;
  }
  out->data = static_cast<const uint8_t*>(data);
  out->size = size;
  return true;
}

std::wstring ModuleFileNameHook(ModuleHandle module) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(static_cast<HMODULE>(module), path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      BASEKIT_LOG(Failure, "GetModuleFileNameW failed, error %lu", GetLastError());
      return std::wstring();
    }
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    if (path.size() >= 32768) return std::wstring();
    path.resize(path.size() * 2);
  }
}

std::wstring AnsiToWideHook(const char* text, size_t size) {
  if (size == 0) return std::wstring();
  const int length = static_cast<int>(std::min<size_t>(size, INT32_MAX));
  int wide = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
  if (wide <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, length, out.data(), wide);
  return out;
}

std::string WideToAnsiHook(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int length = static_cast<int>(std::min<size_t>(text.size(), INT32_MAX));
  int narrow = WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (narrow <= 0) return std::string();
  std::string out(static_cast<size_t>(narrow), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), length, out.data(), narrow, nullptr, nullptr);
  return out;
}

int SystemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : DpiScale::kBaseDpi;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi;
}

FontDescription DefaultGuiFont() {
  LOGFONTW logfont = {};
  FontDescription font;
  if (GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(logfont), &logfont) == 0) {
    BASEKIT_LOG(Failure, "the default GUI font could not be read");
    return CResourceTablesUI::Shared().GetSystemFont();
  }
  font.face = logfont.lfFaceName;
  // The system gives it for its own DPI; the windows scale it by theirs.
  font.height = DpiScale(SystemDpi()).Unscale(logfont.lfHeight);
  font.weight = logfont.lfWeight;
  font.underline = logfont.lfUnderline != 0;
  font.italic = logfont.lfItalic != 0;
  font.charset = logfont.lfCharSet;
  font.quality = logfont.lfQuality;
  return font;
}

}  // namespace

int GetWindowDpi(HWND window) {
  using GetDpiForWindowProc = UINT(WINAPI*)(HWND);
  static const auto get_dpi_for_window = reinterpret_cast<GetDpiForWindowProc>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  const UINT dpi = get_dpi_for_window != nullptr && window != nullptr ? get_dpi_for_window(window) : 0;
  return dpi != 0 ? static_cast<int>(dpi) : SystemDpi();
}

void InstallWin32Platform(HINSTANCE instance) {
  PlatformHooks hooks;
  hooks.load_resource = &LoadResourceHook;
  hooks.module_file_name = &ModuleFileNameHook;
  SetPlatformHooks(hooks);
  SetAnsiCodec(AnsiCodec{&AnsiToWideHook, &WideToAnsiHook});
  CResourceTablesUI::Shared().SetSystemFont(DefaultGuiFont());
  CSkinResourcesUI::SetInstance(instance);
}

}  // namespace Veneer
