#include "forms/frameless_form.h"

namespace forms {

using Veneer::WindowImplBase;

LRESULT CFramelessForm::OnNcActivate(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) {
  if (!Uses(kNcActivate)) return WindowImplBase::OnNcActivate(message, wparam, lparam, handled);
  if (IsIconic(hwnd_)) {
    handled = false;
    return 0;
  }
  return wparam == 0 ? TRUE : FALSE;
}

LRESULT CFramelessForm::OnNcCalcSize(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) {
  if (!Uses(kNcCalcSize)) return WindowImplBase::OnNcCalcSize(message, wparam, lparam, handled);
  return 0;  // the whole window is client area
}

LRESULT CFramelessForm::OnNcPaint(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) {
  if (!Uses(kNcPaint)) return WindowImplBase::OnNcPaint(message, wparam, lparam, handled);
  return 0;  // no frame
}

LRESULT CFramelessForm::OnNcHitTest(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) {
  if (!Uses(kNcHitTest)) return WindowImplBase::OnNcHitTest(message, wparam, lparam, handled);
  return HitTestAt(lparam);
}

LRESULT CFramelessForm::OnGetMinMaxInfo(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) {
  if (!Uses(kGetMinMaxInfo)) return WindowImplBase::OnGetMinMaxInfo(message, wparam, lparam, handled);
  // The primary monitor's work area, relative to that monitor's origin.
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &monitor);
  auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
  const RECT work = monitor.rcWork;
  const RECT whole = monitor.rcMonitor;
  info->ptMaxPosition = POINT{work.left - whole.left, work.top - whole.top};
  info->ptMaxSize = POINT{work.right - whole.left, work.bottom - whole.top};
  handled = false;  // the framework applies "mininfo" and "maxinfo"
  return 0;
}

LRESULT CFramelessForm::OnSize(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) {
  if (!Uses(kSize)) return WindowImplBase::OnSize(message, wparam, lparam, handled);
  ApplyRoundCorner();  // not while minimised: the region stays as it was
  handled = false;
  return 0;
}

LRESULT CFramelessForm::OnSysCommand(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) {
  if (!Uses(kSysCommand)) return WindowImplBase::OnSysCommand(message, wparam, lparam, handled);
  // Also the maximise request a double click on the caption sends.
  if ((LOWORD(wparam) & 0xFFF0) == SC_MAXIMIZE) return 0;
  handled = false;
  return 0;
}

}  // namespace forms
