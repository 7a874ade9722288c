#pragma once

// A window's settings from its skin's Window element (attribute names in
// quotes): the builder fills them, the window binding and the window base
// read them. The lengths are the skin's, in 96-DPI units; Scaled() gives
// them in pixels for a window's DPI.

#include "uiframework/base/dpi_scale.h"
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

  // Every length in pixels at `scale`; flags and opacity as they are.
  WindowSettings Scaled(const DpiScale& scale) const {
    WindowSettings pixels = *this;
    pixels.init_size = scale.Scale(init_size);
    pixels.size_box = scale.Scale(size_box);
    pixels.caption = scale.Scale(caption);
    pixels.round_corner = scale.Scale(round_corner);
    pixels.min_info = scale.Scale(min_info);
    pixels.max_info = scale.Scale(max_info);
    return pixels;
  }
};

}  // namespace Veneer
