#include "uiframework/resources/zip_archive.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/uiframework/test_support.h"
#include "uiframework/base/text_conv.h"

namespace Veneer {
namespace {

using test::BuildZip;
using test::ZipImage;

std::string Extracted(const CZipArchive& archive, const wchar_t* name, int* result) {
  int index = -1;
  uint32_t size = 0;
  if (!archive.Find(name, &index, &size)) {
    *result = -100;
    return std::string();
  }
  std::string out(size, '\0');
  *result = archive.Extract(index, reinterpret_cast<uint8_t*>(out.data()), out.size());
  return out;
}

TEST(ZipArchiveTest, FindsEntriesByTheSkinRules) {
  ZipImage zip = BuildZip({{"repair.xml", "<Window/>", true},
                           {"skin/Question.PNG", "png bytes", false},
                           {"skin\\back.png", "back", false},
                           {"\xe4\xbf\xae.xml", "utf8 name", false, 0x0800}});
  auto archive = CZipArchive::OpenMemory(zip.bytes.data(), zip.bytes.size());
  ASSERT_TRUE(archive);
  ASSERT_EQ(archive->GetEntryCount(), 4);

  struct Case {
    const wchar_t* name;
    const char* content;  // null: not found
  } cases[] = {
      {L"repair.xml", "<Window/>"},        {L"REPAIR.XML", "<Window/>"}, {L"skin\\question.png", "png bytes"},
      {L"skin/question.png", "png bytes"}, {L"skin/back.png", "back"},  // stored with a backslash
      {L"\u4fee.xml", "utf8 name"},                                     // flagged UTF-8
      {L"question.png", nullptr},          {L"repair.xm", nullptr},      {L"", nullptr},
  };
  for (const Case& c : cases) {
    int result = 0;
    std::string content = Extracted(*archive, c.name, &result);
    if (c.content == nullptr) {
      EXPECT_EQ(result, -100) << c.name;
    } else {
      EXPECT_EQ(result, CZipArchive::kOk) << c.name;
      EXPECT_EQ(content, c.content) << c.name;
    }
  }
}

// Names that the rules make equal: the first entry in the directory is the
// one found, whichever name encoding it is flagged with.
TEST(ZipArchiveTest, TheFirstOfEqualNamesIsFound) {
  ZipImage zip = BuildZip({{"skin/A.png", "0", false},
                           {"SKIN\\a.png", "1", false},
                           {"Skin/b.png", "2", false, 0x0800},
                           {"skin/B.PNG", "3", false},
                           {"c.xml", "4", false},
                           {"C.xml", "5", false, 0x0800}});
  auto archive = CZipArchive::OpenMemory(zip.bytes.data(), zip.bytes.size());
  ASSERT_TRUE(archive);
  const std::pair<const wchar_t*, int> cases[] = {
      {L"skin\\a.png", 0}, {L"SKIN/A.PNG", 0}, {L"skin/b.png", 2}, {L"c.XML", 4}};
  for (const auto& [name, expected] : cases) {
    int index = -1;
    uint32_t size = 0;
    EXPECT_TRUE(archive->Find(name, &index, &size)) << name;
    EXPECT_EQ(index, expected) << name;
    EXPECT_EQ(size, 1u) << name;
  }
}

TEST(ZipArchiveTest, CaseFoldingIsAsciiOnly) {
  // E-acute and its capital differ outside ASCII: no match.
  ZipImage zip = BuildZip({{"caf\xc3\xa9.xml", "x", false, 0x0800}});
  auto archive = CZipArchive::OpenMemory(zip.bytes.data(), zip.bytes.size());
  ASSERT_TRUE(archive);
  EXPECT_TRUE(archive->Find(L"CAF\u00e9.xml", nullptr, nullptr));
  EXPECT_FALSE(archive->Find(L"caf\u00c9.xml", nullptr, nullptr));
}

TEST(ZipArchiveTest, RefusesLongNamesOnly) {
  std::string long_name(255, 'a');
  ZipImage zip = BuildZip({{long_name, "255", false},
                           {long_name + "b", "256", false},
                           {"../evil.xml", "x", false},
                           {"skin/../../evil.png", "x", false},
                           {"/abs.xml", "x", false},
                           {"c:/drive.xml", "x", false},
                           {"a..b.xml", "fine", false}});
  auto archive = CZipArchive::OpenMemory(zip.bytes.data(), zip.bytes.size());
  ASSERT_TRUE(archive);
  std::wstring wide_long(255, L'a');
  EXPECT_TRUE(archive->Find(wide_long.c_str(), nullptr, nullptr));
  EXPECT_FALSE(archive->Find((wide_long + L"b").c_str(), nullptr, nullptr));
  // Entries are only read into memory: odd names are found as written.
  for (const wchar_t* name :
       {L"../evil.xml", L"..\\evil.xml", L"skin/../../evil.png", L"/abs.xml", L"c:/drive.xml", L"a..b.xml"}) {
    EXPECT_TRUE(archive->Find(name, nullptr, nullptr)) << name;
  }
}

TEST(ZipArchiveTest, NameLimitCountsAnsiBytes) {
  // An ANSI code page with two bytes for "\u00e9" (as a double-byte code
  // page has for its characters): the limit is on the converted name.
  AnsiCodec codec;
  codec.to_wide = [](const char* text, size_t size) { return Utf8ToWide(text, size); };
  codec.from_wide = [](const std::wstring& text) { return WideToUtf8(text); };
  SetAnsiCodec(codec);
  struct Restore {
    ~Restore() { SetAnsiCodec(AnsiCodec()); }
  } restore;
  std::string name127;
  std::string name128;
  for (int i = 0; i < 127; ++i) name127 += "\xc3\xa9";
  name128 = name127 + "\xc3\xa9";
  ZipImage zip = BuildZip({{name127, "254 bytes", false}, {name128, "256 bytes", false}});
  auto archive = CZipArchive::OpenMemory(zip.bytes.data(), zip.bytes.size());
  ASSERT_TRUE(archive);
  EXPECT_TRUE(archive->Find(std::wstring(127, L'\u00e9').c_str(), nullptr, nullptr));
  EXPECT_FALSE(archive->Find(std::wstring(128, L'\u00e9').c_str(), nullptr, nullptr));
}

TEST(ZipArchiveTest, DamagedDirectoriesAreRefused) {
  const ZipImage good = BuildZip({{"a.xml", "<a/>", true}, {"b.xml", "<b/>", false}});
  struct Case {
    const char* label;
    std::vector<uint8_t> bytes;
  };
  std::vector<Case> cases;
  cases.push_back({"empty", {}});
  cases.push_back({"no end record", std::vector<uint8_t>(good.bytes.begin(), good.bytes.end() - 22)});
  cases.push_back({"truncated in the directory",
                   std::vector<uint8_t>(good.bytes.begin(), good.bytes.begin() + good.central_offsets[1] + 10)});
  auto count = good.bytes;
  test::Put16(count, good.end_offset + 10, 9);  // more entries than the directory holds
  cases.push_back({"entry count too high", count});
  auto offset = good.bytes;
  test::Put32(offset, good.end_offset + 16, 0xFFFFFFF0);
  cases.push_back({"directory offset outside", offset});
  auto name = good.bytes;
  test::Put16(name, good.central_offsets[1] + 28, 0xFFFF);
  cases.push_back({"name length overruns", name});
  auto signature = good.bytes;
  signature[good.central_offsets[0]] = 'X';
  cases.push_back({"bad entry signature", signature});
  for (const Case& c : cases) {
    EXPECT_FALSE(CZipArchive::OpenMemory(c.bytes.data(), c.bytes.size())) << c.label;
  }
  EXPECT_TRUE(CZipArchive::OpenMemory(good.bytes.data(), good.bytes.size()));
}

TEST(ZipArchiveTest, DamagedEntriesFailExtraction) {
  const std::string text(3000, 'x');
  const ZipImage good = BuildZip({{"d.xml", text, true}, {"s.xml", "stored", false}});
  struct Case {
    const char* label;
    const wchar_t* entry;
    size_t field;  // offset into the archive to patch
    uint32_t value;
    int width;  // 2 or 4 bytes; 1 for one byte
  } cases[] = {
      {"local offset outside", L"d.xml", good.central_offsets[0] + 42, 0x7FFFFFFF, 4},
      {"local offset at the directory", L"d.xml", good.central_offsets[0] + 42,
       static_cast<uint32_t>(good.central_offsets[0]), 4},
      {"compressed size past the end", L"d.xml", good.central_offsets[0] + 20, 0x10000000, 4},
      {"uncompressed size too small to end", L"s.xml", good.central_offsets[1] + 24, 3, 4},
      {"uncompressed size too large", L"d.xml", good.central_offsets[0] + 24, 3001, 4},
      {"wrong CRC", L"d.xml", good.central_offsets[0] + 16, 0x12345678, 4},
      {"wrong CRC stored", L"s.xml", good.central_offsets[1] + 16, 0x12345678, 4},
      {"unknown method", L"d.xml", good.central_offsets[0] + 10, 12, 2},
      {"encrypted", L"d.xml", good.central_offsets[0] + 8, 1, 2},
      {"local name length overruns", L"s.xml", good.local_offsets[1] + 26, 0xFFFF, 2},
      {"corrupt deflate data", L"d.xml", good.local_offsets[0] + 30 + 5, 0xFF, 1},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = good.bytes;
    if (c.width == 4) test::Put32(bytes, c.field, c.value);
    if (c.width == 2) test::Put16(bytes, c.field, static_cast<uint16_t>(c.value));
    if (c.width == 1) bytes[c.field] = static_cast<uint8_t>(c.value);
    auto archive = CZipArchive::OpenMemory(bytes.data(), bytes.size());
    ASSERT_TRUE(archive) << c.label;
    int result = 0;
    Extracted(*archive, c.entry, &result);
    EXPECT_EQ(result, CZipArchive::kError) << c.label;
  }
}

TEST(ZipArchiveTest, OutputNeverExceedsTheBuffer) {
  // A bomb: 8 MiB of zeros that claims to be 100 bytes.
  const std::string zeros(8 * 1024 * 1024, '\0');
  ZipImage zip = BuildZip({{"bomb.xml", zeros, true}});
  test::Put32(zip.bytes, zip.central_offsets[0] + 24, 100);
  auto archive = CZipArchive::OpenMemory(zip.bytes.data(), zip.bytes.size());
  ASSERT_TRUE(archive);
  std::vector<uint8_t> buffer(100 + 16, 0xAB);
  // The recorded size fits the buffer, the data goes on: damaged, not "more
  // data", so that a reader of the recorded size never takes a cut file.
  EXPECT_EQ(archive->Extract(0, buffer.data(), 100), CZipArchive::kError);
  for (size_t i = 100; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xAB);
  std::fill(buffer.begin(), buffer.end(), 0xAB);
  EXPECT_EQ(archive->Extract(0, buffer.data(), 50), CZipArchive::kMoreData);
  for (size_t i = 50; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xAB);

  // A short buffer on an honest entry reports more data.
  ZipImage honest = BuildZip({{"a.xml", "0123456789", true}, {"b.xml", "0123456789", false}});
  archive = CZipArchive::OpenMemory(honest.bytes.data(), honest.bytes.size());
  ASSERT_TRUE(archive);
  for (int index : {0, 1}) {
    std::vector<uint8_t> small(4 + 4, 0xCD);
    EXPECT_EQ(archive->Extract(index, small.data(), 4), CZipArchive::kMoreData);
    EXPECT_EQ(std::string(small.begin(), small.begin() + 4), "0123");
    EXPECT_EQ(small[4], 0xCD);
  }
  EXPECT_EQ(archive->Extract(5, buffer.data(), 10), CZipArchive::kError);
  EXPECT_EQ(archive->Extract(-1, buffer.data(), 10), CZipArchive::kError);
}

TEST(ZipArchiveTest, EmptyEntryAndArchiveComment) {
  ZipImage zip = BuildZip({{"empty.xml", "", true}, {"stored-empty.xml", "", false}});
  // A comment after the end record must not hide it.
  test::Put16(zip.bytes, zip.end_offset + 20, 5);
  zip.bytes.insert(zip.bytes.end(), {'h', 'e', 'l', 'l', 'o'});
  auto archive = CZipArchive::OpenMemory(zip.bytes.data(), zip.bytes.size());
  ASSERT_TRUE(archive);
  EXPECT_EQ(archive->GetEntrySize(0), 0u);
  EXPECT_EQ(archive->Extract(0, nullptr, 0), CZipArchive::kOk);
  EXPECT_EQ(archive->Extract(1, nullptr, 0), CZipArchive::kOk);
}

TEST(ZipArchiveTest, OpensFiles) {
  test::ScratchDir dir;
  ZipImage zip = BuildZip({{"a.xml", "<a/>", true}});
  dir.Write("skin.zip", zip.bytes);
  dir.Write("broken.zip", std::string("PK not really"));
  auto archive = CZipArchive::OpenFile(dir.WidePath() + L"skin.zip");
  ASSERT_TRUE(archive);
  int result = 0;
  EXPECT_EQ(Extracted(*archive, L"a.xml", &result), "<a/>");
  EXPECT_FALSE(CZipArchive::OpenFile(dir.WidePath() + L"broken.zip"));
  EXPECT_FALSE(CZipArchive::OpenFile(dir.WidePath() + L"missing.zip"));
}

}  // namespace
}  // namespace Veneer
