// The resources compiled from resources/repair.rc, read back from this
// executable the way the program reads them: the skin archive is the one the
// build packed from the source files, the firmware is the configured image,
// the manifest asks for administrator rights, the icon and the version
// information load.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "firmware_info.h"
#include "repair_version.h"
#include "tests/resources/embedded.h"
#include "tests/resources/skin_files.h"
#include "uiframework/markup/markup_doc.h"
#include "uiframework/resources/zip_archive.h"

namespace resources_test {
namespace {

constexpr size_t kTestFirmwareSize = 5628964;

std::vector<uint8_t> Bytes(const ResourceBytes& resource) {
  return std::vector<uint8_t>(resource.data, resource.data + resource.size);
}

TEST(EmbeddedResources, SkinArchiveIsTheOneBuiltFromTheSources) {
  ResourceBytes zip = ModuleResource(L"ZIP", 130);
  ASSERT_TRUE(zip.data);
  auto built = ReadDiskFile(REPAIR_SKIN_ZIP);
  ASSERT_TRUE(built);
  EXPECT_TRUE(Bytes(zip) == *built) << "the embedded archive is not " << REPAIR_SKIN_ZIP;

  const Veneer::CZipArchive* archive = EmbeddedSkinArchive();
  ASSERT_TRUE(archive);
  // The layouts lie at the top level, where the windows ask for them.
  for (const char* layout :
       {"repair.xml", "step1.xml", "step2.xml", "step3.xml", "adapter.xml", "common_alert_box.xml"}) {
    EXPECT_TRUE(ReadSkinFile(layout)) << layout;
  }
  // Each entry holds its source file as it is now.
  for (int i = 0; i < archive->GetEntryCount(); ++i) {
    const std::string& name = archive->GetEntryName(i);
    SCOPED_TRACE(name);
    auto entry = ReadSkinFile(name);
    auto source = ReadDiskFile(std::string(REPAIR_SKIN_DIR) + "/" + name);
    ASSERT_TRUE(entry);
    ASSERT_TRUE(source);
    EXPECT_TRUE(*entry == *source);
  }
}

TEST(EmbeddedResources, FirmwareIsTheConfiguredImage) {
  ResourceBytes firmware = ModuleResource(L"FIRMWARE", 133);
  ASSERT_TRUE(firmware.data);
  auto image = ReadDiskFile(REPAIR_FIRMWARE_BIN);
  ASSERT_TRUE(image);
  ASSERT_EQ(firmware.size, image->size());
  EXPECT_EQ(firmware.size, REPAIR_FIRMWARE_SIZE) << "the size the program logs";
  auto mismatch = std::mismatch(firmware.data, firmware.data + firmware.size, image->begin());
  EXPECT_EQ(mismatch.first, firmware.data + firmware.size)
      << "first difference at byte " << (mismatch.first - firmware.data);
#if REPAIR_TEST_FIRMWARE
  EXPECT_EQ(firmware.size, kTestFirmwareSize);
  const std::string marker = "TEST FIRMWARE IMAGE";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(firmware.data), marker.size()), marker);
#endif
}

