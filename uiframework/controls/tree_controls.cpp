#include "uiframework/controls/identity_controls.h"

namespace Veneer {

void* CTreeViewUI::GetInterface(const wchar_t* name) {
  if (name != nullptr && std::wcscmp(name, L"TreeView") == 0) return this;
  return CListUI::GetInterface(name);
}

bool CTreeViewUI::AddAt(CControlUI* control, int index) {
  if (control == nullptr || control->GetInterface(L"TreeNode") == nullptr) return false;
  return CListUI::AddAt(control, index);
}

CTreeNodeUI::CTreeNodeUI() : row_(new CHorizontalLayoutUI()) {}

CTreeNodeUI::~CTreeNodeUI() {
  for (CTreeNodeUI* node : child_nodes_) node->Delete();
  row_->Delete();
}

void* CTreeNodeUI::GetInterface(const wchar_t* name) {
  if (name != nullptr && std::wcscmp(name, L"TreeNode") == 0) return this;
  return CListContainerElementUI::GetInterface(name);
}

void CTreeNodeUI::SetHost(CPaintHostUI* host, CControlUI* parent, bool init) {
  if (host != host_) {
    row_->SetHost(host, this, init);
    for (CTreeNodeUI* node : child_nodes_) node->SetHost(host, this, init);
  }
  CListContainerElementUI::SetHost(host, parent, init);
}

bool CTreeNodeUI::AddChildNode(CTreeNodeUI* node) {
  if (node == nullptr || node == this || node->parent_node_ != nullptr) return false;
  child_nodes_.push_back(node);
  node->parent_node_ = this;
  node->SetHost(host_, this, host_ != nullptr);
  return true;
}

CTreeNodeUI* CTreeNodeUI::GetChildNode(int index) const {
  if (index < 0 || index >= GetChildNodeCount()) return nullptr;
  return child_nodes_[static_cast<size_t>(index)];
}

}  // namespace Veneer
