#include "app/log_limit.h"

#include <sys/stat.h>

#if defined(_WIN32)
#include <windows.h>

#include "repair/text_encoding.h"
#else
#include <unistd.h>
#endif

namespace app {

namespace {

class SystemOps : public LogFileOps {
 public:
  basekit::LogFileOpening Open(const std::string& path) override {
    return basekit::OpenLogFile(path.c_str(), basekit::LogFileAccess::kReadWrite);
  }
  int64_t Length(basekit::LogFileHandle file) override { return basekit::LogFileLength(file); }
  bool Empty(basekit::LogFileHandle file) override { return basekit::EmptyLogFile(file); }
  void Close(basekit::LogFileHandle file) override { basekit::CloseLogFile(file); }
#if defined(_WIN32)
  std::optional<int64_t> FindSize(const std::string& path) override {
    WIN32_FIND_DATAW data = {};
    HANDLE find = FindFirstFileW(repair::Utf8ToWide(path).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return std::nullopt;
    FindClose(find);
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }
  bool Delete(const std::string& path) override { return DeleteFileW(repair::Utf8ToWide(path).c_str()) != FALSE; }
#else
  std::optional<int64_t> FindSize(const std::string& path) override {
    struct stat info = {};
    if (lstat(path.c_str(), &info) != 0) return std::nullopt;
    return static_cast<int64_t>(info.st_size);
  }
  bool Delete(const std::string& path) override { return unlink(path.c_str()) == 0; }
#endif
};

}  // namespace

LogFileOps& SystemLogFileOps() {
  static SystemOps ops;
  return ops;
}

basekit::LogFileRefusal LimitLogFile(const std::string& path, LogFileOps& ops) {
  const basekit::LogFileOpening opened = ops.Open(path);
  if (opened.refusal != basekit::LogFileRefusal::kNone) return opened.refusal;
  if (opened.handle != basekit::kNoLogFile) {
    if (ops.Length(opened.handle) >= kLogSizeLimit) ops.Empty(opened.handle);
    ops.Close(opened.handle);
    return basekit::LogFileRefusal::kNone;
  }
  // Not writable: only a file above the limit goes, and comes back empty.
  // Deleting a name never changes the file another name leads to.
  const std::optional<int64_t> size = ops.FindSize(path);
  if (!size || *size <= kLogSizeLimit) return basekit::LogFileRefusal::kNone;
  if (!ops.Delete(path)) return basekit::LogFileRefusal::kNone;
  const basekit::LogFileOpening created = ops.Open(path);
  if (created.handle != basekit::kNoLogFile) ops.Close(created.handle);
  return created.refusal;
}

}  // namespace app
