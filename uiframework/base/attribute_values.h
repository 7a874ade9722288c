#pragma once

// Reading skin attribute values: decimal numbers, lists of numbers separated
// by single characters ("l,t,r,b", "cx,cy"), hexadecimal colours written
// alpha first ("#FFFFFFFF") and booleans. Malformed or missing numbers read
// as 0; nothing reads past the value's terminator.

#include <cstdint>

#include "uiframework/base/geometry.h"

namespace Veneer {

// Leading blanks, an optional sign, decimal digits; clamped to int. Leaves p
// after the digits (unchanged when there are none).
int ReadDecimal(const wchar_t*& p);
// ReadDecimal, then steps over one separator character unless at the end.
int ReadListNumber(const wchar_t*& p);

int ParseDecimal(const wchar_t* value);
UiRect ParseRect(const wchar_t* value);
UiSize ParseSize(const wchar_t* value);
// Blanks and one "#" are skipped, then hexadecimal digits (saturating at
// 0xFFFFFFFF).
uint32_t ParseColor(const wchar_t* value);

// ASCII-only case folding: the skin's names are ASCII.
bool EqualsIgnoreCase(const wchar_t* a, const wchar_t* b);
// "true" in any letter case.
bool ParseBoolIgnoreCase(const wchar_t* value);
// Exactly "true".
bool ParseBool(const wchar_t* value);

}  // namespace Veneer
