#include "uiframework/core/container.h"

#include <algorithm>
#include <cwchar>

namespace Veneer {

CContainerUI::CContainerUI() = default;

CContainerUI::~CContainerUI() {
  if (auto_destroy_) {
    for (CControlUI* item : items_) item->Delete();
  }
}

const wchar_t* CContainerUI::GetClass() const { return L"ContainerUI"; }

void* CContainerUI::GetInterface(const wchar_t* name) {
  if (name != nullptr) {
    if (std::wcscmp(name, L"IContainer") == 0) return static_cast<IContainerUI*>(this);
    if (std::wcscmp(name, L"Container") == 0) return static_cast<CContainerUI*>(this);
  }
  return CControlUI::GetInterface(name);
}

void CContainerUI::SetHost(CPaintHostUI* host, CControlUI* parent, bool init) {
  for (CControlUI* item : items_) item->SetHost(host, this, init);
  CControlUI::SetHost(host, parent, init);
}

CControlUI* CContainerUI::GetItemAt(int index) const {
  if (index < 0 || index >= GetCount()) return nullptr;
  return items_[static_cast<size_t>(index)];
}

int CContainerUI::GetItemIndex(CControlUI* control) const {
  auto it = std::find(items_.begin(), items_.end(), control);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

bool CContainerUI::SetItemIndex(CControlUI* control, int index) {
  int current = GetItemIndex(control);
  if (current < 0 || index < 0 || index >= GetCount()) return false;
  items_.erase(items_.begin() + current);
  items_.insert(items_.begin() + index, control);
  return true;
}

int CContainerUI::GetCount() const { return static_cast<int>(items_.size()); }

bool CContainerUI::Add(CControlUI* control) { return AddAt(control, GetCount()); }

bool CContainerUI::AddAt(CControlUI* control, int index) {
  if (control == nullptr || control == this || index < 0 || index > GetCount()) return false;
  if (GetItemIndex(control) >= 0) return false;
  items_.insert(items_.begin() + index, control);
  control->SetHost(host_, this, host_ != nullptr);
  return true;
}

bool CContainerUI::Remove(CControlUI* control) { return RemoveAt(GetItemIndex(control)); }

bool CContainerUI::RemoveAt(int index) {
  CControlUI* control = GetItemAt(index);
  if (control == nullptr) return false;
  items_.erase(items_.begin() + index);
  if (auto_destroy_) control->Delete();
  return true;
}

void CContainerUI::RemoveAll() {
  std::vector<CControlUI*> items;
  items.swap(items_);
  if (auto_destroy_) {
    for (CControlUI* item : items) item->Delete();
  }
}

}  // namespace Veneer
