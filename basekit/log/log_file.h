#pragma once

// The log's two ways out, one implementation per platform.

#include <cstddef>

namespace basekit {

// Opens path for appending (create if missing, shared with every other
// reader and writer), writes the bytes with one call and closes it again.
// False when the open or the write fails.
bool AppendToLogFile(const char* path, const char* data, size_t size);

// One write call to an open runtime descriptor; it stays open.
bool WriteToLogDescriptor(int descriptor, const char* data, size_t size);

// The runtime's current error number and its text (at most 255 characters).
int CurrentErrorNumber();
void ErrorText(int error_number, char* buffer, size_t size);

}  // namespace basekit
