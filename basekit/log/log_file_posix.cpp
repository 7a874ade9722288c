#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "basekit/log/log_file.h"

namespace basekit {

namespace {

LogWriteLimiter g_write_limiter = nullptr;

ssize_t WriteOnce(int fd, const char* data, size_t size) {
  if (g_write_limiter != nullptr) {
    size_t allowed = g_write_limiter(size);
    if (allowed == 0) {
      errno = ENOSPC;
      return -1;
    }
    if (allowed < size) size = allowed;
  }
  return ::write(fd, data, size);
}

// Stops at the first call that stores nothing: a full device (ENOSPC, or
// EFBIG past the file size limit) does not clear by retrying at once.
size_t WriteAll(int fd, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t count = WriteOnce(fd, data + done, size - done);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    done += static_cast<size_t>(count);
  }
  return done;
}

}  // namespace

LogFileOpening OpenLogFile(const char* path, LogFileAccess access) {
  LogFileOpening opening;
  // O_APPEND places every write at the end, so whole lines from several
  // threads or processes never interleave.
  int flags = O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  if (access == LogFileAccess::kAppend) flags |= O_APPEND;
  int fd = ::open(path, flags, S_IRUSR | S_IWUSR);
  if (fd < 0) {
    // O_NOFOLLOW refuses a symbolic link at the name with ELOOP.
    if (errno == ELOOP) opening.refusal = LogFileRefusal::kLink;
    return opening;
  }
  struct stat info = {};
  LogFileFacts facts;
  if (::fstat(fd, &info) == 0) {
    facts.plain = S_ISREG(info.st_mode);
    facts.names = static_cast<unsigned long>(info.st_nlink);
  } else {
    facts.plain = false;
  }
  opening.refusal = JudgeLogFile(facts);
  if (opening.refusal != LogFileRefusal::kNone) {
    ::close(fd);
    return opening;
  }
  opening.handle = fd;
  return opening;
}

int64_t LogFileLength(LogFileHandle file) {
  struct stat info = {};
  if (::fstat(static_cast<int>(file), &info) != 0) return -1;
  return static_cast<int64_t>(info.st_size);
}

bool EmptyLogFile(LogFileHandle file) {
  return ::ftruncate(static_cast<int>(file), 0) == 0;
}

void CloseLogFile(LogFileHandle file) { ::close(static_cast<int>(file)); }

long long AppendToLogFile(const char* path, const char* data, size_t size) {
  LogFileOpening opening = OpenLogFile(path, LogFileAccess::kAppend);
  if (opening.handle == kNoLogFile) return -1;
  size_t written = WriteAll(static_cast<int>(opening.handle), data, size);
  CloseLogFile(opening.handle);
  return static_cast<long long>(written);
}

size_t WriteToLogDescriptor(int descriptor, const char* data, size_t size) {
  return WriteAll(descriptor, data, size);
}

int CurrentErrorNumber() { return errno; }

void ErrorText(int error_number, char* buffer, size_t size) {
  if (size == 0) return;
  // The XSI strerror_r is not what glibc gives C++; strerror with a copy is
  // enough here (the text is only read).
  std::snprintf(buffer, size, "%s", ::strerror(error_number));
}

ErrorStateSaver::ErrorStateSaver() : error_number_(errno) {}

ErrorStateSaver::~ErrorStateSaver() { errno = error_number_; }

void SetLogWriteLimiterForTesting(LogWriteLimiter limiter) {
  g_write_limiter = limiter;
}

}  // namespace basekit
