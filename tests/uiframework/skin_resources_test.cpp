#include "uiframework/resources/skin_resources.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#endif

#include "tests/uiframework/test_support.h"
#include "uiframework/base/text_conv.h"
#include "uiframework/markup/markup_doc.h"

namespace Veneer {
namespace {

using test::BuildZip;
using test::FrameworkTest;
using test::ScratchDir;

class SkinResourcesTest : public FrameworkTest {};

// A skin file of exactly `size` bytes: a root element padded with blanks.
std::string SkinOfSize(size_t size) {
  std::string text = "<Window/>";
  text.resize(size, ' ');
  return text;
}

TEST_F(SkinResourcesTest, ResourcePathEndsInASeparator) {
  struct Case {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {{L"skins", L"skins\\"}, {L"skins\\", L"skins\\"}, {L"skins/", L"skins/"}, {L"", L""}};
  for (const Case& c : cases) {
    CSkinResourcesUI::SetResourcePath(c.in);
    EXPECT_EQ(CSkinResourcesUI::GetResourcePath(), c.out);
  }
}

TEST_F(SkinResourcesTest, LoadFromFolderWithItsErrorTexts) {
  ScratchDir dir;
  dir.Write("ok.xml", std::string("<Window/>"));
  dir.Write("sub/inner.xml", std::string("<Inner/>"));
  dir.Write("empty.xml", std::string());
  dir.Write("limit.xml", SkinOfSize(CMarkupDoc::kMaxFileBytes));
  dir.Write("over.xml", SkinOfSize(CMarkupDoc::kMaxFileBytes + 1));
  CSkinResourcesUI::SetResourcePath(dir.WidePath().c_str());

  struct Case {
    const wchar_t* name;
    const wchar_t* error;  // "" for success
  } cases[] = {
      {L"ok.xml", L""},
      {L"sub\\inner.xml", L""},
      {L"limit.xml", L""},  // exactly 4 MiB is accepted
      {L"over.xml", L"File too large"},
      {L"empty.xml", L"File is empty"},
      {L"missing.xml", L"Error opening file"},
  };
  for (const Case& c : cases) {
    CMarkupDoc doc;
    bool loaded = CSkinResourcesUI::LoadDocument(&doc, c.name);
    EXPECT_EQ(loaded, c.error[0] == L'\0') << c.name;
    EXPECT_STREQ(doc.GetLastErrorMessage(), c.error) << c.name;
    EXPECT_STREQ(doc.GetLastErrorLocation(), L"") << c.name;
  }
}

TEST_F(SkinResourcesTest, LoadFromArchiveWithItsErrorTexts) {
  ScratchDir dir;
  test::ZipImage zip = BuildZip({{"repair.xml", "<Window/>", true},
                                 {"skin/step1.xml", "<root/>", true},
                                 {"empty.xml", "", true},
                                 {"limit.xml", SkinOfSize(CMarkupDoc::kMaxFileBytes), true},
                                 {"over.xml", SkinOfSize(CMarkupDoc::kMaxFileBytes + 1), true},
                                 {"damaged.xml", "<Window/>", true},
                                 {"cut.xml", "<Window size=\"1,2\"/>", true}});
  test::Put32(zip.bytes, zip.central_offsets[5] + 16, 0xDEADBEEF);  // CRC
  test::Put32(zip.bytes, zip.central_offsets[6] + 24, 5);           // records fewer bytes than it holds
  dir.Write("skin.zip", zip.bytes);
  CSkinResourcesUI::SetResourcePath(dir.WidePath().c_str());

  struct Case {
    const wchar_t* name;
    const wchar_t* error;
  } cases[] = {
      {L"repair.xml", L""},
      {L"Skin\\Step1.XML", L""},
      {L"limit.xml", L""},
      {L"over.xml", L"File too large"},
      {L"empty.xml", L"File is empty"},
      {L"missing.xml", L"Could not find ziped file"},
      {L"damaged.xml", L"Could not unzip file"},
      {L"cut.xml", L"Could not unzip file"},
  };
  for (bool cached : {true, false}) {
    CSkinResourcesUI::SetResourceZip(L"skin.zip", cached);
    EXPECT_EQ(CSkinResourcesUI::GetResourceZipHandle() != nullptr, cached);
    for (const Case& c : cases) {
      CMarkupDoc doc;
      EXPECT_EQ(CSkinResourcesUI::LoadDocument(&doc, c.name), c.error[0] == L'\0') << c.name << " cached " << cached;
      EXPECT_STREQ(doc.GetLastErrorMessage(), c.error) << c.name << " cached " << cached;
    }
  }
  CSkinResourcesUI::SetResourceZip(L"nothere.zip", true);
  CMarkupDoc doc;
  EXPECT_FALSE(CSkinResourcesUI::LoadDocument(&doc, L"repair.xml"));
  EXPECT_STREQ(doc.GetLastErrorMessage(), L"Error opening zip file");
}

TEST_F(SkinResourcesTest, ArchiveInMemory) {
  test::ZipImage first = BuildZip({{"a.xml", "<first/>", true}});
  test::ZipImage second = BuildZip({{"a.xml", "<second/>", true}});
  CSkinResourcesUI::SetResourceZip(first.bytes.data(), first.bytes.size());
  EXPECT_EQ(CSkinResourcesUI::GetResourceZip(), L"membuffer");
  // Once an archive in memory is set, another one is ignored.
  CSkinResourcesUI::SetResourceZip(second.bytes.data(), second.bytes.size());
  CMarkupDoc doc;
  ASSERT_TRUE(CSkinResourcesUI::LoadDocument(&doc, L"a.xml"));
  EXPECT_STREQ(doc.GetRoot().GetName(), L"first");
}

TEST_F(SkinResourcesTest, ArchiveFromAModuleResource) {
  static test::ZipImage zip = BuildZip({{"adapter.xml", "<Window/>", true}});
  PlatformHooks hooks;
  hooks.load_resource = [](ModuleHandle module, uint32_t id, const wchar_t* type, ResourceBytes* out) {
    if (module != reinterpret_cast<ModuleHandle>(0x400000) || id != 130 || std::wcscmp(type, L"ZIP") != 0) {
      return false;
    }
    out->data = zip.bytes.data();
    out->size = zip.bytes.size();
    return true;
  };
  hooks.module_file_name = [](ModuleHandle) { return std::wstring(L"C:\\Program Files\\Repair\\repair.exe"); };
  SetPlatformHooks(hooks);
  CSkinResourcesUI::SetInstance(reinterpret_cast<ModuleHandle>(0x400000));
  EXPECT_EQ(CSkinResourcesUI::GetInstancePath(), L"C:\\Program Files\\Repair\\");
  EXPECT_FALSE(CSkinResourcesUI::SetResourceZipFromResource(131, L"ZIP"));
  ASSERT_TRUE(CSkinResourcesUI::SetResourceZipFromResource(130, L"ZIP"));
  CMarkupDoc doc;
  EXPECT_TRUE(CSkinResourcesUI::LoadDocument(&doc, L"adapter.xml"));
  // A separate resource module takes over.
  CSkinResourcesUI::SetResourceInstance(reinterpret_cast<ModuleHandle>(0x500000));
  EXPECT_EQ(CSkinResourcesUI::GetResourceInstance(), reinterpret_cast<ModuleHandle>(0x500000));
}

// A skin names files below its own folder and nothing else: not by a path
// of its own, not up and out of the folder, not a device, a pipe or a
// network share (the same rules on both builds: the skins are Windows').
TEST_F(SkinResourcesTest, SkinFileNamesStayBelowTheSkinsFolder) {
  struct Case {
    const wchar_t* name;
    bool allowed;
  } cases[] = {
      {L"a.png", true},
      {L"skin\\a.png", true},
      {L"skin/a.png", true},
      {L"./a.png", true},
      {L".//a.png", true},
      {L"a..png", true},
      {L"console.png", true},
      {L"COM10.png", true},
      {L"", false},
      {L"/etc/passwd", false},
      {L"/dev/zero", false},
      {L"\\\\server\\share\\a.png", false},
      {L"\\\\.\\pipe\\skin", false},
      {L"\\\\?\\C:\\a.png", false},
      {L"\\a.png", false},
      {L"C:\\a.png", false},
      {L"C:a.png", false},
      {L"a.png:stream", false},
      {L"..\\a.png", false},
      {L"skin/../../a.png", false},
      {L"skin/.. /a.png", false},
      {L"skin/.../a.png", false},
      {L"CON", false},
      {L"nul.png", false},
      {L"skin\\Com1.png", false},
      {L"lpt9", false},
      {L"aux .txt", false},
      {L"conout$", false},
      {L"LPT\u00B9.png", false},
      {L"a\tb.png", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CSkinResourcesUI::IsSkinFileName(c.name), c.allowed) << ToLogText(c.name);
  }
  // Refused names are not looked for at all.
  ScratchDir dir;
  dir.Write("a.png", std::string("x"));
  CSkinResourcesUI::SetResourcePath(dir.WidePath().c_str());
  std::vector<uint8_t> bytes;
  EXPECT_EQ(CSkinResourcesUI::FetchFile(L"a.png", 16, &bytes), FetchStatus::kOk);
  EXPECT_EQ(CSkinResourcesUI::FetchFile((dir.WidePath() + L"a.png").c_str(), 16, &bytes), FetchStatus::kOpenFailed);
}

#if !defined(_WIN32)
// Only regular files are read: a named pipe in the skin's folder is not even
// opened for reading (that waits for a writer), nor is a directory. A helper
// stands by as the pipe's writer, so that a build that opens it is let go.
TEST_F(SkinResourcesTest, OnlyRegularFilesAreRead) {
  ScratchDir dir;
  std::filesystem::create_directories(dir.path() / "folder.png");
  const std::filesystem::path pipe = dir.path() / "pipe.png";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  CSkinResourcesUI::SetResourcePath(dir.WidePath().c_str());
  std::atomic<bool> done{false};
  std::atomic<bool> opened{false};
  std::thread writer([&] {
    while (!done) {
      const int descriptor = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
      if (descriptor >= 0) {
        opened = true;
        close(descriptor);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  std::vector<uint8_t> bytes;
  EXPECT_EQ(CSkinResourcesUI::FetchFile(L"pipe.png", 16, &bytes), FetchStatus::kOpenFailed);
  EXPECT_EQ(CSkinResourcesUI::FetchFile(L"folder.png", 16, &bytes), FetchStatus::kOpenFailed);
  done = true;
  writer.join();
  EXPECT_FALSE(opened);
}
#endif

}  // namespace
}  // namespace Veneer
