#pragma once

// printf-style formatting into std::string / std::wstring, with the C99
// conversions on both builds (%s narrow, %ls wide).

#include <cstdarg>
#include <string>

namespace basekit {

// Largest buffer AppendFormatV tries, in characters; longer output is dropped.
inline constexpr size_t kMaxFormattedChars = 33554432;

std::string FormatString(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
std::wstring FormatString(const wchar_t* format, ...);

void FormatStringInto(std::string& out, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
void FormatStringInto(std::wstring& out, const wchar_t* format, ...);

// Appends the formatted text to out (the variadic form of AppendFormatV).
void AppendFormat(std::string& out, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
void AppendFormat(std::wstring& out, const wchar_t* format, ...);

// Appends the formatted text to out. Output that does not fit in
// kMaxFormattedChars - 1 characters, or a formatting error, appends nothing.
void AppendFormatV(std::string& out, const char* format, va_list args);
void AppendFormatV(std::wstring& out, const wchar_t* format, va_list args);

// Formats into buf (size characters, NUL-terminated). Returns the number of
// characters written when the whole output fit, -1 when it did not fit, and
// -2 for a formatting error. Both builds report the same way.
int FormatToBuffer(char* buf, size_t size, const char* format, va_list args);
int FormatToBuffer(wchar_t* buf, size_t size, const wchar_t* format,
                   va_list args);

}  // namespace basekit
