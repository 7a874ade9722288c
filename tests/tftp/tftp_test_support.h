#pragma once

// Helpers shared by the client tests: a log in a private temporary folder,
// a trace sink that keeps the packet trace, and deterministic firmware-like
// images.

#include <cstddef>
#include <string>
#include <vector>

#include "tftp/trace_sink.h"

namespace tftp_test {

class RecordingTrace : public tftp::TraceSink {
 public:
  void Write(const char* data, size_t length) override { text_.append(data, length); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

// Points the process log at <temp>/REPAIR.log (once per process) and
// returns the file's path.
const std::string& UseTemporaryLog();
// The log's current size, and its text from byte `from` on: a test takes
// LogSize() before it acts and reads only what it caused.
size_t LogSize();
std::string ReadLogFrom(size_t from);

// A deterministic image of `length` bytes that contains zero bytes and
// differs from block to block.
std::vector<char> MakeImage(size_t length, unsigned seed = 1);

// A fresh empty folder under the system's temporary folder.
std::string MakeTemporaryFolder(const char* prefix);

}  // namespace tftp_test
