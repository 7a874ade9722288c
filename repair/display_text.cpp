#include "repair/display_text.h"

#include "repair/text_encoding.h"

namespace repair {

namespace {

constexpr char32_t kEllipsis = 0x2026;

struct Range {
  char32_t first;
  char32_t last;
};

bool InRanges(char32_t code, const Range* ranges, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (code >= ranges[i].first && code <= ranges[i].last) return true;
  }
  return false;
}

// Unicode's format characters (category Cf).
constexpr Range kFormat[] = {
    {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},   {0x070F, 0x070F},
    {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},   {0x200B, 0x200F},   {0x202A, 0x202E},
    {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD},
    {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
    {0xE0020, 0xE007F},
};

// Characters East Asian fonts draw two columns wide.
constexpr Range kWide[] = {
    {0x1100, 0x115F}, {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF}, {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},
    {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD},
};

bool IsHidden(char32_t code) {
  const bool control = code < 0x20 || (code >= 0x7F && code <= 0x9F);
  const bool separator = code == 0x2028 || code == 0x2029;
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;  // only a lone one gets here
  return control || separator || surrogate || InRanges(code, kFormat, sizeof(kFormat) / sizeof(kFormat[0]));
}

size_t Columns(char32_t code) { return InRanges(code, kWide, sizeof(kWide) / sizeof(kWide[0])) ? 2 : 1; }

std::u32string Clean(const std::wstring& text) {
  std::u32string kept;
  for (char32_t code : WideToCharacters(text)) {
    if (!IsHidden(code)) kept.push_back(code);
  }
  return kept;
}

std::wstring Encode(const std::u32string& codes, size_t begin, size_t end) {
  std::wstring out;
  for (size_t i = begin; i < end; ++i) AppendCharacter(codes[i], &out);
  return out;
}

}  // namespace

std::wstring CleanDisplayText(const std::wstring& text) {
  const std::u32string kept = Clean(text);
  return Encode(kept, 0, kept.size());
}

std::wstring DisplayText(const std::wstring& text) {
  const std::u32string kept = Clean(text);
  size_t total = 0;
  for (char32_t code : kept) total += Columns(code);
  if (total <= kShownColumns) return Encode(kept, 0, kept.size());

  // The start gets the larger half of what the ellipsis leaves.
  const size_t budget = kShownColumns - Columns(kEllipsis);
  size_t head = 0;
  size_t used = 0;
  while (used + Columns(kept[head]) <= (budget + 1) / 2) used += Columns(kept[head++]);
  size_t tail = kept.size();
  while (tail > head && used + Columns(kept[tail - 1]) <= budget) used += Columns(kept[--tail]);
  std::wstring shown = Encode(kept, 0, head);
  AppendCharacter(kEllipsis, &shown);
  return shown + Encode(kept, tail, kept.size());
}

}  // namespace repair
