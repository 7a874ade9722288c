#pragma once

// Names and values that come from outside the program (connection names,
// adapter descriptions, what the journal recorded, the box's error text) as
// the window shows them. Control and format characters are dropped: bidi
// marks, embeddings, overrides and isolates (U+200E, U+202E, U+2066, ...)
// would reorder the digits of an address around them, and zero-width
// characters and line breaks would hide or break text. The log keeps the
// full value.
//
// Any thread; no state.

#include <cstddef>
#include <string>

namespace repair {

// The most a shown name takes, in half-width columns (a CJK or other
// full-width character takes two): 20 CJK characters or 40 Latin ones,
// about 280 pixels at the window's 12-pixel type. That keeps a name on one
// line of the adapter picker (390 pixels) and the manual-restore notice
// within its two lines with the longest address, mask and gateway, and
// leaves the usual names whole ("以太网 2", "Realtek PCIe GbE Family
// Controller", "Intel(R) Ethernet Connection (7) I219-V").
inline constexpr size_t kShownColumns = 40;

// Without control (Cc), format (Cf), line and paragraph separator
// characters and lone surrogates.
std::wstring CleanDisplayText(const std::wstring& text);

// CleanDisplayText, then shortened to kShownColumns with "…" in the middle:
// the start and the end of a name tell it apart best ("... #2").
std::wstring DisplayText(const std::wstring& text);

}  // namespace repair
