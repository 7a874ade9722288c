#include "uiframework/resources/resource_tables.h"

#include "uiframework/core/paint_host.h"

#include <gtest/gtest.h>

#include <cwchar>

#include "tests/uiframework/test_support.h"
#include "uiframework/resources/skin_resources.h"

namespace Veneer {
namespace {

class ResourceTablesTest : public test::FrameworkTest {};

TEST_F(ResourceTablesTest, FontDescriptions) {
  FontDescription system;
  system.face = L"System Face";
  system.height = -12;
  system.weight = 400;
  system.quality = 5;
  CResourceTablesUI::Shared().SetSystemFont(system);
  CPaintHostUI host;

  const FontDescription* font =
      host.GetResources().AddFont(1, L"\u5fae\u8f6f\u96c5\u9ed1", 14, true, true, false, false);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->height, -14);
  EXPECT_EQ(font->weight, 700);
  EXPECT_EQ(font->quality, 2);  // proof
  EXPECT_EQ(font->charset, 1);
  EXPECT_TRUE(font->underline);
  EXPECT_FALSE(font->italic);

  host.GetResources().SetDefaultFont(L"Default Face", 13, true, false, true, false);
  const FontDescription* fallback = &host.GetResources().GetFont(99);
  EXPECT_EQ(fallback->face, L"Default Face");
  EXPECT_EQ(fallback->weight, 1100);  // the system weight plus bold
  EXPECT_EQ(fallback->quality, 5);    // the system quality stays

