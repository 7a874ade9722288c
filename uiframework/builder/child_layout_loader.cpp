#include "uiframework/builder/child_layout_loader.h"

#include "uiframework/builder/dialog_builder.h"
#include "uiframework/core/paint_host.h"

namespace Veneer {

CControlUI* CChildLayoutLoader::LoadChildLayout(const wchar_t* file, int depth, CPaintHostUI* host) {
  CDialogBuilder builder;
  builder.SetBaseDepth(depth);
  if (host != nullptr) builder.SetBudget(&host->GetBuildBudget());
  return builder.Create(file, nullptr, callback_, host, nullptr);
}

}  // namespace Veneer
