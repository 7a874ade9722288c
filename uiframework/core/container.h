#pragma once

// Containers: an ordered list of owned child controls, offered to others
// through the "IContainer" interface.
// Thread affinity: UI thread only.

#include <vector>

#include "uiframework/core/control.h"

namespace Veneer {

class IContainerUI {
 public:
  virtual CControlUI* GetItemAt(int index) const = 0;
  virtual int GetItemIndex(CControlUI* control) const = 0;  // -1 if absent
  virtual bool SetItemIndex(CControlUI* control, int index) = 0;
  virtual int GetCount() const = 0;
  // Takes ownership on success; false (ownership stays with the caller) for
  // a null control or one already in the list.
  virtual bool Add(CControlUI* control) = 0;
  virtual bool AddAt(CControlUI* control, int index) = 0;
  // Removing destroys the child when auto-destroy is on.
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
  // Children follow their container to (and from) a host.
  void SetHost(CPaintHostUI* host, CControlUI* parent, bool init) override;

  CControlUI* GetItemAt(int index) const override;
  int GetItemIndex(CControlUI* control) const override;
  bool SetItemIndex(CControlUI* control, int index) override;
  int GetCount() const override;
  bool Add(CControlUI* control) override;
  bool AddAt(CControlUI* control, int index) override;
  bool Remove(CControlUI* control) override;
  bool RemoveAt(int index) override;
  void RemoveAll() override;

  bool IsAutoDestroy() const { return auto_destroy_; }
  void SetAutoDestroy(bool auto_destroy) { auto_destroy_ = auto_destroy; }

 private:
  std::vector<CControlUI*> items_;
  bool auto_destroy_ = true;
};

}  // namespace Veneer
