#include "uiframework/base/text_conv.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Veneer {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

AnsiCodec g_ansi_codec;

void AppendCodePoint(char32_t cp, std::wstring& out) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
      return;
    }
  }
  out.push_back(static_cast<wchar_t>(cp));
}

void AppendUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes the wide text one code point at a time (pairs on UTF-16 builds).
template <typename Fn>
void ForEachCodePoint(const std::wstring& text, Fn fn) {
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = static_cast<char32_t>(text[i]);
    if constexpr (sizeof(wchar_t) == 2) {
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
        char32_t low = static_cast<char32_t>(text[i + 1]);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          fn(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
          ++i;
          continue;
        }
      }
    }
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacement;
    fn(c);
  }
}

}  // namespace

size_t DecodeUtf8(const uint8_t* data, size_t size, wchar_t* out) {
  wchar_t* const start = out;
  size_t i = 0;
  while (i < size) {
    // ASCII runs dominate skin files; copy them sixteen or eight bytes at a
    // time.
#if defined(__SSE2__)
    while (i + 16 <= size) {
      __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
      if (_mm_movemask_epi8(chunk) != 0) break;
      const __m128i zero = _mm_setzero_si128();
      __m128i low = _mm_unpacklo_epi8(chunk, zero);
      __m128i high = _mm_unpackhi_epi8(chunk, zero);
      if constexpr (sizeof(wchar_t) == 2) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), low);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), high);
      } else {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(low, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_unpackhi_epi16(low, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpacklo_epi16(high, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), _mm_unpackhi_epi16(high, zero));
      }
      out += 16;
      i += 16;
    }
#endif
    while (i + 8 <= size) {
      uint64_t chunk;
      std::memcpy(&chunk, data + i, 8);
      if ((chunk & 0x8080808080808080ull) != 0) break;
      for (int k = 0; k < 8; ++k) out[k] = static_cast<wchar_t>(data[i + k]);
      out += 8;
      i += 8;
    }
    while (i < size && data[i] < 0x80) *out++ = static_cast<wchar_t>(data[i++]);
    if (i >= size) break;
    uint8_t lead = data[i];
    size_t length;
    char32_t cp;
    char32_t min;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, cp = lead & 0x1F, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, cp = lead & 0x0F, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, cp = lead & 0x07, min = 0x10000;
    } else {
      *out++ = static_cast<wchar_t>(kReplacement);
      ++i;
      continue;
    }
    size_t k = 1;
    for (; k < length && i + k < size && (data[i + k] & 0xC0) == 0x80; ++k) {
      cp = (cp << 6) | (data[i + k] & 0x3F);
    }
    if (k < length || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      // A broken sequence: one replacement for the bytes consumed so far.
      *out++ = static_cast<wchar_t>(kReplacement);
      i += k;
      continue;
    }
    if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
      cp -= 0x10000;
      *out++ = static_cast<wchar_t>(0xD800 + (cp >> 10));
      *out++ = static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
    } else {
      *out++ = static_cast<wchar_t>(cp);
    }
    i += length;
  }
  return static_cast<size_t>(out - start);
}

void AppendUtf8AsWide(const uint8_t* data, size_t size, std::wstring& out) {
  // Every input byte yields at most one wide character (a four-byte
  // sequence yields at most two UTF-16 units).
  size_t old_size = out.size();
  out.resize(old_size + size);
  size_t count = DecodeUtf8(data, size, out.data() + old_size);
  out.resize(old_size + count);
}

std::wstring Utf8ToWide(const char* text, size_t size) {
  std::wstring out;
  AppendUtf8AsWide(reinterpret_cast<const uint8_t*>(text), size, out);
  return out;
}

std::wstring Utf8ToWide(const std::string& text) { return Utf8ToWide(text.data(), text.size()); }

std::string WideToUtf8(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  ForEachCodePoint(text, [&](char32_t cp) { AppendUtf8(cp, out); });
  return out;
}

std::wstring Utf16ToWide(const char16_t* units, size_t count) {
  std::wstring out;
  out.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    char32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      AppendCodePoint(0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00), out);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      out.push_back(static_cast<wchar_t>(kReplacement));
    } else {
      out.push_back(static_cast<wchar_t>(c));
    }
  }
  return out;
}

std::u16string WideToUtf16(const std::wstring& text) {
  std::u16string out;
  out.reserve(text.size());
  ForEachCodePoint(text, [&](char32_t cp) {
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  });
  return out;
}

void SetAnsiCodec(const AnsiCodec& codec) { g_ansi_codec = codec; }

std::wstring AnsiToWide(const char* text, size_t size) {
  if (g_ansi_codec.to_wide != nullptr) return g_ansi_codec.to_wide(text, size);
  std::wstring out;
  out.reserve(size);
  for (size_t i = 0; i < size; ++i) out.push_back(static_cast<wchar_t>(static_cast<uint8_t>(text[i])));
  return out;
}

std::string WideToAnsi(const std::wstring& text) {
  if (g_ansi_codec.from_wide != nullptr) return g_ansi_codec.from_wide(text);
  std::string out;
  out.reserve(text.size());
  ForEachCodePoint(text, [&](char32_t cp) { out.push_back(cp < 0x100 ? static_cast<char>(cp) : '?'); });
  return out;
}

std::string ToLogText(const wchar_t* text) { return text == nullptr ? std::string("(null)") : WideToUtf8(text); }

}  // namespace Veneer
