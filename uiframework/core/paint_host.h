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
// Thread affinity: UI thread only; no locking.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "uiframework/base/geometry.h"
#include "uiframework/core/option_groups.h"
#include "uiframework/core/ui_event.h"
#include "uiframework/resources/build_budget.h"
#include "uiframework/resources/resource_tables.h"

namespace Veneer {

class CControlUI;
class IDialogBuilderCallback;  // builder/dialog_builder_callback.h
class IRenderUI;

enum class CursorShape { kArrow, kHand };

// What the host needs from its native window. The binding implements it;
// tests fake it.
class INativeWindowUI {
 public:
  virtual UiRect GetClientRect() = 0;
  // Resizes the window without moving or activating it.
  virtual void ResizeWindow(int cx, int cy) = 0;
  virtual void Invalidate(const UiRect& rect) = 0;
  // Native timers, identified by the host's local ids.
  virtual bool SetNativeTimer(uint32_t local_id, uint32_t elapse_ms) = 0;
  virtual void KillNativeTimer(uint32_t local_id) = 0;
  virtual void CaptureMouse() = 0;
  virtual void ReleaseMouse() = 0;
  // The native window takes the keyboard focus.
  virtual void TakeFocus() = 0;
  // The owner window (if any) takes the keyboard focus.
  virtual void FocusOwner() = 0;
  // Arms leave and hover tracking.
  virtual void TrackMouse(uint32_t hover_ms) = 0;
  // The tooltip's initial delay in milliseconds, or -1 without a tooltip
  // window.
  virtual int GetTooltipDelay() = 0;
  virtual void ShowTooltip(const std::wstring& text, const UiRect& rect, int max_width) = 0;
  virtual void HideTooltip() = 0;
  virtual void SetCursorShape(CursorShape shape) = 0;
  // Posts the delayed clean-up message to the window.
  virtual void PostCleanup() = 0;
  // Sends the window its close message (a tree that could not be attached).
  virtual void SendClose() = 0;
  // Adds or removes the layered style; with `alpha_attribute` the constant
  // alpha is set as well.
  virtual void SetLayered(bool layered, bool alpha_attribute, uint8_t alpha) = 0;
  // The host's last call, from its destructor once its tree is gone: the
  // window must not reach the host after it.
  virtual void OnHostDestroyed() {}

 protected:
  ~INativeWindowUI() = default;
};

// Sees native messages before the host handles them (a window object, or
// the window base as a pre-message filter).
class IMessageFilterUI {
 public:
  virtual intptr_t MessageHandler(uint32_t message, uintptr_t wparam, intptr_t lparam, bool& handled) = 0;

 protected:
  ~IMessageFilterUI() = default;
};

// One native message in platform-neutral form. `message`, `wparam` and
// `lparam` are the native ones (for the filters); the rest is decoded.
enum class InputKind {
  kOther,  // seen by the message filters only
  kButtonDown,
  kButtonUp,
  kDoubleClick,
  kRightButtonDown,
  kContextMenu,
  kMouseMove,
  kMouseWheel,
  kMouseHover,
  kMouseLeave,
  kKeyDown,
  kKeyUp,
  kChar,
  kSysKeyDown,
  kSysChar,
  kSetCursor,  // inside the client area
  kSize,
  kTimer,  // key = the local timer id
  kClose,
  kEraseBackground,
  kNcButtonDown,
  kDelayedCleanup,
};

struct InputRecord {
  InputKind kind = InputKind::kOther;
  uint32_t message = 0;
  uintptr_t wparam = 0;
  intptr_t lparam = 0;
  UiPoint point;           // client coordinates (mouse kinds)
  uint16_t key_state = 0;  // UIKeyState bits
  uint32_t key = 0;        // virtual key, character or timer id
  int wheel_delta = 0;     // positive: away from the user
};

class CPaintHostUI {
 public:
  static constexpr int kOpaque = 255;
  // Hover time when there is no tooltip window.
  static constexpr uint32_t kDefaultHoverMs = 400;
  // The counter the local timer ids start from: the first is 17.
  static constexpr uint32_t kTimerIdSeed = 4096;

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
  void SetDialogBuilderCallback(IDialogBuilderCallback* callback) { callback_ = callback; }
  IDialogBuilderCallback* GetDialogBuilderCallback() const { return callback_; }
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

