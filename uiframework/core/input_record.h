#pragma once

// One native message in platform-neutral form, as the window binding hands
// it to the host. `message`, `wparam` and `lparam` are the native ones (for
// the message filters); the rest is decoded.

#include <cstdint>

#include "uiframework/base/geometry.h"

namespace Veneer {

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

}  // namespace Veneer
