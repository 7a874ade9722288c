#include "repair/display_text.h"

#include <gtest/gtest.h>

#include <string>

#include "repair/text_encoding.h"
#include "repair/wizard_texts.h"

namespace repair {
namespace {

// Text from code points, so that characters beyond U+FFFF are written the
// same way on Windows (UTF-16) and elsewhere (UTF-32).
std::wstring Text(const std::u32string& codes) {
  std::wstring text;
  for (char32_t code : codes) AppendCharacter(code, &text);
  return text;
}

TEST(DisplayText, DropsWhatReordersOrHidesTextAndShortensInTheMiddle) {
  const std::wstring latin60 = L"Realtek PCIe GbE Family Controller with a far too long tail9";
  struct Case {
    const char* what;
    std::wstring in;
    std::wstring shown;
  } cases[] = {
      {"ordinary names stay", L"以太网 2", L"以太网 2"},
      {"40 columns stay", std::wstring(40, L'a'), std::wstring(40, L'a')},
      {"bidi marks, embeddings, overrides, isolates, Arabic letter mark",
       Text(U"1\u200E2\u200F3\u202A4\u202B5\u202C6\u202D7\u202E8\u20669\u2067a\u2068b\u2069c\u061Cd"),
       L"123456789abcd"},
      {"controls, separators, zero widths, soft hyphen, byte-order mark",
       Text(U"a\tb\nc\rd\x7F"
            U"e\x85"
            U"f\u2028g\u2029h\u200Bi\u00ADj\uFEFFk\u2060l"),
       L"abcdefghijkl"},
      {"tag characters go, a character beyond U+FFFF stays", Text(U"x\U000E0041y\U0001F600z"), Text(U"xy\U0001F600z")},
      {"a lone surrogate goes", std::wstring(L"a") + static_cast<wchar_t>(0xD800) + L"b", L"ab"},
      {"nothing but controls", Text(U"\u202E\u2066\n"), L""},
      {"41 columns: cut in the middle", std::wstring(41, L'a'), std::wstring(20, L'a') + L"…" + std::wstring(19, L'a')},
      {"long Latin keeps its start and end", latin60,
       latin60.substr(0, 20) + L"…" + latin60.substr(latin60.size() - 19)},
      {"CJK counts two columns", std::wstring(30, L'网'), std::wstring(10, L'网') + L"…" + std::wstring(9, L'网')},
      {"a control does not count", L"\u202E" + std::wstring(40, L'b'), std::wstring(40, L'b')},
      {"a pair at the cut is not split",
       Text(std::u32string(18, U'a') + U"\U0001F600\U0001F600" + std::u32string(30, U'b')),
       Text(std::u32string(18, U'a') + U"\U0001F600…" + std::u32string(19, U'b'))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(DisplayText(c.in), c.shown);
  }
  EXPECT_EQ(CleanDisplayText(L"\u202E" + latin60), latin60) << "the tooltip's text is cleaned, not shortened";
}

// A journal written by someone else: the notice shows its values without
// the characters that would turn "10.0.0.1" into something else on screen.
TEST(DisplayText, ManualRestoreNoticeShowsCleanedValues) {
  RepairFailure manual;
  manual.cause = RepairCause::kRestoreFailed;
  manual.connection_name = L"本地连接\u202E";
  manual.settings = {false, "192.168.0.10\x1B", "255.255.255.0", "192.168.\n0.1"};
  EXPECT_EQ(RestoreFailedNotice(manual),
            L"上次修复改动的网络设置未能恢复。请把“本地连接”的IPv4地址改回192.168.0.10，子网掩码255.255.255.0，网关192."
            L"168.0.1。");
}

}  // namespace
}  // namespace repair