  // --- window settings (the skin's Window element)
  void SetInitSize(int cx, int cy);
  UiSize GetInitSize() const { return init_size_; }
  void SetSizeBox(const UiRect& box) { size_box_ = box; }
  UiRect GetSizeBox() const { return size_box_; }
  void SetCaptionRect(const UiRect& caption) { caption_ = caption; }
  UiRect GetCaptionRect() const { return caption_; }
  void SetRoundCorner(int cx, int cy) { round_corner_ = UiSize{cx, cy}; }
  UiSize GetRoundCorner() const { return round_corner_; }
  void SetMinInfo(int cx, int cy) { min_info_ = UiSize{cx, cy}; }
  UiSize GetMinInfo() const { return min_info_; }
  void SetMaxInfo(int cx, int cy) { max_info_ = UiSize{cx, cy}; }
  UiSize GetMaxInfo() const { return max_info_; }
  void SetShowUpdateRect(bool show) { show_update_rect_ = show; }
  bool IsShowUpdateRect() const { return show_update_rect_; }
  void SetLayered(bool layered) { layered_ = layered; }
  bool IsLayered() const { return layered_; }
  // Clamped to 0..255; a value within that range makes the window layered
  // with that constant alpha, any other removes the layered style.
  void SetOpacity(int opacity);
  int GetOpacity() const { return opacity_; }
  void SetBackgroundTransparent(bool transparent) { background_transparent_ = transparent; }
  bool IsBackgroundTransparent() const { return background_transparent_; }

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
  struct TimerInfo {
    CControlUI* sender;
    uint32_t id;
    uint32_t local_id;
    bool killed;
  };

  void DrainAsyncNotify();
  void Deliver(NotifyMsg& msg);
  void OnButtonDown(const InputRecord& input, int kind);
  void OnMouseMove(const InputRecord& input);
  bool OnTimer(uint32_t local_id);
  void OnClose();
  void OnDelayedCleanup();
  UIEvent MakeEvent(int kind, CControlUI* sender, const InputRecord& input) const;

  CResourceTablesUI resources_;
  INativeWindowUI* window_ = nullptr;
  IRenderUI* render_ = nullptr;
  IDialogBuilderCallback* callback_ = nullptr;
  BuildBudget build_budget_;

  CControlUI* root_ = nullptr;
  CControlUI* focus_ = nullptr;
  CControlUI* hover_ = nullptr;
  CControlUI* click_ = nullptr;
  CControlUI* event_key_ = nullptr;
  UiPoint last_mouse_{-1, -1};

  UiSize init_size_;
  UiRect size_box_;
  UiRect caption_;
  UiSize round_corner_;
  UiSize min_info_;
  UiSize max_info_;
  bool show_update_rect_ = false;
  bool first_layout_ = true;
  bool update_needed_ = false;
  bool focus_needed_ = false;
  bool next_tab_pending_ = false;
  bool background_transparent_ = false;
  bool mouse_tracking_ = false;
  bool captured_ = false;
  bool used_virtual_wnd_ = false;
  bool layered_ = false;
  int opacity_ = kOpaque;

  std::vector<TimerInfo> timers_;
  uint32_t timer_counter_ = kTimerIdSeed;
  std::vector<INotifyUI*> notifiers_;
  std::vector<IMessageFilterUI*> pre_filters_;
  std::vector<IMessageFilterUI*> filters_;
  std::deque<NotifyMsg> async_notify_;
  std::vector<CControlUI*> delayed_cleanup_;
  COptionGroupsUI option_groups_;
  std::unordered_map<std::wstring, CControlUI*> names_;
};

}  // namespace Veneer
