#pragma once

// Image descriptors: the value of "bkimage" and of every other image
// attribute. A descriptor is a plain image name, or a list of key='value'
// pairs (file, res, restype, dest, source, corner, mask, fade, hole,
// xtiled, ytiled, hsl) separated by single blanks.
//
// Drawing divides source and destination by the corner widths into a nine
// grid: corners unscaled, edges stretched along their length, the middle
// stretched (or tiled, or left out).
//
// A descriptor's numbers are the skin's: "dest" in 96-DPI units of the
// window, "source" and "corner" in pixels of the image as the skin gives it.
// At another DPI the picture drawn is the image's copy for that DPI, and
// every number is scaled to it: a window at 2.0 draws a corner of 3 as 6
// pixels of a picture twice as large.

#include <cstdint>
#include <string>

#include "uiframework/base/dpi_scale.h"
#include "uiframework/base/geometry.h"

namespace Veneer {

class CResourceTablesUI;
class IRenderUI;
struct ImageEntry;

struct ImageDrawInfo {
  std::wstring text;  // the descriptor as written
  std::wstring name;
  std::wstring resource_type;  // used only for an image named by "res"
  bool from_resource = false;
  bool loaded = false;           // set on the first attempt, successful or not
  int dpi = DpiScale::kBaseDpi;  // the window's DPI when it was loaded
  const ImageEntry* image = nullptr;
  UiRect dest;    // offsets from the control's corner; all 0 = the whole control
  UiRect source;  // all 0 = the whole image
  UiRect corner;  // nine-grid border widths
  uint32_t mask = 0;
  uint8_t fade = 255;
  bool hole = false;
  bool xtiled = false;
  bool ytiled = false;
  bool hsl = false;
  // Set by a control that computes `dest` and `source` itself (never by a
  // descriptor): both are pixels, of the window and of the picture as it
  // is drawn at the window's DPI.
  bool pixel_geometry = false;

  // Parses a new descriptor; keeps everything when the text is unchanged.
  void SetText(const std::wstring& descriptor);
  void Clear() { *this = ImageDrawInfo(); }
  bool IsEmpty() const { return text.empty(); }
};

// Draws a descriptor into `control` (its rectangle), loading the image for
// the window's `scale` from `tables` on first use (and again when the scale
// changed). Pieces that do not meet `paint` are skipped. False when there is
// nothing to draw (no image, or nothing meets the area).
bool DrawImageInfo(IRenderUI& render, CResourceTablesUI* tables, ImageDrawInfo& info, const UiRect& control,
                   const UiRect& paint, const DpiScale& scale = DpiScale());

// The nine-grid blit itself: `source` of `image` into `dest`, cut by the
// corner widths `source_corner` in the picture and `dest_corner` in the
// window (equal when the picture is drawn at its own scale). Tiles of the
// middle are cut at the destination's edge; a tiled middle is drawn only
// where it meets `paint`.
void DrawNineGrid(IRenderUI& render, const ImageEntry& image, const UiRect& dest, const UiRect& paint,
                  const UiRect& source, const UiRect& source_corner, const UiRect& dest_corner, uint8_t fade, bool hole,
                  bool xtiled, bool ytiled);

}  // namespace Veneer
