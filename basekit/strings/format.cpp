#include "basekit/strings/format.h"

#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <vector>

namespace basekit {

namespace {

// vsnprintf reports the full length (C99); reduce it to the "did not fit"
// convention the growth loop below works with.
int Classify(int written, size_t size) {
  if (written < 0) return -2;
  if (static_cast<size_t>(written) >= size) return -1;
  return written;
}

template <typename Char>
void AppendFormatImpl(std::basic_string<Char>& out, const Char* format,
                      va_list args) {
  constexpr size_t kStackChars = 1024;
  Char stack_buf[kStackChars];
  va_list copy;
  va_copy(copy, args);
  int count = FormatToBuffer(stack_buf, kStackChars, format, copy);
  va_end(copy);
  if (count >= 0) {
    out.append(stack_buf, static_cast<size_t>(count));
    return;
  }
  if (count != -1) return;

  std::vector<Char> heap;
  for (size_t size = kStackChars * 2; size <= kMaxFormattedChars; size *= 2) {
    heap.resize(size);
    va_copy(copy, args);
    count = FormatToBuffer(heap.data(), size, format, copy);
    va_end(copy);
    if (count >= 0) {
      out.append(heap.data(), static_cast<size_t>(count));
      return;
    }
    if (count != -1) return;
  }
}

}  // namespace

int FormatToBuffer(char* buf, size_t size, const char* format, va_list args) {
  if (size == 0) return -1;
  return Classify(std::vsnprintf(buf, size, format, args), size);
}

int FormatToBuffer(wchar_t* buf, size_t size, const wchar_t* format,
                   va_list args) {
  if (size == 0) return -1;
  // glibc's vswprintf returns -1 both when the output does not fit and on an
  // encoding error (then with errno EILSEQ); mingw's C99 version returns the
  // full length. An encoding error must not count as "did not fit": the
  // growth loop would retry it up to the largest buffer.
  const int saved_errno = errno;
  errno = 0;
  int written = std::vswprintf(buf, size, format, args);
  const bool encoding_error = written < 0 && errno == EILSEQ;
  errno = saved_errno;
  if (encoding_error) return -2;
  if (written < 0) return -1;
  return Classify(written, size);
}

void AppendFormatV(std::string& out, const char* format, va_list args) {
  AppendFormatImpl(out, format, args);
}

void AppendFormatV(std::wstring& out, const wchar_t* format, va_list args) {
  AppendFormatImpl(out, format, args);
}

std::string FormatString(const char* format, ...) {
  std::string out;
  va_list args;
  va_start(args, format);
  AppendFormatV(out, format, args);
  va_end(args);
  return out;
}

std::wstring FormatString(const wchar_t* format, ...) {
  std::wstring out;
  va_list args;
  va_start(args, format);
  AppendFormatV(out, format, args);
  va_end(args);
  return out;
}

void AppendFormat(std::string& out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  AppendFormatV(out, format, args);
  va_end(args);
}

void AppendFormat(std::wstring& out, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  AppendFormatV(out, format, args);
  va_end(args);
}

void FormatStringInto(std::string& out, const char* format, ...) {
  out.clear();
  va_list args;
  va_start(args, format);
  AppendFormatV(out, format, args);
  va_end(args);
}

void FormatStringInto(std::wstring& out, const wchar_t* format, ...) {
  out.clear();
  va_list args;
  va_start(args, format);
  AppendFormatV(out, format, args);
  va_end(args);
}

}  // namespace basekit
