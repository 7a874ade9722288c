#pragma once

// The non-client behaviour the program's windows share: the whole window
// is client area, no frame is painted, the skin's caption strip drags the
// window except over buttons, options and texts, the window is clipped to
// the skin's rounded corners, and maximising is refused.
//
// A window takes all of it, or (the alert) only some handlers and keeps
// the window base's behaviour for the rest.
//
// Thread affinity: UI thread only.

#include "uiframework/win/window_impl_base.h"

namespace forms {

class CFramelessForm : public Veneer::WindowImplBase {
 public:
  enum Handler : unsigned {
    kNcActivate = 1 << 0,
    kNcCalcSize = 1 << 1,
    kNcPaint = 1 << 2,
    kNcHitTest = 1 << 3,
    kGetMinMaxInfo = 1 << 4,
    kSize = 1 << 5,
    kSysCommand = 1 << 6,
    kAllHandlers = 0x7F,
  };

  explicit CFramelessForm(unsigned handlers = kAllHandlers) : handlers_(handlers) {}

 protected:
  LRESULT OnNcActivate(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) override;
  LRESULT OnNcCalcSize(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) override;
  LRESULT OnNcPaint(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) override;
  LRESULT OnNcHitTest(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) override;
  LRESULT OnGetMinMaxInfo(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) override;
  LRESULT OnSize(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) override;
  LRESULT OnSysCommand(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) override;

 private:
  bool Uses(Handler handler) const { return (handlers_ & handler) != 0; }

  unsigned handlers_;
};

}  // namespace forms
