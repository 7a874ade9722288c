#pragma once

// A container that shows one child at a time ("selectedid"). Selecting a
// child shows and focuses it, hides the others and notifies "tabselect"
// (wParam the new index, lParam the old one).
// Thread affinity: UI thread only.

#include "uiframework/core/container.h"

namespace Veneer {

class CTabLayoutUI : public CContainerUI {
 public:
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void SetPos(const UiRect& rect, bool invalidate = true) override;

  // The first visible child added becomes the selected one; the others
  // are hidden.
  bool AddAt(CControlUI* control, int index) override;
  bool RemoveAt(int index) override;
  void RemoveAll() override;

  int GetCurSel() const { return selected_; }
  // False for an index outside the children; true (and nothing else) for
  // the current one. Touches the old page and the new one only, however
  // many there are; the focus moves on at the next paint.
  bool SelectItem(int index);

 private:
  int selected_ = -1;
};

}  // namespace Veneer
