// Feeds arbitrary bytes to the ZIP reader: open, find every entry by its own
// name and extract it into an exactly sized buffer (at most 1 MiB).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "uiframework/base/text_conv.h"
#include "uiframework/resources/zip_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto archive = Veneer::CZipArchive::OpenMemory(data, size);
  if (!archive) return 0;
  constexpr uint32_t kMaxOutput = 1024 * 1024;
  std::vector<uint8_t> buffer;
  for (int i = 0; i < archive->GetEntryCount() && i < 64; ++i) {
    const std::string& name = archive->GetEntryName(i);
    std::wstring wide = Veneer::AnsiToWide(name.data(), name.size());
    int index = -1;
    uint32_t entry_size = 0;
    archive->Find(wide.c_str(), &index, &entry_size);
    uint32_t capacity = archive->GetEntrySize(i) < kMaxOutput ? archive->GetEntrySize(i) : kMaxOutput;
    buffer.assign(capacity, 0);
    archive->Extract(i, buffer.data(), buffer.size());
    if (capacity > 1) archive->Extract(i, buffer.data(), capacity / 2);
  }
  return 0;
}
