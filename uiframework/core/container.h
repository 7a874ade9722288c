#pragma once

// Containers: an ordered list of child controls, offered to others through
// the "IContainer" interface, an inner margin (inset), a gap between
// stacked children and optional scroll bars. A plain container gives every
// child its whole inner rectangle; the stacking layouts live in layout/.
//
// Ownership: children are owned (destroyed with the container or when
// removed) unless auto-destroy is turned off. A control has one parent at
// a time, which makes the duplicate test of Add O(1).
// Thread affinity: UI thread only.

#include <vector>

#include "uiframework/core/control.h"

namespace Veneer {

class CScrollBarUI;

class IContainerUI {
 public:
  virtual CControlUI* GetItemAt(int index) const = 0;
  virtual int GetItemIndex(CControlUI* control) const = 0;  // -1 if absent
  virtual bool SetItemIndex(CControlUI* control, int index) = 0;
  virtual int GetCount() const = 0;
  // Takes ownership on success; false (ownership stays with the caller) for
  // a null control, the container itself, or a control that already has a
  // parent.
  virtual bool Add(CControlUI* control) = 0;
  virtual bool AddAt(CControlUI* control, int index) = 0;
  // Removing destroys the child when auto-destroy is on (later, through
  // the host, when delayed destroy is on too); otherwise the child is
  // detached and handed back to the caller.
  virtual bool Remove(CControlUI* control) = 0;
  virtual bool RemoveAt(int index) = 0;
  virtual void RemoveAll() = 0;

 protected:
  ~IContainerUI() = default;
};

class CContainerUI : public CControlUI, public IContainerUI {
 public:
  CContainerUI();
  ~CContainerUI() override;

  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  void SetHost(CPaintHostUI* host, CControlUI* parent, bool init = true) override;
  void SetVisible(bool visible = true) override;
  void SetInternVisible(bool visible = true) override;
  void SetMouseEnabled(bool enabled = true) override;
  CControlUI* FindControl(FindControlProc proc, void* data, uint32_t flags) override;
  void DoEvent(UIEvent& event) override;
  void SetPos(const UiRect& rect, bool invalidate = true) override;
  void DoPaint(IRenderUI& render, const UiRect& paint) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;

  // IContainerUI
  CControlUI* GetItemAt(int index) const override;
  int GetItemIndex(CControlUI* control) const override;
  bool SetItemIndex(CControlUI* control, int index) override;
  int GetCount() const override;
  bool Add(CControlUI* control) override;
  bool AddAt(CControlUI* control, int index) override;
  bool Remove(CControlUI* control) override;
  bool RemoveAt(int index) override;
  void RemoveAll() override;

  virtual UiRect GetInset() const;
  virtual void SetInset(const UiRect& inset);
  virtual int GetChildPadding() const;
  virtual void SetChildPadding(int padding);
  virtual bool IsAutoDestroy() const;
  virtual void SetAutoDestroy(bool auto_destroy);
  virtual bool IsDelayedDestroy() const;
  virtual void SetDelayedDestroy(bool delayed);
  virtual bool IsMouseChildEnabled() const;
  virtual void SetMouseChildEnabled(bool enabled = true);

  // Scrolling (not used by the program's skins): bars are created on
  // demand, shown when the content needs more room than the inner
  // rectangle, and shift the children by the scroll position.
  virtual UiSize GetScrollPos() const;
  virtual UiSize GetScrollRange() const;
  virtual void SetScrollPos(const UiSize& pos);
  virtual void EnableScrollBar(bool vertical, bool horizontal);
  CScrollBarUI* GetVerticalScrollBar() const { return vertical_bar_; }
  CScrollBarUI* GetHorizontalScrollBar() const { return horizontal_bar_; }
  // Places a visible floating child by its fixed position and fractions,
  // relative to this container (the inset does not apply).
  virtual void SetFloatPos(int index);
  // Shows or hides the bars for the room the content needs.
  virtual void ProcessScrollBar(const UiRect& inner, int needed_width, int needed_height);

  // The position minus the inset and the visible scroll bars.
  UiRect GetInnerRect() const;

 protected:
  std::vector<CControlUI*> items_;
  UiRect inset_;
  int child_padding_ = 0;
  bool auto_destroy_ = true;
  bool delayed_destroy_ = true;
  bool mouse_child_ = true;
  CScrollBarUI* vertical_bar_ = nullptr;
  CScrollBarUI* horizontal_bar_ = nullptr;

 private:
  void DestroyChild(CControlUI* control);
};

}  // namespace Veneer
