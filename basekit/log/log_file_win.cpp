#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <string.h>
#include <sys/stat.h>

#include <cstdio>

#include "basekit/log/log_file.h"

namespace basekit {

bool AppendToLogFile(const char* path, const char* data, size_t size) {
  // Read-write, append, create (0x10A), deny-none sharing (0x40), read and
  // write permission (0x180). Binary mode keeps the line's own "\r\n" as it
  // is: in text mode the runtime would turn it into "\r\r\n".
  int fd = _sopen(path, _O_RDWR | _O_APPEND | _O_CREAT | _O_BINARY, _SH_DENYNO,
                  _S_IREAD | _S_IWRITE);
  if (fd < 0) return false;
  bool ok = _write(fd, data, static_cast<unsigned>(size)) == static_cast<int>(size);
  _close(fd);
  return ok;
}

bool WriteToLogDescriptor(int descriptor, const char* data, size_t size) {
  return _write(descriptor, data, static_cast<unsigned>(size)) == static_cast<int>(size);
}

int CurrentErrorNumber() { return errno; }

void ErrorText(int error_number, char* buffer, size_t size) {
  if (size == 0) return;
  std::snprintf(buffer, size, "%s", strerror(error_number));
}

}  // namespace basekit
