#pragma once

namespace Veneer {

class CControlUI;

// Creates controls for element names the builder does not know (the
// window's own control classes). Thread affinity: UI thread only.
class IDialogBuilderCallback {
 public:
  // A new control for `class_name`, or null when the name is not the
  // callback's. The builder takes ownership of the result.
  virtual CControlUI* CreateControl(const wchar_t* class_name) = 0;

 protected:
  ~IDialogBuilderCallback() = default;
};

}  // namespace Veneer
