#pragma once

// A button that stays selected. Options in the same group ("group") select
// one at a time; an option without a group toggles. Selecting notifies
// "selectchanged" (in a group, only for the option that became selected).
// Thread affinity: UI thread only.

#include "uiframework/controls/button.h"

namespace Veneer {

class COptionUI : public CButtonUI {
 public:
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  // Joins the host's group table when attached with initialisation.
  void SetHost(CPaintHostUI* host, CControlUI* parent, bool init = true) override;
  // The button's "click", then select (in a group) or toggle.
  bool Activate() override;
  // Disabling keeps only the selected bit of the state.
  void SetEnabled(bool enabled = true) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void PaintStatusImage(IRenderUI& render) override;
  void PaintText(IRenderUI& render) override;

  const std::wstring& GetGroup() const { return group_; }
  void SetGroup(const std::wstring& group);
  bool IsSelected() const { return selected_; }
  void Selected(bool selected);

 private:
  std::wstring group_;
  bool selected_ = false;
  CPaintHostUI* registered_ = nullptr;  // the host whose group table holds this option
  uint32_t selected_bk_color_ = 0;
  uint32_t selected_text_color_ = 0;
  ImageDrawInfo selected_image_;
  ImageDrawInfo selected_hot_image_;
  ImageDrawInfo option_fore_image_;
};

// An option with a class identity of its own and no data of its own.
class CCheckBoxUI : public COptionUI {
 public:
  const wchar_t* GetClass() const override { return L"CheckBoxUI"; }
  void* GetInterface(const wchar_t* name) override;
};

}  // namespace Veneer
