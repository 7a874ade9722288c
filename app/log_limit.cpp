#include "app/log_limit.h"

#include <fcntl.h>
#include <sys/stat.h>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace app {

namespace {

#if defined(_WIN32)
// The runtime's flag values, as the log has always been opened with them.
constexpr int kAppendFlags = _O_RDWR | _O_APPEND | _O_CREAT;   // 0x10A
constexpr int kTruncateFlags = _O_RDWR | _O_CREAT | _O_TRUNC;  // 0x302
constexpr int kReadWrite = _S_IREAD | _S_IWRITE;               // 0x180

class SystemOps : public LogFileOps {
 public:
  int OpenAppend(const std::string& path) override { return _open(path.c_str(), kAppendFlags, kReadWrite); }
  int OpenTruncate(const std::string& path) override { return _open(path.c_str(), kTruncateFlags, kReadWrite); }
  int64_t Length(int descriptor) override { return _filelengthi64(descriptor); }
  void Close(int descriptor) override { _close(descriptor); }
  std::optional<int64_t> FindSize(const std::string& path) override {
    WIN32_FIND_DATAA data = {};
    HANDLE find = FindFirstFileA(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return std::nullopt;
    FindClose(find);
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }
  bool Delete(const std::string& path) override { return DeleteFileA(path.c_str()) != FALSE; }
};
#else
class SystemOps : public LogFileOps {
 public:
  int OpenAppend(const std::string& path) override { return open(path.c_str(), O_RDWR | O_APPEND | O_CREAT, 0600); }
  int OpenTruncate(const std::string& path) override { return open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600); }
  int64_t Length(int descriptor) override {
    struct stat info = {};
    return fstat(descriptor, &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
  }
  void Close(int descriptor) override { close(descriptor); }
  std::optional<int64_t> FindSize(const std::string& path) override {
    struct stat info = {};
    if (stat(path.c_str(), &info) != 0) return std::nullopt;
    return static_cast<int64_t>(info.st_size);
  }
  bool Delete(const std::string& path) override { return unlink(path.c_str()) == 0; }
};
#endif

}  // namespace

LogFileOps& SystemLogFileOps() {
  static SystemOps ops;
  return ops;
}

void LimitLogFile(const std::string& path, LogFileOps& ops) {
  const int descriptor = ops.OpenAppend(path);
  if (descriptor != -1) {
    const int64_t length = ops.Length(descriptor);
    ops.Close(descriptor);
    if (length >= kLogSizeLimit) {
      const int emptied = ops.OpenTruncate(path);
      if (emptied != -1) ops.Close(emptied);
    }
    return;
  }
  // Not writable: only a file above the limit goes, and comes back empty.
  const std::optional<int64_t> size = ops.FindSize(path);
  if (!size || *size <= kLogSizeLimit) return;
  if (!ops.Delete(path)) return;
  const int created = ops.OpenAppend(path);
  if (created != -1) ops.Close(created);
}

}  // namespace app
