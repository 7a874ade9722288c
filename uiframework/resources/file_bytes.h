#pragma once

// Whole-file reads for skin files and archives. Paths are wide; on POSIX
// they are converted to UTF-8 and backslashes become slashes, so that the
// skin's Windows-style relative paths work on both builds.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Veneer {

enum class FileReadStatus { kOk, kOpenFailed, kEmpty, kTooLarge, kReadFailed };

// Reads the whole file into out when it has 1 to max_bytes bytes. Only a
// regular file is read: a directory, device, pipe or socket at the path is
// refused as if it could not be opened (a read from one may never end).
FileReadStatus ReadFileBytes(const std::wstring& path, size_t max_bytes, std::vector<uint8_t>* out);

}  // namespace Veneer
