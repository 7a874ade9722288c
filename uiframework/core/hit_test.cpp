#include "uiframework/core/hit_test.h"

#include "uiframework/base/attribute_values.h"
#include "uiframework/core/control.h"

namespace Veneer {

int HitTestFrame(const UiPoint& point, const UiRect& client, const UiRect& size_box, const UiRect& caption,
                 const CControlUI* control, bool maximized) {
  if (!maximized) {
    const bool left = point.x < SatAdd(client.left, size_box.left);
    const bool right = point.x > SatSub(client.right, size_box.right);
    if (point.y < SatAdd(client.top, size_box.top)) {
      if (left) return kHitTopLeft;
      if (right) return kHitTopRight;
      return kHitTop;
    }
    if (point.y > SatSub(client.bottom, size_box.bottom)) {
      if (left) return kHitBottomLeft;
      if (right) return kHitBottomRight;
      return kHitBottom;
    }
    if (left) return kHitLeft;
    if (right) return kHitRight;
  }
  if (point.x >= SatAdd(client.left, caption.left) && point.x < SatSub(client.right, caption.right) &&
      point.y >= caption.top && point.y < caption.bottom && control != nullptr) {
    const wchar_t* name = control->GetClass();
    if (!EqualsIgnoreCase(name, L"ButtonUI") && !EqualsIgnoreCase(name, L"OptionUI") &&
        !EqualsIgnoreCase(name, L"TextUI")) {
      return kHitCaption;
    }
  }
  return kHitClient;
}

}  // namespace Veneer
