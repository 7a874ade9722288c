#pragma once

// The resources compiled into this test executable from resources/repair.rc.

#include <cstddef>
#include <cstdint>

namespace Veneer {
class CZipArchive;
}

namespace resources_test {

struct ResourceBytes {
  const uint8_t* data = nullptr;  // null when the resource is missing
  size_t size = 0;
};

// A resource of this executable; its bytes live as long as the process.
ResourceBytes ModuleResource(const wchar_t* type, int id);

// The skin archive (ZIP 130), opened once; null when missing or unreadable.
const Veneer::CZipArchive* EmbeddedSkinArchive();

}  // namespace resources_test
