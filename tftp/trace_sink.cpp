#include "tftp/trace_sink.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "basekit/strings/format.h"

namespace tftp {

namespace {

class StandardOutputSink : public TraceSink {
 public:
  void Write(const char* data, size_t length) override {
    std::fwrite(data, 1, length, stdout);
    std::fflush(stdout);
  }
};

}  // namespace

void TraceSink::Print(const char* format, ...) {
  std::string text;
  va_list args;
  va_start(args, format);
  basekit::AppendFormatV(text, format, args);
  va_end(args);
  Write(text.data(), text.size());
}

TraceSink& StandardOutputTrace() {
  static StandardOutputSink sink;
  return sink;
}

}  // namespace tftp
