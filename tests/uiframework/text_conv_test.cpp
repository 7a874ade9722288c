#include "uiframework/base/text_conv.h"

#include <gtest/gtest.h>

namespace Veneer {
namespace {

TEST(TextConvTest, Utf8RoundTripsOnEveryBuild) {
  const std::string utf8 = "a\xc3\xa9\xe4\xbf\xae\xf0\x9f\x98\x80";  // a, e-acute, CJK, emoji
  std::wstring wide = Utf8ToWide(utf8);
  // One wide character per code point, except the emoji on UTF-16 builds.
  EXPECT_EQ(wide.size(), sizeof(wchar_t) == 2 ? 5u : 4u);
  EXPECT_EQ(wide[2], L'\u4fee');
  EXPECT_EQ(WideToUtf8(wide), utf8);
  std::u16string utf16 = WideToUtf16(wide);
  EXPECT_EQ(utf16, u"a\u00e9\u4fee\U0001F600");
  EXPECT_EQ(Utf16ToWide(utf16.data(), utf16.size()), wide);
}

TEST(TextConvTest, BrokenInputBecomesReplacementCharacters) {
  struct Case {
    const char* bytes;
    const wchar_t* wide;
  } cases[] = {
      {"\xff", L"\ufffd"},           {"a\xe4\xbf", L"a\ufffd"},  // truncated sequence
      {"\xc0\xaf", L"\ufffd\ufffd"},                             // overlong
      {"\xed\xa0\x80", L"\ufffd"},                               // encoded surrogate
      {"\xe4x", L"\ufffdx"},
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8ToWide(std::string(c.bytes)), c.wide) << c.bytes;
  const char16_t lone[] = {u'a', 0xD800, u'b'};
  EXPECT_EQ(Utf16ToWide(lone, 3), L"a\ufffdb");
}

TEST(TextConvTest, AnsiDefaultsToLatin1) {
  EXPECT_EQ(AnsiToWide("caf\xe9", 4), L"caf\u00e9");
  EXPECT_EQ(WideToAnsi(L"caf\u00e9\u4fee"), "caf\xe9?");
}

}  // namespace
}  // namespace Veneer
