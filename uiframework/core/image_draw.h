#pragma once

// Image descriptors: the value of "bkimage" and of every other image
// attribute. A descriptor is a plain image name, or a list of key='value'
// pairs (file, res, restype, dest, source, corner, mask, fade, hole,
// xtiled, ytiled, hsl) separated by single blanks.
//
// Drawing divides source and destination by the corner widths into a nine
// grid: corners unscaled, edges stretched along their length, the middle
// stretched (or tiled, or left out).

#include <cstdint>
#include <string>

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
  bool loaded = false;  // set on the first attempt, successful or not
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

  // Parses a new descriptor; keeps everything when the text is unchanged.
  void SetText(const std::wstring& descriptor);
  void Clear() { *this = ImageDrawInfo(); }
  bool IsEmpty() const { return text.empty(); }
};

// Draws a descriptor into `control` (its rectangle), loading the image from
// `tables` on first use. Pieces that do not meet `paint` are skipped. False
// when there is nothing to draw (no image, or nothing meets the area).
bool DrawImageInfo(IRenderUI& render, CResourceTablesUI* tables, ImageDrawInfo& info, const UiRect& control,
                   const UiRect& paint);

// The nine-grid blit itself: `source` of `image` into `dest` by `corner`.
// Tiles of the middle are cut at the destination's edge; a tiled middle is
// drawn only where it meets `paint`.
void DrawNineGrid(IRenderUI& render, const ImageEntry& image, const UiRect& dest, const UiRect& paint,
                  const UiRect& source, const UiRect& corner, uint8_t fade, bool hole, bool xtiled, bool ytiled);

}  // namespace Veneer
