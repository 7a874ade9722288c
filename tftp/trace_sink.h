#pragma once

// Where the TFTP packet trace goes: the lines the client writes for every
// reply, time-out and error, and the raw dump of the write request. Standard
// output by default; tests and tools install their own sink.
//
// A sink is written by the one thread that runs the transfer.

#include <cstddef>

namespace tftp {

class TraceSink {
 public:
  virtual ~TraceSink() = default;
  // Takes bytes, not text: a packet dump carries raw bytes, zeros included.
  virtual void Write(const char* data, size_t length) = 0;
  // Formats printf-style and writes the result in one Write.
  void Print(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;
};

// The process's standard output, flushed after every write so that the
// trace interleaves with other output in order.
TraceSink& StandardOutputTrace();

}  // namespace tftp
