#pragma once

// The base of the program's skinned windows: a native window with its
// window host. On creation it makes the window frameless, binds the host,
// loads the skin (a folder, a ZIP file, numbered resources or a ZIP
// resource, by GetResourceType) and attaches the built tree; a skin that
// cannot be built goes to the skin-failure hook (below). Notifications go
// through the class's message map (see notify_pump.h); "click" reaches
// OnClick, whose default closes on "closebtn" and minimises, maximises or
// restores on "minbtn", "maxbtn", "restorebtn". Escape closes the window
// with result 1.
//
// Message handlers take (message, wParam, lParam, handled) with handled
// preset to true; a handler that clears it passes the message on to the
// custom-message handler, the host and the previous window procedure.
//
// Display scaling: a window takes the DPI of its owner when it has one
// (the picker and the alert follow the wizard), else its own, and scales
// its skin by it: size, frame, layout, fonts and pictures. Moved to a
// screen of another DPI (WM_DPICHANGED), it takes the new DPI and the
// rectangle the system suggests, and lays out and paints again.
//
// Thread affinity: UI thread only.

#include <windows.h>

#include <string>

#include "uiframework/builder/child_layout_loader.h"
#include "uiframework/builder/dialog_builder_callback.h"
#include "uiframework/core/notify_pump.h"
#include "uiframework/core/paint_host.h"
#include "uiframework/win/host_binding.h"
#include "uiframework/win/window_wnd.h"

namespace Veneer {

// What happens when a window's skin cannot be built: the hook gets the
// message box's text and title. The default shows that message box
// ("加载资源文件失败", "Veneer") and ends the process with exit code 1; when
// a hook returns, the window is not created (Create returns null).
using SkinFailureHook = void (*)(const wchar_t* text, const wchar_t* title);
// Null restores the default. Set it before the first window is created.
void SetSkinFailureHook(SkinFailureHook hook);

class WindowImplBase : public CWindowWnd,
                       public CNotifyPump,
                       public INotifyUI,
                       public IMessageFilterUI,
                       public IDialogBuilderCallback {
 public:
  enum ResourceType {
    kResourceFile = 1,      // skins in a folder
    kResourceZipFile = 2,   // a ZIP file in the resource folder
    kResourceNumbered = 3,  // skin files as numbered resources of type "xml"
    kResourceZip = 4,       // a ZIP archive held as a resource of type "ZIP"
  };

  WindowImplBase();
  ~WindowImplBase() override;

  // After the skin is built and attached.
  virtual void InitWindow();
  void Notify(NotifyMsg& msg) override;
  CControlUI* CreateControl(const wchar_t* class_name) override;
  intptr_t MessageHandler(uint32_t message, uintptr_t wparam, intptr_t lparam, bool& handled) override;

  CPaintHostUI& GetHost() { return host_; }
  const CPaintHostUI& GetHost() const { return host_; }
  CWin32HostBinding& GetBinding() { return binding_; }

 protected:
  UINT GetClassStyle() const override;
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  // Stops being a pre-message filter and a notifier; the host lets go of
  // the window.
  void OnFinalMessage(HWND window) override;
  const NotifyMap* GetNotifyMap() const override;

  virtual void OnClick(NotifyMsg& msg);
  virtual std::wstring GetSkinFolder() = 0;
  virtual std::wstring GetSkinFile() = 0;
  // Escape closes with result 1 (handled); other keys are not handled.
  virtual LRESULT ResponseDefaultKeyEvent(WPARAM key, bool& handled);
  virtual int GetResourceType() const;
  virtual std::wstring GetZipFileName() const;
  // The resource id of the skin archive (kResourceZip) or of the skin file
  // (kResourceNumbered, where GetSkinFile holds it as decimal text).
  virtual int GetResourceID() const;

  virtual LRESULT OnClose(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnDestroy(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnNcActivate(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnNcCalcSize(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnNcPaint(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnNcHitTest(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnGetMinMaxInfo(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnMouseWheel(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnMouseHover(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnSize(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnChar(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnSysCommand(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnCreate(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnKeyDown(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnKillFocus(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnSetFocus(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnLButtonDown(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnLButtonUp(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnMouseMove(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT HandleCustomMessage(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LONG GetStyle();
  // WM_DPICHANGED: wParam's low word the new DPI, lParam the suggested
  // window rectangle.
  virtual LRESULT OnDpiChanged(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);

  // Helpers the frameless windows share.
  // The rounded window region for the skin's corner ellipse.
  void ApplyRoundCorner();
  // The frame's hit test (HitTestFrame) of a WM_NCHITTEST point (screen
  // coordinates in lParam), with the skin's size box and caption scaled.
  LRESULT HitTestAt(LPARAM lparam);

  // Declared first: the host reaches its binding until the host is gone,
  // and then detaches it (OnHostDestroyed), so that the binding never
  // reaches a destroyed host. The tree's child layouts build with this
  // window's control classes.
  CWin32HostBinding binding_;
  CChildLayoutLoader child_layouts_{this};
  CPaintHostUI host_;

 private:
  // Routes the named messages to their handlers; false when none handled it.
  bool RouteMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);
};

}  // namespace Veneer
