#pragma once

// A window's settings from its skin's Window element (attribute names in
// quotes): the builder fills them, the window binding and the window base
// read them.

#include "uiframework/base/geometry.h"

namespace Veneer {

struct WindowSettings {
  static constexpr int kOpaque = 255;

  UiSize init_size;                     // "size"
  UiRect size_box;                      // "sizebox": the resizing borders
  UiRect caption;                       // "caption"
  UiSize round_corner;                  // "roundcorner": the corner ellipse
  UiSize min_info;                      // "mininfo"; 0 = no limit
  UiSize max_info;                      // "maxinfo"; 0 = no limit
  bool show_update_rect = false;        // "showdirty"
  bool layered = false;                 // "layerd"
  int opacity = kOpaque;                // "alpha", clamped to 0..255
  bool background_transparent = false;  // "bktrans"
};

}  // namespace Veneer
