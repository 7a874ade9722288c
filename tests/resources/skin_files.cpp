#include "tests/resources/skin_files.h"

#include <fstream>
#include <iterator>

#ifdef _WIN32
#include "tests/resources/embedded.h"
#include "uiframework/resources/zip_archive.h"
#endif

namespace resources_test {

std::optional<std::vector<uint8_t>> ReadDiskFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

#ifdef _WIN32

std::optional<std::vector<uint8_t>> ReadSkinFile(const std::string& name) {
  const Veneer::CZipArchive* archive = EmbeddedSkinArchive();
  int index = -1;
  uint32_t size = 0;
  if (archive == nullptr || !archive->Find(std::wstring(name.begin(), name.end()).c_str(), &index, &size)) {
    return std::nullopt;
  }
  std::vector<uint8_t> bytes(size);
  if (archive->Extract(index, bytes.data(), bytes.size()) != Veneer::CZipArchive::kOk) return std::nullopt;
  return bytes;
}

#else

std::optional<std::vector<uint8_t>> ReadSkinFile(const std::string& name) {
  return ReadDiskFile(std::string(REPAIR_SKIN_DIR) + "/" + name);
}

#endif

}  // namespace resources_test
