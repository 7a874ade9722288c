#include "repair/text_encoding.h"

#include <cstring>

#include "basekit/log/log.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <errno.h>
#include <iconv.h>
#include <limits.h>
#include <unistd.h>
#endif

namespace repair {

namespace {

constexpr const char* kLogSource = "repair_service";

constexpr wchar_t kByteOrderMark = 0xFEFF;

#if defined(_WIN32)

constexpr UINT kCodePageGbk = 936;

std::wstring ConvertToWide(const std::string& text) {
  int needed = MultiByteToWideChar(kCodePageGbk, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (needed <= 0) {
    BASEKIT_LOG(Failure, "GBK to wide conversion failed %lu", GetLastError());
    return std::wstring();
  }
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  int written = MultiByteToWideChar(kCodePageGbk, 0, text.data(), static_cast<int>(text.size()), wide.data(), needed);
  if (written <= 0) {
    BASEKIT_LOG(Failure, "GBK to wide conversion failed %lu", GetLastError());
    return std::wstring();
  }
  wide.resize(static_cast<size_t>(written));
  return wide;
}

std::string ConvertToGbk(const std::wstring& text) {
  int needed =
      WideCharToMultiByte(kCodePageGbk, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (needed <= 0) {
    BASEKIT_LOG(Failure, "wide to GBK conversion failed %lu", GetLastError());
    return std::string();
  }
  std::string narrow(static_cast<size_t>(needed), '\0');
  int written = WideCharToMultiByte(kCodePageGbk, 0, text.data(), static_cast<int>(text.size()), narrow.data(), needed,
                                    nullptr, nullptr);
  if (written <= 0) {
    BASEKIT_LOG(Failure, "wide to GBK conversion failed %lu", GetLastError());
    return std::string();
  }
  narrow.resize(static_cast<size_t>(written));
  return narrow;
}

#else

// Runs iconv over the whole input. An input unit that cannot be converted
// is replaced by `replacement` and skipped (the platform converters
// substitute too); `unit` is the size of one input unit.
bool Convert(const char* to, const char* from, const char* input, size_t input_size, size_t unit,
             const char* replacement, size_t replacement_size, std::string* output) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    BASEKIT_LOG(Failure, "iconv_open %s -> %s failed %d", from, to, errno);
    return false;
  }
  char* in = const_cast<char*>(input);
  size_t in_left = input_size;
  std::string result;
  bool ok = true;
  while (in_left > 0) {
    char chunk[256];
    char* out = chunk;
    size_t out_left = sizeof(chunk);
    size_t rc = iconv(cd, &in, &in_left, &out, &out_left);
    int error = errno;
    result.append(chunk, sizeof(chunk) - out_left);
    if (rc != static_cast<size_t>(-1) || error == E2BIG) {
      continue;
    }
    if (error == EILSEQ || error == EINVAL) {
      size_t skip = in_left < unit ? in_left : unit;
      in += skip;
      in_left -= skip;
      result.append(replacement, replacement_size);
      continue;
    }
    BASEKIT_LOG(Failure, "iconv %s -> %s failed %d", from, to, error);
    ok = false;
    break;
  }
  iconv_close(cd);
  if (ok) {
    output->swap(result);
  }
  return ok;
}

std::wstring ConvertToWide(const std::string& text) {
  static const wchar_t kReplacement = 0xFFFD;
  std::string out;
  if (!Convert("WCHAR_T", "CP936", text.data(), text.size(), 1, reinterpret_cast<const char*>(&kReplacement),
               sizeof(kReplacement), &out)) {
    return std::wstring();
  }
  std::wstring wide(out.size() / sizeof(wchar_t), L'\0');
  std::memcpy(wide.data(), out.data(), wide.size() * sizeof(wchar_t));
  return wide;
}

std::string ConvertToGbk(const std::wstring& text) {
  std::string out;
  if (!Convert("CP936", "WCHAR_T", reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t),
               sizeof(wchar_t), "?", 1, &out)) {
    return std::string();
  }
  return out;
}

#endif

template <typename String>
String CutAfterLast(const String& path, typename String::value_type separator) {
  size_t pos = path.rfind(separator);
  return pos == String::npos ? path : path.substr(0, pos + 1);
}

}  // namespace

