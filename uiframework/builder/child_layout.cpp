#include "uiframework/builder/child_layout.h"

#include <cwchar>

#include "basekit/log/log.h"
#include "uiframework/base/text_conv.h"
#include "uiframework/builder/child_layout_loader.h"
#include "uiframework/builder/dialog_builder.h"
#include "uiframework/core/paint_host.h"

namespace Veneer {

namespace {

constexpr const char* kLogSource = "child_layout";

}  // namespace

const wchar_t* CChildLayoutUI::GetClass() const { return L"ChildLayoutUI"; }

void* CChildLayoutUI::GetInterface(const wchar_t* name) {
  if (name != nullptr && std::wcscmp(name, L"ChildLayout") == 0) return this;
  return CContainerUI::GetInterface(name);
}

void CChildLayoutUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (name != nullptr && value != nullptr && std::wcscmp(name, L"xmlfile") == 0) {
    SetChildLayoutXML(value);
  } else {
    CContainerUI::SetAttribute(name, value);
  }
}

void CChildLayoutUI::DoInit() {
  if (xml_file_.empty()) return;
  // A document loaded here nests below this container, and every level of
  // child layouts costs a whole build on the stack: it counts as
  // kChildLayoutDepth levels, so that layouts loading themselves stop long
  // before the UI thread's stack (1 MiB on Windows) runs out.
  int depth = 0;
  for (CControlUI* p = this; p != nullptr && depth <= CDialogBuilder::kMaxDepth; p = p->GetParent()) {
    depth += p->GetInterface(L"ChildLayout") != nullptr ? kChildLayoutDepth : 1;
  }
  static CChildLayoutLoader plain;  // for a window that set no loader of its own
  IChildLayoutLoaderUI* loader = host_ != nullptr ? host_->GetChildLayoutLoader() : nullptr;
  if (loader == nullptr) loader = &plain;
  ControlPtr child(loader->LoadChildLayout(xml_file_.c_str(), depth, host_));
  RemoveAll();
  if (!child) {
    BASEKIT_LOG(Failure, "child layout %s could not be built", ToLogText(xml_file_.c_str()).c_str());
    return;
  }
  if (Add(child.get())) child.release();
}

}  // namespace Veneer
