#pragma once

// Children stacked left to right (see box_layout.h for the algorithm).
// Thread affinity: UI thread only.

#include <cwchar>

#include "uiframework/layout/box_layout.h"

namespace Veneer {

class CHorizontalLayoutUI : public CBoxLayoutUI {
 public:
  CHorizontalLayoutUI() : CBoxLayoutUI(LayoutAxis::kHorizontal, L"sepwidth") {}
  const wchar_t* GetClass() const override { return L"HorizontalLayoutUI"; }
  void* GetInterface(const wchar_t* name) override {
    if (name != nullptr && std::wcscmp(name, L"HorizontalLayout") == 0) return this;
    return CBoxLayoutUI::GetInterface(name);
  }
};

}  // namespace Veneer