  std::wstring long_face(40, L'f');
  EXPECT_EQ(host.GetResources().AddFont(2, long_face.c_str(), 9, false, false, false, false)->face.size(), 31u);
  EXPECT_EQ(host.GetResources().AddFont(3, L"", 9, false, false, false, false), nullptr);
}

TEST_F(ResourceTablesTest, WindowTablesComeBeforeSharedOnes) {
  CPaintHostUI first;
  CPaintHostUI second;
  first.GetResources().AddFont(1, L"Shared", 10, false, false, false, true);
  second.GetResources().AddFont(1, L"Own", 11, false, false, false, false);
  EXPECT_EQ(first.GetResources().GetFont(1).face, L"Shared");
  EXPECT_EQ(second.GetResources().GetFont(1).face, L"Own");
  second.GetResources().AddFont(1, L"Replaced", 11, false, false, false, false);
  EXPECT_EQ(second.GetResources().GetFont(1).face, L"Replaced");

  first.GetResources().AddDefaultAttributeList(L"Label", L"a=\"1\"", true);
  second.GetResources().AddDefaultAttributeList(L"Label", L"a=\"2\"", false);
  EXPECT_STREQ(first.GetResources().GetDefaultAttributeList(L"Label"), L"a=\"1\"");
  EXPECT_STREQ(second.GetResources().GetDefaultAttributeList(L"Label"), L"a=\"2\"");
  EXPECT_EQ(second.GetResources().GetDefaultAttributeList(L"label"), nullptr);  // keys are case-sensitive
}

TEST_F(ResourceTablesTest, DefaultColoursAreCopiedPerWindow) {
  CPaintHostUI first;
  EXPECT_EQ(first.GetDefaultColors().disabled, 0xFFA7A6AAu);
  EXPECT_EQ(first.GetDefaultColors().normal, 0xFF000000u);
  EXPECT_EQ(first.GetDefaultColors().link, 0xFF0000FFu);
  EXPECT_EQ(first.GetDefaultColors().link_hover, 0xFFD3215Fu);
  EXPECT_EQ(first.GetDefaultColors().selected, 0xFFBAE4FFu);
  first.GetDefaultColors().normal = 0xFF123456;
  CPaintHostUI second;
  EXPECT_EQ(second.GetDefaultColors().normal, 0xFF000000u);
}

TEST_F(ResourceTablesTest, LanguageTokens) {
  CResourceTablesUI::Shared().AddMultiLanguageString(1, L"Next");
  CResourceTablesUI::Shared().AddMultiLanguageString(2, L"%{1}");
  CResourceTablesUI::Shared().AddMultiLanguageString(1, L"\u4e0b\u4e00\u6b65");  // replaces
  struct Case {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {
      {L"%{1}", L"\u4e0b\u4e00\u6b65"},
      {L"a %{1} b %{1}", L"a \u4e0b\u4e00\u6b65 b \u4e0b\u4e00\u6b65"},
      {L"%{01}", L"\u4e0b\u4e00\u6b65"},
      {L"%{3} stays", L"%{3} stays"},
      {L"%{1 x", L"%{1 x"},
      {L"%{} %{", L"%{} %{"},
      {L"%{2}", L"%{1}"},  // replaced text is not read again
      {L"%{99999999999}", L"%{99999999999}"},
      {L"no tokens", L"no tokens"},
  };
  for (const Case& c : cases) EXPECT_EQ(CResourceTablesUI::Shared().ProcessMultiLanguageTokens(c.in), c.out) << c.in;
}

// The decoded pixels one table holds are bounded: a skin cannot name one
// large image under many names until memory runs out.
TEST_F(ResourceTablesTest, ImageBytesAreBounded) {
  test::ScratchDir dir;
  dir.Write("big.png", test::EncodePng(64, 64, std::vector<uint8_t>(64 * 64 * 4, 0x80)));
  CSkinResourcesUI::SetResourcePath(dir.WidePath().c_str());
  CResourceTablesUI tables;
  tables.SetImageByteLimit(3 * 64 * 64 * 4);
  const std::wstring names[] = {L"big.png", L"./big.png", L".//big.png", L"././big.png"};
  // Each name its own decode (masks differ): the fourth does not fit.
  for (uint32_t i = 0; i < 3; ++i) EXPECT_NE(tables.AddImage(names[i].c_str(), nullptr, i, false, false), nullptr);
  EXPECT_EQ(tables.AddImage(names[3].c_str(), nullptr, 3, false, false), nullptr);
  EXPECT_EQ(tables.GetImage(names[3].c_str()), nullptr);
  // A name added again keeps its entry and its bytes.
  EXPECT_NE(tables.AddImage(names[0].c_str(), nullptr, 0, false, false), nullptr);
  EXPECT_EQ(tables.GetImageBytes(), 3u * 64 * 64 * 4);
}

// An entry is never replaced: controls of any window may be drawing it (a
// second window declaring a shared image of the same name freed the one the
// first window drew). The same bytes are decoded once whatever their names
// (64 letter-case spellings of one 4096 x 4096 image were 64 decodes), and
// an image that cannot fit is refused from its header, before decoding.
TEST_F(ResourceTablesTest, ImagesAreDecodedOnceAndKept) {
  const std::vector<uint8_t> small = test::EncodePng(8, 8, std::vector<uint8_t>(8 * 8 * 4, 0x80));
  std::vector<uint8_t> large_cut = test::EncodePng(64, 64, std::vector<uint8_t>(64 * 64 * 4, 0x40));
  large_cut.resize(large_cut.size() - 30);  // the header whole, the pixel data cut short
  test::ZipImage zip = test::BuildZip({{"a.png", std::string(small.begin(), small.end())},
                                       {"b.png", std::string(small.begin(), small.end())},
                                       {"large.png", std::string(large_cut.begin(), large_cut.end())}});
  CSkinResourcesUI::SetResourceZip(zip.bytes.data(), zip.bytes.size());
  CResourceTablesUI tables;
  tables.SetImageByteLimit(8 * 1024);
  const ImageEntry* a = tables.AddImage(L"a.png", nullptr, 0, false, true);
  ASSERT_NE(a, nullptr);
  const uint64_t serial = a->serial;
  test::LogCapture log;
  EXPECT_EQ(tables.AddImage(L"a.png", nullptr, 0xFF808080, false, true), a);
  EXPECT_EQ(tables.GetImage(L"a.png"), a);
  EXPECT_EQ(a->serial, serial);
  EXPECT_EQ(log.Count("first declaration stays"), 1);
  EXPECT_EQ(tables.AddImage(L"b.png", nullptr, 0, false, false), a);
  EXPECT_EQ(tables.AddImage(L"A.PNG", nullptr, 0, false, false), a);
  EXPECT_EQ(tables.GetImageBytes(), 8u * 8 * 4);
  EXPECT_EQ(tables.AddImage(L"large.png", nullptr, 0, false, false), nullptr);
  EXPECT_EQ(log.Count("do not fit in the"), 1) << log.Text();
  EXPECT_EQ(log.Count("not decodable"), 0) << log.Text();
}

// A window of another DPI draws each image's copy for it: the skin's
// variant when it carries one (brought to the exact size when it is not),
// else the image itself resampled; made once per DPI and counted in the
// table's bound; when it does not fit, the image itself (drawn stretched).
TEST_F(ResourceTablesTest, PicturesForADpi) {
  auto flat = [](int width, int height, uint8_t r, uint8_t g, uint8_t b) {
    std::vector<uint8_t> rgba;
    for (int i = 0; i < width * height; ++i) rgba.insert(rgba.end(), {r, g, b, 255});
    const std::vector<uint8_t> png = test::EncodePng(width, height, rgba);
    return std::string(png.begin(), png.end());
  };
  constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;
  test::ZipImage zip = test::BuildZip({{"skin/a.png", flat(10, 6, 255, 0, 0)},
                                       {"skin/a@2x.png", flat(20, 12, 0, 255, 0)},
                                       {"b.png", flat(10, 6, 255, 0, 0)},
                                       {"b@1.5x.png", flat(14, 9, 0, 0, 255)},  // one column short
                                       {"c.png", flat(10, 6, 255, 0, 0)}});
  CSkinResourcesUI::SetResourceZip(zip.bytes.data(), zip.bytes.size());
  struct Case {
    const wchar_t* name;
    int dpi;
    int width;
    int height;
    uint32_t colour;
  } cases[] = {
      {L"skin/a.png", 192, 20, 12, kGreen},  // the variant as it is
      {L"skin/a.png", 144, 15, 9, kGreen},   // no @1.5x: the @2x reduced
      {L"skin/a.png", 120, 13, 8, kGreen},   // 12.5 and 7.5, rounded up
      {L"b.png", 144, 15, 9, kBlue},         // brought to its size
      {L"b.png", 192, 20, 12, kBlue},        // the only variant, enlarged
      {L"c.png", 168, 18, 11, kRed},         // none: the image resampled
      {L"c.png", 96, 10, 6, kRed},
  };
  CResourceTablesUI tables;
  test::LogCapture log;
  size_t bytes = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name, c.name + std::wcslen(c.name)) + " at " + std::to_string(c.dpi));
    const ImageEntry* image = tables.GetImageForDpi(c.name, nullptr, 0, false, c.dpi);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, c.width);
    EXPECT_EQ(image->height, c.height);
    EXPECT_EQ(image->dpi, c.dpi);
    EXPECT_EQ(image->pixels[image->pixels.size() / 2], c.colour);
    EXPECT_EQ(tables.GetImageForDpi(c.name, nullptr, 0, false, c.dpi), image);  // made once
    if (c.dpi != 96 || std::wstring(c.name) != L"c.png") bytes += image->pixels.size() * 4;
  }
  EXPECT_EQ(log.Count("no variant for 168 DPI; resampled from 10x6 to 18x11"), 1) << log.Text();
  EXPECT_EQ(log.Count("not found"), 0) << log.Text();  // a missing variant is no failure
  // The 1x images decoded for the resampling count too: c.png only (a.png
  // and b.png were never needed at 1x).
  EXPECT_EQ(tables.GetImageBytes(), bytes + 10 * 6 * 4);

  // No room for a copy: the image itself, drawn stretched.
  CResourceTablesUI small;
  small.SetImageByteLimit(10 * 6 * 4 + 100);
  const ImageEntry* image = small.GetImageForDpi(L"c.png", nullptr, 0, false, 192);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->dpi, 96);
  EXPECT_EQ(image->width, 10);
  EXPECT_EQ(log.Count("drawn stretched"), 1) << log.Text();
  EXPECT_EQ(small.GetImageForDpi(L"nothing.png", nullptr, 0, false, 192), nullptr);
}

