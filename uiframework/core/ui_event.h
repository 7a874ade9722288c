#pragma once

// The records that travel through a window host: control events (UIEvent),
// notifications (NotifyMsg) and the callback interfaces the application's
// windows implement. The numeric values are fixed: controls compare kinds by
// range and skins name notification types by text.
//
// Thread affinity: UI thread only.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "uiframework/base/geometry.h"

namespace Veneer {

class CControlUI;

enum UIEventKind : int {
  kUIEventKeyBegin = 2,  // brackets the keyboard kinds; never sent
  kUIEventKeyDown = 3,
  kUIEventKeyUp = 4,
  kUIEventChar = 5,
  kUIEventSysKey = 6,
  kUIEventKeyEnd = 7,
  kUIEventMouseBegin = 8,  // brackets the mouse kinds; never sent
  kUIEventMouseMove = 9,
  kUIEventMouseLeave = 10,
  kUIEventMouseEnter = 11,
  kUIEventMouseHover = 12,
  kUIEventButtonDown = 13,
  kUIEventButtonUp = 14,
  kUIEventRButtonDown = 15,
  kUIEventDblClick = 16,
  kUIEventContextMenu = 17,
  kUIEventScrollWheel = 18,
  kUIEventMouseEnd = 19,
  kUIEventKillFocus = 20,
  kUIEventSetFocus = 21,
  kUIEventWindowSize = 22,
  kUIEventSetCursor = 23,
  kUIEventTimer = 24,
};

inline bool IsMouseEvent(int kind) { return kind > kUIEventMouseBegin && kind < kUIEventMouseEnd; }
inline bool IsKeyEvent(int kind) { return kind > kUIEventKeyBegin && kind < kUIEventKeyEnd; }

// Key state bits of UIEvent::key_state.
enum UIKeyState : uint16_t {
  kKeyStateLButton = 0x01,
  kKeyStateRButton = 0x02,
  kKeyStateShift = 0x04,
  kKeyStateControl = 0x08,
  kKeyStateAlt = 0x20,
};

// State bits of buttons and options.
enum UIControlState : uint32_t {
  kStateFocused = 0x01,
  kStateSelected = 0x02,
  kStateDisabled = 0x04,
  kStateHot = 0x08,
  kStatePushed = 0x10,
  kStateReadOnly = 0x20,
  kStateCaptured = 0x40,
};

// Bits of CControlUI::GetControlFlags.
enum UIControlFlag : uint32_t {
  kControlFlagTabStop = 0x01,
  kControlFlagSetCursor = 0x02,  // wants set-cursor events
};

// Virtual key codes the framework itself looks at.
enum UIKey : uint32_t {
  kKeyTab = 0x09,
  kKeyReturn = 0x0D,
  kKeyShift = 0x10,
  kKeyEscape = 0x1B,
  kKeySpace = 0x20,
};

struct UIEvent {
  int kind = 0;
  CControlUI* sender = nullptr;
  uint32_t timestamp = 0;  // milliseconds since system start
  UiPoint point;
  wchar_t ch = 0;  // the character, or the virtual key of key events
  uint16_t key_state = 0;
  uintptr_t wparam = 0;
  intptr_t lparam = 0;
};

struct NotifyMsg {
  std::wstring type;
  std::wstring virtual_wnd;
  CControlUI* sender = nullptr;
  uint32_t timestamp = 0;
  UiPoint point;
  uintptr_t wparam = 0;
  intptr_t lparam = 0;
};

// Receives every notification of a window.
class INotifyUI {
 public:
  virtual void Notify(NotifyMsg& msg) = 0;

 protected:
  ~INotifyUI() = default;
};

// A list of application callbacks on a control. Each returns a flag; the
// first false stops the rest and is the list's answer. A callback may add
// or remove callbacks, or destroy nothing but itself, while the list runs.
template <typename Arg>
class CEventSourceUI {
 public:
  using Callback = std::function<bool(Arg&)>;

  void Add(Callback callback) { callbacks_.push_back(std::move(callback)); }
  void Clear() { callbacks_.clear(); }
  bool IsEmpty() const { return callbacks_.empty(); }
  bool operator()(Arg& arg) const {
    if (callbacks_.empty()) return true;
    std::vector<Callback> callbacks = callbacks_;
    for (const Callback& callback : callbacks) {
      if (!callback(arg)) return false;
    }
    return true;
  }

 private:
  std::vector<Callback> callbacks_;
};

}  // namespace Veneer
