#pragma once

// The window host: one per skinned window. It owns the root of the control
// tree, lays it out lazily and paints it through the window's renderer,
// turns the window's input into control events (tracking the focused,
// hovered and pressed controls), keeps the controls' timers, and delivers
// notifications to the window's notifiers.
//
// The host is portable: the window binding converts each native message
// into an InputRecord and implements INativeWindowUI for what the host
// needs back (invalidation, timers, capture, tooltip, cursor). The skin's
// fonts, images and default lists live in the host's resource tables.
//
// The translation of input into control events lives in
// paint_host_input.cpp, the timers in CTimerTableUI.
//
// Thread affinity: UI thread only; no locking.

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "uiframework/base/dpi_scale.h"
#include "uiframework/base/geometry.h"
#include "uiframework/core/child_layout_loader.h"
#include "uiframework/core/input_record.h"
#include "uiframework/core/message_filter.h"
#include "uiframework/core/native_window.h"
#include "uiframework/core/option_groups.h"
#include "uiframework/core/timer_table.h"
#include "uiframework/core/ui_event.h"
#include "uiframework/core/window_settings.h"
#include "uiframework/resources/build_budget.h"
#include "uiframework/resources/resource_tables.h"

namespace Veneer {

class CControlUI;
class IRenderUI;

class CPaintHostUI {
 public:
  // Hover time when there is no tooltip window.
  static constexpr uint32_t kDefaultHoverMs = 400;

  // `shared` is the parent of this window's resource tables (the process's
  // shared tables by default).
  explicit CPaintHostUI(CResourceTablesUI* shared = &CResourceTablesUI::Shared());
  CPaintHostUI(const CPaintHostUI&) = delete;
  CPaintHostUI& operator=(const CPaintHostUI&) = delete;
  ~CPaintHostUI();

  // --- native window and renderer (both owned by the binding)
  void AttachNativeWindow(INativeWindowUI* window) { window_ = window; }
  INativeWindowUI* GetNativeWindow() const { return window_; }
  void SetRender(IRenderUI* render) { render_ = render; }
  IRenderUI* GetRender() const { return render_; }

  // --- the control tree
  // Takes ownership of the finished tree, attaches and initialises it and
  // registers its names. A null root sends the window a close message.
  bool AttachDialog(CControlUI* root);
  CControlUI* GetRoot() const { return root_; }
  // How the tree's child layouts build their skin files (null: the
  // builder's plain way, without the window's own control classes). Not
  // owned; it must outlive the tree.
  void SetChildLayoutLoader(IChildLayoutLoaderUI* loader) { child_layout_loader_ = loader; }
  IChildLayoutLoaderUI* GetChildLayoutLoader() const { return child_layout_loader_; }
  // The budget of this window's skin: a build for this host starts it
  // afresh, and the child layouts of the tree go on with it while it
  // attaches.
  BuildBudget& GetBuildBudget() { return build_budget_; }
  // Called for each control attached with initialisation (name table).
  void RegisterControl(CControlUI* control);
  // Forgets every reference to `control` (focus, hover, pressed, timers,
  // queued senders, names, option groups): it is leaving the tree.
  void ReapObjects(CControlUI* control);
  CControlUI* FindControl(const std::wstring& name) const;
  // The visible, mouse-enabled control at a client point, or null.
  CControlUI* FindControl(const UiPoint& point) const;

  // --- focus and capture
  CControlUI* GetFocus() const { return focus_; }
  void SetFocus(CControlUI* control);
  // Moves the focus to the next (or previous) focusable control.
  bool SetNextTabControl(bool forward = true);
  // The same, forward, at the next paint: a walk of the tree however often
  // it is asked for before (tab layouts ask on every selection). The first
  // focus of a tree just attached wins over it.
  void SetNextTabControlLater() { next_tab_pending_ = true; }
  bool IsCaptured() const { return captured_; }
  CControlUI* GetHover() const { return hover_; }
  CControlUI* GetPressed() const { return click_; }
  UiPoint GetMousePos() const { return last_mouse_; }

  // --- timers
  bool SetTimer(CControlUI* control, uint32_t id, uint32_t elapse_ms);
  bool KillTimer(CControlUI* control, uint32_t id);
  void KillTimer(CControlUI* control);
  void RemoveAllTimers();
  // The local id of a control's timer, or -1.
  int GetTimerLocalId(CControlUI* control, uint32_t id) const;

  // --- notifications and filters
  bool AddNotifier(INotifyUI* notifier);
  bool RemoveNotifier(INotifyUI* notifier);
  bool AddPreMessageFilter(IMessageFilterUI* filter);
  bool RemovePreMessageFilter(IMessageFilterUI* filter);
  bool AddMessageFilter(IMessageFilterUI* filter);
  bool RemoveMessageFilter(IMessageFilterUI* filter);
  void SendNotify(CControlUI* control, const wchar_t* type, uintptr_t wparam = 0, intptr_t lparam = 0,
                  bool async = false);
  void SendNotify(NotifyMsg& msg, bool async = false);
  void UsedVirtualWnd(bool used) { used_virtual_wnd_ = used; }

  // --- delayed clean-up: the control leaves the tree now and is destroyed
  // when the window's clean-up message arrives.
  void AddDelayedCleanup(CControlUI* control);

  // --- option groups (options join when attached with initialisation;
  // a control leaving the tree leaves its group)
  COptionGroupsUI& GetOptionGroups() { return option_groups_; }

