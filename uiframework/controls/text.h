#pragma once

// A text that wraps inside its rectangle (word break by default) and is
// measured for its height.
// Thread affinity: UI thread only.

#include "uiframework/controls/label.h"

namespace Veneer {

class CTextUI : public CLabelUI {
 public:
  CTextUI();

  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  // The measured text height plus the vertical padding (a fixed height
  // replaces it). The width is the fixed width, or 0 (stretch) without
  // one, so that an aligned text spans the room its layout gives it.
  UiSize EstimateSize(const UiSize& available) override;
  void PaintText(IRenderUI& render) override;
};

}  // namespace Veneer