TEST(EmbeddedResources, ManifestRequiresAdministratorCommonControls6AndDpiAwareness) {
  ResourceBytes manifest = ModuleResource(MAKEINTRESOURCEW(24), 1);
  ASSERT_TRUE(manifest.data);
  Veneer::CMarkupDoc doc;
  ASSERT_TRUE(doc.LoadFromMem(manifest.data, manifest.size, Veneer::CMarkupDoc::kUtf8));

  struct Wanted {
    const wchar_t* element;
    const wchar_t* attribute;
    const wchar_t* value;
    bool found = false;
  } wanted[] = {
      {L"requestedExecutionLevel", L"level", L"requireAdministrator"},
      {L"requestedExecutionLevel", L"uiAccess", L"false"},
      {L"assemblyIdentity", L"name", L"Microsoft.Windows.Common-Controls"},
      {L"assemblyIdentity", L"version", L"6.0.0.0"},
      // Sharp on scaled screens: per monitor (v2 where there is one), at
      // least the system's DPI on older systems.
      {L"dpiAware", nullptr, L"true/pm"},
      {L"dpiAwareness", nullptr, L"PerMonitorV2, PerMonitor"},
  };
  std::vector<Veneer::CMarkupElement> pending = {doc.GetRoot()};
  while (!pending.empty()) {
    Veneer::CMarkupElement e = pending.back();
    pending.pop_back();
    for (Wanted& w : wanted) {
      const bool named = wcscmp(e.GetName(), w.element) == 0;
      const wchar_t* value = !named                   ? nullptr
                             : w.attribute != nullptr ? e.GetAttributeValue(w.attribute)
                                                      : e.GetValue();
      if (value != nullptr && wcscmp(value, w.value) == 0) w.found = true;
    }
    if (e.GetSibling().IsValid()) pending.push_back(e.GetSibling());
    if (e.GetChild().IsValid()) pending.push_back(e.GetChild());
  }
  for (const Wanted& w : wanted) {
    EXPECT_TRUE(w.found) << "no " << Narrow(w.element) << " with " << Narrow(w.attribute) << "=" << Narrow(w.value);
  }
}

TEST(EmbeddedResources, IconHasEverySizeAndEachLoads) {
#pragma pack(push, 2)
  struct GroupEntry {
    BYTE width;  // 0 for 256
    BYTE height;
    BYTE colors;
    BYTE reserved;
    WORD planes;
    WORD bit_count;
    DWORD bytes;
    WORD id;
  };
#pragma pack(pop)
  ResourceBytes group = ModuleResource(MAKEINTRESOURCEW(14), 1);  // RT_GROUP_ICON
  ASSERT_TRUE(group.data);
  ASSERT_GE(group.size, 6u);
  const WORD count = reinterpret_cast<const WORD*>(group.data)[2];
  ASSERT_EQ(group.size, 6u + count * sizeof(GroupEntry));
  std::vector<int> sizes;
  for (WORD i = 0; i < count; ++i) {
    const auto* entry = reinterpret_cast<const GroupEntry*>(group.data + 6 + i * sizeof(GroupEntry));
    int side = entry->width ? entry->width : 256;
    sizes.push_back(side);
    ResourceBytes image = ModuleResource(MAKEINTRESOURCEW(3), entry->id);  // RT_ICON
    ASSERT_TRUE(image.data) << side;
    HICON icon = CreateIconFromResourceEx(const_cast<BYTE*>(image.data), image.size, TRUE, 0x00030000, side, side,
                                          LR_DEFAULTCOLOR);
    EXPECT_TRUE(icon) << side;
    if (icon) DestroyIcon(icon);
  }
  // 16, 32 and 48 at 100, 150 and 200 %, and 256.
  EXPECT_EQ(sizes, (std::vector<int>{16, 24, 32, 48, 64, 72, 96, 256}));
}

TEST(EmbeddedResources, VersionInformation) {
  wchar_t path[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &handle);
  ASSERT_GT(size, 0u);
  std::vector<uint8_t> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  // The project's version, x.y.z as x.y.z.0.
  EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(REPAIR_VERSION_MAJOR << 16 | REPAIR_VERSION_MINOR));
  EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(REPAIR_VERSION_PATCH << 16));
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

  struct Field {
    const wchar_t* key;
    const wchar_t* value;
  } fields[] = {
      {L"\\StringFileInfo\\080404B0\\ProductName", L"DEzed \u4FEE\u590D\u5411\u5BFC"},
      {L"\\StringFileInfo\\080404B0\\FileVersion", L"" REPAIR_VERSION_TEXT},
      {L"\\StringFileInfo\\080404B0\\ProductVersion", L"" REPAIR_VERSION_TEXT},
      {L"\\StringFileInfo\\080404B0\\OriginalFilename", L"repair.exe"},
  };
  for (const Field& f : fields) {
    wchar_t* value = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), f.key, reinterpret_cast<void**>(&value), &length));
    EXPECT_STREQ(value, f.value);
  }
}

}  // namespace
}  // namespace resources_test
