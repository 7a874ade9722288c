#include "uiframework/resources/file_bytes.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

#include "uiframework/base/text_conv.h"

namespace Veneer {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens a regular file and says its size; anything else at the path is not
// opened for reading at all (POSIX: a pipe opened for reading waits for a
// writer, so the descriptor is opened without waiting and looked at first).
FilePtr OpenRegularFile(const std::wstring& path, long long* size) {
#if defined(_WIN32)
  FilePtr file(_wfopen(path.c_str(), L"rb"));
  struct _stat64 info {};
  if (!file || _fstat64(_fileno(file.get()), &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) return nullptr;
#else
  std::string narrow = WideToUtf8(path);
  for (char& c : narrow) {
    if (c == '\\') c = '/';
  }
  const int descriptor = open(narrow.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (descriptor < 0) return nullptr;
  struct stat info {};
  if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(descriptor);
    return nullptr;
  }
  FilePtr file(fdopen(descriptor, "rb"));
  if (!file) {
    close(descriptor);
    return nullptr;
  }
#endif
  *size = static_cast<long long>(info.st_size);
  return file;
}

}  // namespace

FileReadStatus ReadFileBytes(const std::wstring& path, size_t max_bytes, std::vector<uint8_t>* out) {
  if (path.empty()) return FileReadStatus::kOpenFailed;
  long long size = 0;
  FilePtr file = OpenRegularFile(path, &size);
  if (!file) return FileReadStatus::kOpenFailed;
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
