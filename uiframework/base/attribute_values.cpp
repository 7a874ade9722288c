#include "uiframework/base/attribute_values.h"

#include <climits>
#include <cwchar>

namespace Veneer {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

}  // namespace

int ReadDecimal(const wchar_t*& p) {
  if (p == nullptr) return 0;
  const wchar_t* q = p;
  while (IsBlank(*q)) ++q;
  bool negative = false;
  if (*q == L'-' || *q == L'+') negative = *q++ == L'-';
  if (*q < L'0' || *q > L'9') return 0;
  long long value = 0;
  while (*q >= L'0' && *q <= L'9') {
    if (value <= INT_MAX) value = value * 10 + (*q - L'0');
    ++q;
  }
  p = q;
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

int ReadListNumber(const wchar_t*& p) {
  int value = ReadDecimal(p);
  if (p != nullptr && *p != L'\0') ++p;
  return value;
}

int ParseDecimal(const wchar_t* value) { return ReadDecimal(value); }

UiRect ParseRect(const wchar_t* value) {
  UiRect rect;
  rect.left = ReadListNumber(value);
  rect.top = ReadListNumber(value);
  rect.right = ReadListNumber(value);
  rect.bottom = ReadListNumber(value);
  return rect;
}

UiSize ParseSize(const wchar_t* value) {
  UiSize size;
  size.cx = ReadListNumber(value);
  size.cy = ReadListNumber(value);
  return size;
}

uint32_t ParseColor(const wchar_t* value) {
  if (value == nullptr) return 0;
  while (IsBlank(*value)) ++value;
  if (*value == L'#') ++value;
  uint64_t color = 0;
  for (int digit; (digit = HexDigit(*value)) >= 0; ++value) {
    color = color * 16 + static_cast<uint64_t>(digit);
    if (color > 0xFFFFFFFFu) color = 0xFFFFFFFFu;
  }
  return static_cast<uint32_t>(color);
}

bool EqualsIgnoreCase(const wchar_t* a, const wchar_t* b) {
  if (a == nullptr || b == nullptr) return a == b;
  for (; *a != L'\0' && *b != L'\0'; ++a, ++b) {
    if (FoldAscii(*a) != FoldAscii(*b)) return false;
  }
  return *a == *b;
}

bool ParseBoolIgnoreCase(const wchar_t* value) { return EqualsIgnoreCase(value, L"true"); }

bool ParseBool(const wchar_t* value) { return value != nullptr && std::wcscmp(value, L"true") == 0; }

}  // namespace Veneer
