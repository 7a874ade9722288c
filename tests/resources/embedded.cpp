#include "tests/resources/embedded.h"

#include <windows.h>

#include <memory>

#include "uiframework/resources/zip_archive.h"

namespace resources_test {

ResourceBytes ModuleResource(const wchar_t* type, int id) {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), type);
  HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (data == nullptr) return {};
  return {static_cast<const uint8_t*>(data), SizeofResource(nullptr, found)};
}

const Veneer::CZipArchive* EmbeddedSkinArchive() {
  static const std::unique_ptr<Veneer::CZipArchive> archive = [] {
    ResourceBytes zip = ModuleResource(L"ZIP", 130);
    return zip.data ? Veneer::CZipArchive::OpenMemory(zip.data, zip.size) : nullptr;
  }();
  return archive.get();
}

}  // namespace resources_test
