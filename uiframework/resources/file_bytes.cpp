#include "uiframework/resources/file_bytes.h"

#include <cstdio>
#include <memory>

#include "uiframework/base/text_conv.h"

namespace Veneer {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr OpenForReading(const std::wstring& path) {
#if defined(_WIN32)
  return FilePtr(_wfopen(path.c_str(), L"rb"));
#else
  std::string narrow = WideToUtf8(path);
  for (char& c : narrow) {
    if (c == '\\') c = '/';
  }
  return FilePtr(std::fopen(narrow.c_str(), "rb"));
#endif
}

// The file size, or -1 when it cannot be determined.
long long FileSize(std::FILE* file) {
#if defined(_WIN32)
  if (_fseeki64(file, 0, SEEK_END) != 0) return -1;
  long long size = _ftelli64(file);
  if (_fseeki64(file, 0, SEEK_SET) != 0) return -1;
#else
  if (fseeko(file, 0, SEEK_END) != 0) return -1;
  long long size = ftello(file);
  if (fseeko(file, 0, SEEK_SET) != 0) return -1;
#endif
  return size;
}

}  // namespace

FileReadStatus ReadFileBytes(const std::wstring& path, size_t max_bytes, std::vector<uint8_t>* out) {
  if (path.empty()) return FileReadStatus::kOpenFailed;
  FilePtr file = OpenForReading(path);
  if (!file) return FileReadStatus::kOpenFailed;
  long long size = FileSize(file.get());
  if (size < 0) return FileReadStatus::kReadFailed;
  if (size == 0) return FileReadStatus::kEmpty;
  if (static_cast<unsigned long long>(size) > max_bytes) return FileReadStatus::kTooLarge;
  out->resize(static_cast<size_t>(size));
  size_t read = std::fread(out->data(), 1, out->size(), file.get());
  if (read != out->size()) {
    out->clear();
    return FileReadStatus::kReadFailed;
  }
  return FileReadStatus::kOk;
}

}  // namespace Veneer
