#pragma once

// Children stacked top to bottom (see box_layout.h for the algorithm).
// Thread affinity: UI thread only.

#include <cwchar>

#include "uiframework/layout/box_layout.h"

namespace Veneer {

class CVerticalLayoutUI : public CBoxLayoutUI {
 public:
  CVerticalLayoutUI() : CBoxLayoutUI(LayoutAxis::kVertical, L"sepheight") {}
  const wchar_t* GetClass() const override { return L"VerticalLayoutUI"; }
  void* GetInterface(const wchar_t* name) override {
    if (name != nullptr && std::wcscmp(name, L"VerticalLayout") == 0) return this;
    return CBoxLayoutUI::GetInterface(name);
  }
};

}  // namespace Veneer
