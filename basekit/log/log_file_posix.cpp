#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <cstdio>

#include "basekit/log/log_file.h"

namespace basekit {

bool AppendToLogFile(const char* path, const char* data, size_t size) {
  // O_APPEND places every write at the end, so whole lines from several
  // threads or processes never interleave.
  int fd = ::open(path, O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR);
  if (fd < 0) return false;
  bool ok = ::write(fd, data, size) == static_cast<ssize_t>(size);
  ::close(fd);
  return ok;
}

bool WriteToLogDescriptor(int descriptor, const char* data, size_t size) {
  return ::write(descriptor, data, size) == static_cast<ssize_t>(size);
}

int CurrentErrorNumber() { return errno; }

void ErrorText(int error_number, char* buffer, size_t size) {
  if (size == 0) return;
  // The XSI strerror_r is not what glibc gives C++; strerror with a copy is
  // enough here (the text is only read).
  std::snprintf(buffer, size, "%s", ::strerror(error_number));
}

}  // namespace basekit