std::wstring GbkToWide(const std::string& text) {
  if (text.empty()) {
    return std::wstring();
  }
  std::wstring wide = ConvertToWide(text);
  if (!wide.empty() && wide[0] == kByteOrderMark) {
    wide.erase(0, 1);
  }
  return wide;
}

std::string WideToGbk(const std::wstring& text) {
  // The conversion covers the text up to its terminator, as a C string would.
  size_t length = text.find(L'\0');
  if (length == std::wstring::npos) {
    length = text.size();
  }
  if (length == 0) {
    return std::string();
  }
  return ConvertToGbk(text.substr(0, length));
}

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

void AppendUtf8(char32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

bool IsSurrogate(char32_t code) { return code >= 0xD800 && code <= 0xDFFF; }

}  // namespace

std::wstring Utf8ToWide(const std::string& text) {
  std::wstring out;
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    char32_t code = length == 1 ? lead : length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
    bool valid = length != 0 && i + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not characters.
    static const char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (!valid || code < kLeast[length] || code > 0x10FFFF || IsSurrogate(code)) {
      AppendCharacter(kReplacementCharacter, &out);
      i += 1;
      continue;
    }
    AppendCharacter(code, &out);
    i += length;
  }
  return out;
}

std::string WideToUtf8(const std::wstring& text) {
  std::string out;
  for (char32_t code : WideToCharacters(text)) {
    AppendUtf8(IsSurrogate(code) || code > 0x10FFFF ? kReplacementCharacter : code, &out);
  }
  return out;
}

std::u32string WideToCharacters(const std::wstring& text) {
  std::u32string codes;
  for (size_t i = 0; i < text.size(); ++i) {
    auto code = static_cast<char32_t>(text[i]);
    if constexpr (sizeof(wchar_t) == 2) {
      code &= 0xFFFF;
      if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size()) {
        const auto low = static_cast<char32_t>(text[i + 1]) & 0xFFFF;
        if (low >= 0xDC00 && low <= 0xDFFF) {
          code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          ++i;
        }
      }
    }
    codes.push_back(code);
  }
  return codes;
}

void AppendCharacter(char32_t code, std::wstring* out) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (code >= 0x10000) {
      code -= 0x10000;
      out->push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
      out->push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
      return;
    }
  }
  out->push_back(static_cast<wchar_t>(code));
}

std::string CutAfterLastBackslash(const std::string& path) { return CutAfterLast(path, '\\'); }

std::wstring CutAfterLastBackslash(const std::wstring& path) { return CutAfterLast(path, L'\\'); }

std::string GetModuleDirectory() {
#if defined(_WIN32)
  // The longest path the system has (32,767 characters); a result that
  // fills the buffer was cut and is tried again with a larger one.
  constexpr DWORD kLongestPath = 32768;
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(path.size());
    const DWORD length = GetModuleFileNameW(GetModuleHandleW(nullptr), path.data(), size);
    if (length == 0) {
      BASEKIT_LOG(Failure, "GetModuleFileNameW failed %lu", GetLastError());
      return std::string();
    }
    if (length < size) {
      path.resize(length);
      break;
    }
    if (size >= kLongestPath) {
      BASEKIT_LOG(Failure, "program path longer than %lu characters", kLongestPath - 1);
      return std::string();
    }
    path.resize(size * 2 < kLongestPath ? size * 2 : kLongestPath);
  }
  return WideToUtf8(CutAfterLastBackslash(path));
#else
  char path[PATH_MAX] = {};
  ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (length <= 0) {
    BASEKIT_LOG(Failure, "readlink /proc/self/exe failed %d", errno);
    return std::string();
  }
  std::string text(path, static_cast<size_t>(length));
  return CutAfterLast(text, '/');
#endif
}

}  // namespace repair
