#pragma once

// The builder's way of loading a child layout's skin file: a CDialogBuilder
// that goes on with the host's build budget and asks the window's creation
// callback (if any) for the control classes it does not know. A window
// sets one on its host for its tree's child layouts.
// Thread affinity: UI thread only.

#include "uiframework/core/child_layout_loader.h"

namespace Veneer {

class IDialogBuilderCallback;

class CChildLayoutLoader : public IChildLayoutLoaderUI {
 public:
  // `callback` (null: none) must outlive the loader.
  explicit CChildLayoutLoader(IDialogBuilderCallback* callback = nullptr) : callback_(callback) {}

  CControlUI* LoadChildLayout(const wchar_t* file, int depth, CPaintHostUI* host) override;

 private:
  IDialogBuilderCallback* callback_;
};

}  // namespace Veneer