  // --- display scaling: the window's DPI, 96 until the binding gives the
  // window's own. The skin's lengths are 96-DPI units, scaled by this where
  // they are used (layout, painting, fonts, pictures, the window's size and
  // frame). A change lays the whole tree out again and repaints it, with
  // fonts and pictures for the new DPI; the window's size is the binding's
  // to change.
  void SetDpi(int dpi);
  const DpiScale& GetDpiScale() const { return dpi_scale_; }

  // --- window settings (the skin's Window element, 96-DPI units)
  WindowSettings& GetWindowSettings() { return settings_; }
  const WindowSettings& GetWindowSettings() const { return settings_; }
  // The same in pixels at the window's scale.
  WindowSettings GetScaledWindowSettings() const { return settings_.Scaled(dpi_scale_); }
  // Sets the initial size; while no tree is attached the window takes it
  // (scaled).
  void SetInitSize(int cx, int cy);
  // Clamped to 0..255; a value within that range makes the window layered
  // with that constant alpha, any other removes the layered style.
  void SetOpacity(int opacity);

  // --- resources: this window's tables, with the shared ones behind them
  CResourceTablesUI& GetResources() { return resources_; }
  const CResourceTablesUI& GetResources() const { return resources_; }
  DefaultColors& GetDefaultColors() { return resources_.GetDefaultColors(); }

  // --- layout and painting
  void Invalidate(const UiRect& rect);
  // The tree needs layout before the next paint.
  void NeedUpdate() { update_needed_ = true; }
  bool IsUpdateNeeded() const { return update_needed_; }
  // Lays out what needs it (the whole tree over the client area when the
  // root is marked, else each marked control at its position) and sends
  // "windowinit" after the first layout. True when anything was laid out.
  bool Layout();
  // Paints the tree's part that meets `update` through the renderer (and,
  // with "showdirty", outlines it).
  void Paint(const UiRect& update);

  // --- input
  // The filters registered for pre-translation, then Tab (focus travel),
  // system keys and shortcuts. True when the message must not be
  // dispatched.
  bool PreMessageHandler(const InputRecord& input);
  // Handles one message: queued notifications first, then the message
  // filters, then the translation into control events. True when handled;
  // `result` is the message's result then.
  bool MessageHandler(const InputRecord& input, intptr_t& result);
  void SetCursorShape(CursorShape shape);

 private:
  // "Is this control still mine": it is not null and still belongs to this
  // host (a handler may have moved or removed it).
  bool Owns(const CControlUI* control) const;
  void DrainAsyncNotify();
  void Deliver(NotifyMsg& msg);
  UIEvent MakeEvent(int kind, CControlUI* sender, const InputRecord& input) const;

  // Pre-translation, by input kind (true: not to be dispatched).
  bool OnTabKey(const InputRecord& input);
  void OnSysKeyDown(const InputRecord& input);
  bool OnSysChar(const InputRecord& input);

  // Translation into control events, by input kind. Dispatch handles the
  // kinds that end the message's handling (with `result` set) and passes
  // the others to TranslateInput, after which the default handling goes
  // on. A handler returning bool reports the message handled.
  bool Dispatch(const InputRecord& input, intptr_t& result);
  void TranslateInput(const InputRecord& input);
  void OnButtonDown(const InputRecord& input, int kind);
  void OnButtonUp(const InputRecord& input);
  void OnRightButtonDown(const InputRecord& input);
  void OnContextMenu(const InputRecord& input);
  void OnMouseMove(const InputRecord& input);
  void OnMouseWheel(const InputRecord& input);
  void OnMouseHover(const InputRecord& input);
  void OnMouseLeave();
  void OnKeyDown(const InputRecord& input);
  void OnKeyUp(const InputRecord& input);
  void OnChar(const InputRecord& input);
  bool OnSetCursor(const InputRecord& input, intptr_t& result);
  void OnSize(const InputRecord& input);
  bool OnTimer(uint32_t local_id);
  void OnClose();
  void OnDelayedCleanup();

  CResourceTablesUI resources_;
  INativeWindowUI* window_ = nullptr;
  IRenderUI* render_ = nullptr;
  IChildLayoutLoaderUI* child_layout_loader_ = nullptr;
  BuildBudget build_budget_;
  WindowSettings settings_;
  DpiScale dpi_scale_;

  CControlUI* root_ = nullptr;
  CControlUI* focus_ = nullptr;
  CControlUI* hover_ = nullptr;
  CControlUI* click_ = nullptr;
  CControlUI* event_key_ = nullptr;
  UiPoint last_mouse_{-1, -1};

  bool first_layout_ = true;
  bool update_needed_ = false;
  bool layout_all_ = false;
  bool focus_needed_ = false;
  bool next_tab_pending_ = false;
  bool mouse_tracking_ = false;
  bool captured_ = false;
  bool used_virtual_wnd_ = false;

  CTimerTableUI timers_;
  std::vector<INotifyUI*> notifiers_;
  std::vector<IMessageFilterUI*> pre_filters_;
  std::vector<IMessageFilterUI*> filters_;
  std::deque<NotifyMsg> async_notify_;
  std::vector<CControlUI*> delayed_cleanup_;
  COptionGroupsUI option_groups_;
  std::unordered_map<std::wstring, CControlUI*> names_;
};

}  // namespace Veneer
