// Builds control trees from arbitrary skin text (UTF-8) under a parent
// container and without one, without a host, so that nothing is read from
// disk: file includes look into an empty archive in memory.

#include <cstddef>
#include <cstdint>

#include "uiframework/builder/dialog_builder.h"
#include "uiframework/layout/vertical_layout.h"
#include "uiframework/resources/skin_resources.h"

namespace {

// An archive with no entries: just the end of central directory record.
const uint8_t kEmptyZip[22] = {0x50, 0x4b, 0x05, 0x06};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool initialised = [] {
    Veneer::CSkinResourcesUI::SetResourceZip(kEmptyZip, sizeof(kEmptyZip));
    return true;
  }();
  (void)initialised;
  Veneer::CDialogBuilder builder;
  if (!builder.GetMarkup()->LoadFromMem(data, size, Veneer::CMarkupDoc::kUtf8)) return 0;
  {
    Veneer::CVerticalLayoutUI parent;
    builder.Create(nullptr, nullptr, &parent);
  }
  // Without a parent the caller owns the result and nothing else may be
  // left behind (the leak checker sees it).
  Veneer::CDialogBuilder parentless;
  if (parentless.GetMarkup()->LoadFromMem(data, size, Veneer::CMarkupDoc::kUtf8)) {
    if (Veneer::CControlUI* root = parentless.Create(nullptr, nullptr, nullptr)) root->Delete();
  }
  return 0;
}
