#pragma once

// Conversions between the framework's wide text (wchar_t: UTF-16 on Windows,
// UTF-32 elsewhere) and byte encodings. Every conversion is explicit about
// its encoding; invalid input never fails a conversion, it becomes U+FFFD
// (or "?" when narrowing to the ANSI code page), as the platform converters
// do. Thread affinity: any thread, except SetAnsiCodec (set once at start-up).

#include <cstddef>
#include <cstdint>
#include <string>

namespace Veneer {

// Decodes UTF-8 into out, which must have room for `size` characters;
// returns the number written.
size_t DecodeUtf8(const uint8_t* data, size_t size, wchar_t* out);
// Appends the UTF-8 bytes [data, data + size) to out as wide characters.
void AppendUtf8AsWide(const uint8_t* data, size_t size, std::wstring& out);
std::wstring Utf8ToWide(const char* text, size_t size);
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

// UTF-16 code units (host order) to wide characters and back; lone
// surrogates become U+FFFD.
std::wstring Utf16ToWide(const char16_t* units, size_t count);
std::u16string WideToUtf16(const std::wstring& text);

// The system's ANSI code page. Portable code has no access to it, so it is
// a hook: the window binding installs the platform's converter; until then
// the code page is Latin-1 (bytes 0-255 map to U+0000-U+00FF, other
// characters narrow to "?").
struct AnsiCodec {
  std::wstring (*to_wide)(const char* text, size_t size) = nullptr;
  std::string (*from_wide)(const std::wstring& text) = nullptr;
};
void SetAnsiCodec(const AnsiCodec& codec);  // null members restore Latin-1
std::wstring AnsiToWide(const char* text, size_t size);
std::string WideToAnsi(const std::wstring& text);

// Narrow text for the log (UTF-8), never null.
std::string ToLogText(const wchar_t* text);

}  // namespace Veneer