TEST_F(ResourceTablesTest, VariantNamesNearestAboveFirst) {
  struct Case {
    const wchar_t* name;
    int dpi;
    std::vector<std::wstring> names;
  } cases[] = {
      {L"skin/a.png", 96, {}},
      {L"skin/a.png", 120, {L"skin/a@1.5x.png", L"skin/a@2x.png"}},
      {L"skin/a.png", 144, {L"skin/a@1.5x.png", L"skin/a@2x.png"}},
      {L"skin/a.png", 168, {L"skin/a@2x.png", L"skin/a@1.5x.png"}},
      {L"skin/a.png", 288, {L"skin/a@2x.png", L"skin/a@1.5x.png"}},
      {L"skin.d\\a", 192, {L"skin.d\\a@2x", L"skin.d\\a@1.5x"}},  // no extension
  };
  for (const Case& c : cases) EXPECT_EQ(CResourceTablesUI::VariantNames(c.name, c.dpi), c.names) << c.dpi;
}

// Replacing tokens never makes a text longer than kMaxExpandedChars, or
// than the text itself: a label of 100,000 tokens naming a 64 KiB string
// asked for 6.5 billion characters at every paint.
TEST_F(ResourceTablesTest, TokenExpansionIsBounded) {
  CResourceTablesUI& tables = CResourceTablesUI::Shared();
  const size_t bound = CResourceTablesUI::kMaxExpandedChars;
  tables.AddMultiLanguageString(1, std::wstring(bound, L'x').c_str());
  tables.AddMultiLanguageString(2, L"ab");
  std::wstring tokens;
  for (int i = 0; i < 100000; ++i) tokens += L"%{1}";
  struct Case {
    const char* what;
    std::wstring in;
    size_t length;
  } cases[] = {
      {"100,000 tokens: cut at the text's own length", tokens, tokens.size()},
      {"one more character than the bound: cut at the bound", L"%{1}%{2}", bound},
      {"exactly the bound", L"%{1}", bound},
      {"a long text whose tokens make it no longer", L"%{2}" + std::wstring(bound, L'y'), bound + 2},
  };
  test::LogCapture log;
  for (const Case& c : cases) {
    const std::wstring out = tables.ProcessMultiLanguageTokens(c.in);
    EXPECT_EQ(out.size(), c.length) << c.what;
    EXPECT_EQ(out.compare(0, 2, c.in[2] == L'2' ? L"ab" : L"xx"), 0) << c.what;
  }
  EXPECT_EQ(log.Count("text with language tokens cut"), 1);  // once per table
}

}  // namespace
}  // namespace Veneer
