#pragma once

// Conversions between wide text (UI, command lines, connection names) and
// the narrow text of log lines and adapter records. Both directions use code
// page 936 explicitly, never the system's current code page. On Windows the
// platform converts; elsewhere iconv's "CP936" does the same job.
//
// Any thread; no state.

#include <string>

namespace repair {

// Converts code page 936 text to wide text. A leading U+FEFF in the result
// is dropped. Empty input or a failed conversion gives empty text; bytes
// that are not valid code page 936 become a replacement character.
std::wstring GbkToWide(const std::string& text);

// Converts wide text to code page 936. Characters without a code page 936
// form become '?'; a failed conversion gives empty text.
std::string WideToGbk(const std::wstring& text);

// UTF-8 to and from wide text (UTF-16 on Windows, UTF-32 elsewhere), for
// files of the program's own. Malformed input becomes U+FFFD; lone
// surrogates are written as U+FFFD.
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

// Wide text as Unicode characters, surrogate pairs joined (a lone
// surrogate stays as it is), and one character appended to wide text.
std::u32string WideToCharacters(const std::wstring& text);
void AppendCharacter(char32_t code, std::wstring* out);

// `path` up to and including its last backslash; the whole path when it has
// none.
std::string CutAfterLastBackslash(const std::string& path);
std::wstring CutAfterLastBackslash(const std::wstring& path);

// The program's directory in UTF-8, with its trailing separator (on
// Windows from GetModuleFileNameW, of any length, cut after the last
// backslash), so that a folder named in any script works. Empty when
// unavailable.
std::string GetModuleDirectory();

}  // namespace repair
