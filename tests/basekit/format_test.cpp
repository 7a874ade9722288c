#include "basekit/strings/format.h"

#include <gtest/gtest.h>

namespace basekit {
namespace {

void AppendV(std::string& out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  AppendFormatV(out, format, args);
  va_end(args);
}

TEST(FormatString, NarrowAndWideConversions) {
  EXPECT_EQ(FormatString("%s=%d %04x %lld", "a", -3, 0xbeef, 1LL << 40),
            "a=-3 beef 1099511627776");
  EXPECT_EQ(FormatString(L"%ls|%s|%d", L"\u4e0b\u4e00\u6b65", "gbk", 7),
            L"\u4e0b\u4e00\u6b65|gbk|7");
  EXPECT_EQ(
      FormatString(L"netsh interface ip set address name=\"%ls\" source=dhcp",
                   L"eth"),
      L"netsh interface ip set address name=\"eth\" source=dhcp");
  EXPECT_EQ(FormatString("%s", ""), "");
}

TEST(FormatString, IntoReplacesAndAppendAppends) {
  std::string narrow = "old";
  FormatStringInto(narrow, "%d", 5);
  EXPECT_EQ(narrow, "5");
  AppendFormat(narrow, "-%s", "x");
  EXPECT_EQ(narrow, "5-x");
  std::wstring wide = L"old";
  FormatStringInto(wide, L"%d", 6);
  EXPECT_EQ(wide, L"6");
  AppendFormat(wide, L"+%ls", L"y");
  EXPECT_EQ(wide, L"6+y");
}

// Output that overflows the 1,024-character first buffer grows by doubling.
TEST(FormatString, GrowsPastTheFirstBuffer) {
  for (size_t length : {1023u, 1024u, 1025u, 2047u, 2048u, 5000u, 70000u}) {
    std::string text(length, 'n');
    std::string out = "<";
    AppendV(out, "%s>", text.c_str());
    EXPECT_EQ(out, "<" + text + ">") << length;

    std::wstring wtext(length, L'w');
    EXPECT_EQ(FormatString(L"%ls", wtext.c_str()), wtext) << length;
  }
}

TEST(FormatString, LargestOutputAndBeyond) {
  std::string largest(kMaxFormattedChars - 1, 'z');
  std::string out = "keep";
  AppendV(out, "%s", largest.c_str());
  EXPECT_EQ(out.size(), 4 + largest.size());
  EXPECT_EQ(out.compare(0, 4, "keep"), 0);

  out = "keep";
  AppendV(out, "%s!", largest.c_str());  // one character too many
  EXPECT_EQ(out, "keep");
}

TEST(FormatToBuffer, ReportsDidNotFitTheSameWayForBothWidths) {
  char narrow[4];
  wchar_t wide[4];
  va_list none{};
  auto narrow_fmt = [&](const char* format, ...) {
    va_list args;
    va_start(args, format);
    int result = FormatToBuffer(narrow, sizeof narrow, format, args);
    va_end(args);
    return result;
  };
  auto wide_fmt = [&](const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    int result = FormatToBuffer(wide, 4, format, args);
    va_end(args);
    return result;
  };
  (void)none;
  EXPECT_EQ(narrow_fmt("%s", "abc"), 3);
  EXPECT_EQ(narrow_fmt("%s", "abcd"), -1);
  EXPECT_STREQ(narrow, "abc");
  EXPECT_EQ(wide_fmt(L"%ls", L"abc"), 3);
  EXPECT_EQ(wide_fmt(L"%ls", L"abcd"), -1);
  // Narrow text the runtime cannot convert is a formatting error, not output
  // that did not fit (which would send AppendFormatV through every size).
  EXPECT_NE(wide_fmt(L"%s", "\xff"), -1);
  std::wstring out = L"keep";
  AppendFormat(out, L"%s", "\xff\xfe");
  EXPECT_EQ(out.compare(0, 4, L"keep"), 0);
}

}  // namespace
}  // namespace basekit
