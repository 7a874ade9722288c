#include "uiframework/markup/markup_doc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/uiframework/test_support.h"
#include "uiframework/base/text_conv.h"

namespace Veneer {
namespace {

// The tree as text: name(attr=value,...)"data"[children] siblings...
std::wstring Dump(CMarkupElement element) {
  std::wstring out;
  for (; element.IsValid(); element = element.GetSibling()) {
    if (!out.empty()) out += L" ";
    out += element.GetName();
    out += L"(";
    for (int i = 0; i < element.GetAttributeCount(); ++i) {
      if (i > 0) out += L",";
      out += element.GetAttributeName(i);
      out += L"=";
      out += element.GetAttributeValue(i);
    }
    out += L")";
    if (element.GetValue()[0] != L'\0') out += std::wstring(L"\"") + element.GetValue() + L"\"";
    if (element.HasChildren()) out += L"[" + Dump(element.GetChild()) + L"]";
  }
  return out;
}

std::wstring DumpUtf8(const std::string& text) {
  CMarkupDoc doc;
  if (!doc.LoadFromMem(reinterpret_cast<const uint8_t*>(text.data()), text.size(), CMarkupDoc::kUtf8)) {
    return std::wstring(L"error: ") + doc.GetLastErrorMessage();
  }
  return Dump(doc.GetRoot());
}

struct ParseCase {
  const char* label;
  const char* input;
  const wchar_t* tree;
};

TEST(MarkupDocTest, ParsesTheDialect) {
  const ParseCase cases[] = {
      {"empty element", R"(<Window size="580,374" caption="0,0,0,30" />)", L"Window(size=580,374,caption=0,0,0,30)"},
      {"nested with data", "<a><b>text</b><c x=\"1\"/></a>", L"a()[b()\"text\" c(x=1)]"},
      {"declaration and comments skipped",
       "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- head -->\n<a>\n<!-- between -->\n<b/>\n<!--x--><c/></a>",
       L"a()\"\n\"[b() c()]"},
      {"five named entities", R"(<a t="&lt;&gt;&amp;&quot;&apos;"/>)", L"a(t=<>&\"')"},
      {"a &amp; b", R"(<a text="a &amp; b"/>)", L"a(text=a & b)"},
      {"unknown and numeric entities kept", R"(<a t="&copy; &#65; &x"/>)", L"a(t=&copy; &#65; &x)"},
      {"ampersands in a row", R"(<a t="&&amp;"/>)", L"a(t=&&)"},
      {"entity at the value's end", R"(<a t="x&amp;" u="2"/>)", L"a(t=x&,u=2)"},
      {"single quotes inside a value", R"(<a bkimage="file='x.png' corner='1,2,3,4'"/>)",
       L"a(bkimage=file='x.png' corner='1,2,3,4')"},
      {"line break and tab kept", "<a t=\"one\n\ttwo\"/>", L"a(t=one\n\ttwo)"},
      {"blanks around =", "<a t = \"1\"  u=\"2\"/>", L"a(t=1,u=2)"},
      {"unclosed root with complete children", "<root><a/><b>x</b>", L"root()[a() b()\"x\"]"},
      {"unclosed root without attributes keeps its name", "<root>\n  <a/>\n", L"root()\"\n  \"[a()]"},
      {"top-level siblings follow the root", "<a/><b/>", L"a() b()"},
      {"name directly followed by />", "<a><b/><c/></a>", L"a()[b() c()]"},
      {"end tag with blanks", "<a>x</a  >", L"a()\"x\""},
      {"data with entities before a child", "<a>1&amp;2<b/></a>", L"a()\"1&2\"[b()]"},
      {"non-ASCII text", "<a t=\"\xe4\xbf\xae\xe5\xa4\x8d\"/>", L"a(t=\u4fee\u590d)"},
      {"empty document", "", L""},
  };
  for (const ParseCase& c : cases) {
    EXPECT_EQ(DumpUtf8(c.input), c.tree) << c.label;
  }
}

struct ErrorCase {
  const char* input;
  const wchar_t* message;
  const wchar_t* location;
};

TEST(MarkupDocTest, ReportsErrorsWithLocation) {
  const ErrorCase cases[] = {
      {"<a b='1'/>", L"Expected attribute value", L"'1'/>"},
      {"<a b/>", L"Error while parsing attributes", L"/>"},
      {"<a b=\"1/>", L"Error while parsing attribute string", L""},
      {"<a>x</b>", L"Unmatched closing tag", L"b>"},
      {"<a>x</ab>", L"Unmatched closing tag", L"b>"},
      {"<a><b>1</b>2</a>", L"Expected start tag", L"2</a>"},
      {"<a>text<b/>more</a>", L"Expected start tag", L"more</a>"},
      {"<a", L"Error parsing element name", L""},
      {"<a b=\"1\"", L"Expected start-tag closing", L""},
      {"<a b=\"1\" ?>", L"Error while parsing attributes", L"?>"},
      {"<a b=\"1\" / >", L"Expected start-tag closing", L"/ >"},
      {"text", L"Expected start tag", L"text"},
      {"<a><b><c/>", L"Expected start tag", L""},
      {"<a><b/>x", L"Expected start tag", L"x"},
  };
  for (const ErrorCase& c : cases) {
    CMarkupDoc doc;
    EXPECT_FALSE(doc.LoadFromMem(reinterpret_cast<const uint8_t*>(c.input), std::strlen(c.input))) << c.input;
    EXPECT_STREQ(doc.GetLastErrorMessage(), c.message) << c.input;
    EXPECT_STREQ(doc.GetLastErrorLocation(), c.location) << c.input;
    EXPECT_FALSE(doc.GetRoot().IsValid()) << c.input;
  }
}

TEST(MarkupDocTest, ErrorLocationIsCutTo49Characters) {
  std::wstring text = L"<a>" + std::wstring(100, L'x') + L"<b/>";
  CMarkupDoc doc;
  // Data then a child is fine; text before the root is not.
  ASSERT_FALSE(doc.Load((std::wstring(100, L'y') + text).c_str()));
  EXPECT_EQ(std::wstring(doc.GetLastErrorLocation()), std::wstring(49, L'y'));
}

TEST(MarkupDocTest, ByteOrderMarkMakesNoDifference) {
  std::string skin = "<Window size=\"10,20\"><Label text=\"\xe4\xbd\xa0\"/></Window>";
  EXPECT_EQ(DumpUtf8(skin), DumpUtf8("\xEF\xBB\xBF" + skin));
  EXPECT_EQ(DumpUtf8("\xEF\xBB\xBF" + skin), L"Window(size=10,20)[Label(text=\u4f60)]");
}

TEST(MarkupDocTest, ReadsUtf16InBothByteOrders) {
  std::u16string text = u"<a t=\"\u4f60\U0001F600\"/>";
  std::vector<uint8_t> little = {0xFF, 0xFE};
  std::vector<uint8_t> big = {0xFE, 0xFF};
  for (char16_t unit : text) {
    little.push_back(static_cast<uint8_t>(unit));
    little.push_back(static_cast<uint8_t>(unit >> 8));
    big.push_back(static_cast<uint8_t>(unit >> 8));
    big.push_back(static_cast<uint8_t>(unit));
  }
  const std::wstring expected = L"a(t=" + Utf16ToWide(u"\u4f60\U0001F600", 3) + L")";
  for (const auto& bytes : {little, big}) {
    CMarkupDoc doc;
    ASSERT_TRUE(doc.LoadFromMem(bytes.data(), bytes.size(), CMarkupDoc::kUtf16));
    EXPECT_EQ(Dump(doc.GetRoot()), expected);
  }
  // Without a mark there is no byte order to read by.
  CMarkupDoc doc;
  EXPECT_FALSE(doc.LoadFromMem(little.data() + 2, little.size() - 2, CMarkupDoc::kUtf16));
  EXPECT_FALSE(doc.LoadFromMem(little.data(), 1, CMarkupDoc::kUtf16));
}

TEST(MarkupDocTest, ReadsTheAnsiCodePage) {
  const char text[] = "<a t=\"caf\xe9\"/>";
  CMarkupDoc doc;
  ASSERT_TRUE(doc.LoadFromMem(reinterpret_cast<const uint8_t*>(text), sizeof(text) - 1, CMarkupDoc::kAnsi));
  EXPECT_STREQ(doc.GetRoot().GetAttributeValue(L"t"), L"caf\u00e9");
  EXPECT_FALSE(doc.LoadFromMem(reinterpret_cast<const uint8_t*>(text), sizeof(text) - 1, 7));
}

TEST(MarkupDocTest, ExposesTheFirst64Attributes) {
  std::wstring text = L"<a";
  for (int i = 0; i < 70; ++i) text += L" n" + std::to_wstring(i) + L"=\"v" + std::to_wstring(i) + L"\"";
  text += L"/>";
  CMarkupDoc doc(text.c_str());
  CMarkupElement root = doc.GetRoot();
  ASSERT_EQ(root.GetAttributeCount(), 64);
  EXPECT_STREQ(root.GetAttributeName(63), L"n63");
  EXPECT_STREQ(root.GetAttributeValue(63), L"v63");
  EXPECT_EQ(root.GetAttributeValue(L"n64"), nullptr);
}

TEST(MarkupDocTest, AttributeLookup) {
  CMarkupDoc doc(L"<Include count=\"3\" source=\"0123456789\" e=\"\"/>");
  CMarkupElement root = doc.GetRoot();
  EXPECT_STREQ(root.GetAttributeValue(L"count"), L"3");
  EXPECT_EQ(root.GetAttributeValue(L"Count"), nullptr);  // names are case-sensitive
  EXPECT_STREQ(root.GetAttributeValue(L"e"), L"");
  EXPECT_STREQ(root.GetAttributeName(-1), L"");
  EXPECT_STREQ(root.GetAttributeValue(3), L"");

  wchar_t buffer[5] = {L'#', L'#', L'#', L'#', L'#'};
  EXPECT_TRUE(root.GetAttributeValue(L"source", buffer, 5));
  EXPECT_STREQ(buffer, L"0123");  // cut, and still terminated
  EXPECT_FALSE(root.GetAttributeValue(L"missing", buffer, 5));
  EXPECT_STREQ(buffer, L"0123");

  CMarkupElement invalid;
  EXPECT_FALSE(invalid.IsValid());
  EXPECT_EQ(invalid.GetName(), nullptr);
  EXPECT_EQ(invalid.GetAttributeValue(0), nullptr);
  EXPECT_EQ(invalid.GetAttributeCount(), 0);
  EXPECT_FALSE(invalid.GetChild().IsValid());
}

TEST(MarkupDocTest, ReloadAndRelease) {
  CMarkupDoc doc;
  ASSERT_TRUE(doc.Load(L"<a/>"));
  EXPECT_FALSE(doc.Load(L"<a b/>"));
  EXPECT_FALSE(doc.GetRoot().IsValid());
  ASSERT_TRUE(doc.Load(L"<b/>"));
  EXPECT_STREQ(doc.GetLastErrorMessage(), L"");
  EXPECT_STREQ(doc.GetRoot().GetName(), L"b");
  doc.Release();
  EXPECT_FALSE(doc.GetRoot().IsValid());
}

TEST(MarkupDocTest, DeepNestingDoesNotExhaustTheStack) {
  std::wstring text;
  for (int i = 0; i < 200000; ++i) text += L"<a>";
  CMarkupDoc doc;
  // The innermost element is not closed and is not the root.
  EXPECT_FALSE(doc.Load(text.c_str()));
  EXPECT_STREQ(doc.GetLastErrorMessage(), L"Expected end-tag start");
  std::wstring closed = text;
  for (int i = 0; i < 200000; ++i) closed += L"</a>";
  EXPECT_TRUE(doc.Load(closed.c_str()));
}

TEST(MarkupDocTest, LargeDocumentGrowsTheElementTable) {
  std::wstring text = L"<root>";
  for (int i = 0; i < 5000; ++i) text += L"<e i=\"" + std::to_wstring(i) + L"\"/>";
  CMarkupDoc doc(text.c_str());
  int count = 0;
  for (CMarkupElement e = doc.GetRoot().GetChild(); e.IsValid(); e = e.GetSibling()) {
    EXPECT_EQ(std::to_wstring(count), e.GetAttributeValue(L"i"));
    ++count;
  }
  EXPECT_EQ(count, 5000);
}

}  // namespace
}  // namespace Veneer
