// Two windows built from one skin archive (skin_archive.h), sharing the
// process's resource tables: window A from the input's first document
// ("a.xml"), window B from an entry "b.xml" (A's document again when there
// is none). A is laid out and painted, B built and painted, A painted
// again, B torn down and A painted once more: whatever B's skin registers
// (shared images, fonts, default lists, language strings) or frees must
// leave what A draws whole, which the sanitizers check on every draw.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "tests/fuzz/skin_archive.h"
#include "uiframework/builder/dialog_builder.h"
#include "uiframework/testing/headless_window.h"
#include "uiframework/core/paint_host.h"
#include "uiframework/testing/recording_render.h"
#include "uiframework/resources/skin_resources.h"

namespace {

constexpr Veneer::UiRect kClient{0, 0, 580, 374};

// A window without a platform: its host over a headless native window,
// painting into the recording backend (recording off).
struct Window {
  explicit Window(const wchar_t* skin) {
    render.SetRecording(false);
    host.AttachNativeWindow(&native);
    host.SetRender(&render);
    Veneer::CDialogBuilder builder;
    if (Veneer::CControlUI* root = builder.Create(skin, nullptr, nullptr, &host)) host.AttachDialog(root);
  }
  void Paint() {
    if (host.GetRoot() == nullptr) return;
    host.GetRoot()->NeedUpdate();
    host.Layout();
    host.Paint(kClient);
    if (render.ClipDepth() != 0 || render.Underflows() != 0) __builtin_trap();
  }

  Veneer::CHeadlessWindowUI native{kClient};
  Veneer::CRecordingRender render{kClient};
  Veneer::CPaintHostUI host;
};

bool HasPart(const std::vector<fuzz::Part>& parts, std::string_view name) {
  for (const fuzz::Part& part : parts) {
    if (part.name == name) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::vector<uint8_t> archive;
  const std::vector<fuzz::Part> parts =
      fuzz::SplitInput(std::string_view(reinterpret_cast<const char*>(data), size), "a.xml");
  fuzz::BuildArchive(parts, archive);
  Veneer::CSkinResourcesUI::Reset();
  Veneer::CSkinResourcesUI::SetResourceZip(archive.data(), archive.size());
  {
    Window a(L"a.xml");
    a.Paint();
    auto b = std::make_unique<Window>(HasPart(parts, "b.xml") ? L"b.xml" : L"a.xml");
    b->Paint();
    a.Paint();
    b.reset();
    a.Paint();
  }
  Veneer::CResourceTablesUI::Shared().Clear();
  Veneer::CSkinResourcesUI::Reset();
  return 0;
}
