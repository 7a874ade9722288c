#pragma once

// The non-client hit test of a frameless skinned window, as a pure
// function so that every window (and every test) uses the same decision.

#include "uiframework/base/geometry.h"

namespace Veneer {

class CControlUI;

// The platform's hit-test codes.
enum HitTestCode : int {
  kHitClient = 1,
  kHitCaption = 2,
  kHitLeft = 10,
  kHitRight = 11,
  kHitTop = 12,
  kHitTopLeft = 13,
  kHitTopRight = 14,
  kHitBottom = 15,
  kHitBottomLeft = 16,
  kHitBottomRight = 17,
};

// `point` and `client` are client coordinates. Unless the window is
// maximised, the size box margins give resize zones; then the caption
// strip ("caption" l,t,r,b: x from client.left + l to client.right - r, y
// from t to b) drags the window wherever `control` (the control at the
// point) exists and is no button, option or text. Everything else is
// client area.
int HitTestFrame(const UiPoint& point, const UiRect& client, const UiRect& size_box, const UiRect& caption,
                 const CControlUI* control, bool maximized);

}  // namespace Veneer
