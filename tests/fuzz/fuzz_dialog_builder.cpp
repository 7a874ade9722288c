// Builds control trees from a skin archive assembled from the input
// (skin_archive.h), with a host (so that images, fonts, default lists and
// window settings are registered) under a parent container and without
// one; the tree without a parent is attached, laid out at a few window
// sizes and painted into the recording backend, at 96 DPI and then at 168
// (every length scaled, each picture's copy for that DPI made from an
// "@2x" or "@1.5x" entry or resampled). Images that are not in the archive
// are looked for in the skin's folder (here the current one).

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "tests/fuzz/skin_archive.h"
#include "uiframework/builder/dialog_builder.h"
#include "uiframework/core/paint_host.h"
#include "uiframework/layout/vertical_layout.h"
#include "uiframework/resources/skin_resources.h"
#include "uiframework/testing/headless_window.h"
#include "uiframework/testing/recording_render.h"

namespace {

constexpr std::string_view kMainName = "main.xml";

// Window sizes the tree is laid out at: the program's windows and extremes.
constexpr Veneer::UiRect kClients[] = {{0, 0, 580, 374}, {0, 0, 1, 1}, {0, 0, 4096, 4096}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::vector<uint8_t> archive;
  fuzz::BuildArchive(fuzz::SplitInput(std::string_view(reinterpret_cast<const char*>(data), size), kMainName), archive);
  Veneer::CSkinResourcesUI::Reset();
  Veneer::CSkinResourcesUI::SetResourceZip(archive.data(), archive.size());
  Veneer::CHeadlessWindowUI window;
  {
    Veneer::CPaintHostUI host;
    host.AttachNativeWindow(&window);
    Veneer::CVerticalLayoutUI parent;
    Veneer::CDialogBuilder builder;
    builder.Create(L"main.xml", nullptr, nullptr, &host, &parent);
  }
  {
    // Without a parent the caller owns the result; the host takes it over,
    // initialises the tree, lays it out and paints it. Nothing else may be
    // left behind (the leak checker sees it), and every clip is popped.
    Veneer::CPaintHostUI host;
    Veneer::CRecordingRender render;
    render.SetRecording(false);
    host.AttachNativeWindow(&window);
    host.SetRender(&render);
    Veneer::CDialogBuilder builder;
    if (Veneer::CControlUI* root = builder.Create(L"main.xml", nullptr, nullptr, &host, nullptr)) {
      host.AttachDialog(root);
      for (const int dpi : {96, 168}) {
        host.SetDpi(dpi);
        for (const Veneer::UiRect& client : kClients) {
          window.SetClientRect(client);
          if (host.GetRoot() != nullptr) host.GetRoot()->NeedUpdate();
          host.Layout();
          host.Paint(client);
          if (render.ClipDepth() != 0 || render.Underflows() != 0) __builtin_trap();
        }
      }
    }
  }
  Veneer::CResourceTablesUI::Shared().Clear();
  Veneer::CSkinResourcesUI::Reset();
  return 0;
}
