#include "basekit/files/file_path.h"

#include <cstring>

namespace basekit {

namespace {

// Index of the last separator found scanning from the last character down to
// the second, or npos. NUL characters inside the range are skipped.
size_t FindLastSeparator(const char* path) {
  size_t length = std::strlen(path);
  for (size_t i = length; i-- > 1;) {
    if (path[i] == '\\' || path[i] == '/') return i;
  }
  return std::string::npos;
}

}  // namespace

bool ExtractFileName(const char* path, std::string& out) {
  if (path == nullptr) return false;
  size_t length = std::strlen(path);
  size_t separator = FindLastSeparator(path);
  if (separator == std::string::npos || separator + 1 == length) return false;
  out.assign(path + separator + 1);
  return true;
}

bool ComposeFilePath(std::string& out, const char* path, const char* name) {
  if (path == nullptr || name == nullptr) return false;
  size_t separator = FindLastSeparator(path);
  if (separator == std::string::npos) return false;
  out.assign(path, separator + 1);
  out.append(name);
  return true;
}

}  // namespace basekit
