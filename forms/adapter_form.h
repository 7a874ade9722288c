#pragma once

// The adapter picker: a small modal skinned window ("adapter.xml") with one
// text button per wired adapter found. A click on an entry records that
// table index as the choice and closes the window; Esc and the system's
// close command close it without a choice.
//
// Thread affinity: UI thread only.

#include <cstdint>
#include <string>

#include "forms/frameless_form.h"
#include "repair/adapter_info.h"

namespace forms {

class CAdapterForm : public CFramelessForm {
 public:
  // `table` holds `count` records; both must outlive the window.
  CAdapterForm(const IP_ADAPTER_INFO* table, int32_t count);

  void InitWindow() override;
  void Notify(Veneer::NotifyMsg& msg) override;
  // The index of the entry clicked, or -1.
  int32_t chosen() const { return chosen_; }

 protected:
  const wchar_t* GetWindowClassName() const override { return L"QX_ADAPTER"; }
  std::wstring GetSkinFolder() override { return std::wstring(); }
  std::wstring GetSkinFile() override { return L"adapter.xml"; }
  int GetResourceType() const override { return kResourceZip; }
  int GetResourceID() const override;

 private:
  const IP_ADAPTER_INFO* table_;
  int32_t count_;
  int32_t chosen_ = -1;
};

}  // namespace forms
