#include "uiframework/core/image_draw.h"

#include <algorithm>

#include "basekit/log/log.h"
#include "uiframework/base/attribute_values.h"
#include "uiframework/base/text_conv.h"
#include "uiframework/core/render.h"
#include "uiframework/resources/resource_tables.h"

namespace Veneer {

namespace {

constexpr const char* kLogSource = "image_draw";
// Most tiles one tiled middle piece may take; beyond that (a one-pixel
// tile over a large area) the piece is stretched instead.
constexpr long long kMaxTiles = 1 << 16;

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

void ApplyPair(ImageDrawInfo& info, const std::wstring& key, const std::wstring& value) {
  const wchar_t* v = value.c_str();
  if (key == L"file") {
    info.name = value;
    info.from_resource = false;
  } else if (key == L"res") {
    info.name = value;
    info.from_resource = true;
  } else if (key == L"restype") {
    info.resource_type = value;
  } else if (key == L"dest") {
    info.dest = ParseRect(v);
  } else if (key == L"source") {
    info.source = ParseRect(v);
  } else if (key == L"corner") {
    info.corner = ParseRect(v);
  } else if (key == L"mask") {
    info.mask = ParseColor(v);
  } else if (key == L"fade") {
    info.fade = static_cast<uint8_t>(std::clamp(ParseDecimal(v), 0, 255));
  } else if (key == L"hole") {
    info.hole = ParseBool(v);
  } else if (key == L"xtiled") {
    info.xtiled = ParseBool(v);
  } else if (key == L"ytiled") {
    info.ytiled = ParseBool(v);
  } else if (key == L"hsl") {
    info.hsl = ParseBool(v);
  }
}

// Draws one piece when it is not empty and meets the area being painted.
void DrawPiece(IRenderUI& render, const ImageEntry& image, const UiRect& dest, const UiRect& source,
               const UiRect& paint, uint8_t fade, bool blend) {
  if (dest.IsEmpty() || source.IsEmpty() || !dest.Intersects(paint)) return;
  render.DrawImage(image, dest, source, fade, blend);
}

// The middle piece repeated at its own size along the tiled axes; the last
// tile of a row or column is cut, not scaled.
void DrawTiled(IRenderUI& render, const ImageEntry& image, const UiRect& dest, const UiRect& source,
               const UiRect& paint, uint8_t fade, bool blend, bool xtiled, bool ytiled) {
  const int tile_w = xtiled ? source.Width() : dest.Width();
  const int tile_h = ytiled ? source.Height() : dest.Height();
  const UiRect area = dest.Intersect(paint);
  if (tile_w <= 0 || tile_h <= 0 || area.IsEmpty()) return;
  const long long first_col = (static_cast<long long>(area.left) - dest.left) / tile_w;
  const long long first_row = (static_cast<long long>(area.top) - dest.top) / tile_h;
  const long long cols = (static_cast<long long>(area.right) - dest.left + tile_w - 1) / tile_w - first_col;
  const long long rows = (static_cast<long long>(area.bottom) - dest.top + tile_h - 1) / tile_h - first_row;
  if (cols * rows > kMaxTiles) {
    DrawPiece(render, image, dest, source, paint, fade, blend);
    return;
  }
  for (long long row = first_row; row < first_row + rows; ++row) {
    const int top = ClampToInt(dest.top + row * tile_h);
    const int bottom = std::min(SatAdd(top, tile_h), dest.bottom);
    for (long long col = first_col; col < first_col + cols; ++col) {
      const int left = ClampToInt(dest.left + col * tile_w);
      const int right = std::min(SatAdd(left, tile_w), dest.right);
      UiRect src = source;
      if (xtiled) src.right = SatAdd(src.left, right - left);
      if (ytiled) src.bottom = SatAdd(src.top, bottom - top);
      DrawPiece(render, image, UiRect{left, top, right, bottom}, src, paint, fade, blend);
    }
  }
}

}  // namespace

void ImageDrawInfo::SetText(const std::wstring& descriptor) {
  if (descriptor == text && !text.empty()) return;
  Clear();
  text = descriptor;
  name = descriptor;  // a plain name unless pairs follow
  const wchar_t* p = text.c_str();
  for (;;) {
    while (IsBlank(*p)) ++p;
    const wchar_t* key_start = p;
    while (*p != L'\0' && *p != L'=' && !IsBlank(*p)) ++p;
    std::wstring key(key_start, p);
    while (IsBlank(*p)) ++p;
    if (*p != L'=') break;
    ++p;
    while (IsBlank(*p)) ++p;
    if (*p != L'\'') break;
    const wchar_t* value_start = ++p;
    while (*p != L'\0' && *p != L'\'') ++p;
    if (*p != L'\'') break;
    std::wstring value(value_start, p);
    ++p;
    if (!value.empty()) ApplyPair(*this, key, value);
    if (!IsBlank(*p)) break;
  }
}

void DrawNineGrid(IRenderUI& render, const ImageEntry& image, const UiRect& dest, const UiRect& paint,
                  const UiRect& source, const UiRect& source_corner, const UiRect& dest_corner, uint8_t fade, bool hole,
                  bool xtiled, bool ytiled) {
  const bool blend = image.alpha || fade < 255;
  const UiRect& s = source;
  const UiRect& d = dest;
  const UiRect& c = source_corner;
  const UiRect& e = dest_corner;
  // Inner edges of the grid in source and destination.
  const int sl = SatAdd(s.left, c.left), st = SatAdd(s.top, c.top);
  const int sr = SatSub(s.right, c.right), sb = SatSub(s.bottom, c.bottom);
  const int dl = SatAdd(d.left, e.left), dt = SatAdd(d.top, e.top);
  const int dr = SatSub(d.right, e.right), db = SatSub(d.bottom, e.bottom);

  if (!hole) {
    const UiRect mid_dest{dl, dt, dr, db};
    const UiRect mid_source{sl, st, sr, sb};
    if (xtiled || ytiled) {
      DrawTiled(render, image, mid_dest, mid_source, paint, fade, blend, xtiled, ytiled);
    } else {
      DrawPiece(render, image, mid_dest, mid_source, paint, fade, blend);
    }
  }
  // Edges, stretched along their length.
  DrawPiece(render, image, {d.left, dt, dl, db}, {s.left, st, sl, sb}, paint, fade, blend);
  DrawPiece(render, image, {dl, d.top, dr, dt}, {sl, s.top, sr, st}, paint, fade, blend);
  DrawPiece(render, image, {dr, dt, d.right, db}, {sr, st, s.right, sb}, paint, fade, blend);
  DrawPiece(render, image, {dl, db, dr, d.bottom}, {sl, sb, sr, s.bottom}, paint, fade, blend);
  // Corners, unscaled.
  DrawPiece(render, image, {d.left, d.top, dl, dt}, {s.left, s.top, sl, st}, paint, fade, blend);
  DrawPiece(render, image, {dr, d.top, d.right, dt}, {sr, s.top, s.right, st}, paint, fade, blend);
  DrawPiece(render, image, {d.left, db, dl, d.bottom}, {s.left, sb, sl, s.bottom}, paint, fade, blend);
  DrawPiece(render, image, {dr, db, d.right, d.bottom}, {sr, sb, s.right, s.bottom}, paint, fade, blend);
}

bool DrawImageInfo(IRenderUI& render, CResourceTablesUI* tables, ImageDrawInfo& info, const UiRect& control,
                   const UiRect& paint, const DpiScale& scale) {
  if (info.name.empty()) return false;
  if (!info.loaded || info.dpi != scale.Dpi()) {
    info.loaded = true;
    info.dpi = scale.Dpi();
    info.image = nullptr;
    if (tables != nullptr) {
      const wchar_t* type = info.from_resource && !info.resource_type.empty() ? info.resource_type.c_str() : nullptr;
      info.image = tables->GetImageForDpi(info.name.c_str(), type, info.mask, info.hsl, scale.Dpi());
    }
    if (info.image == nullptr) {
      BASEKIT_LOG(Lookup, "image %s not available; not drawn", ToLogText(info.name.c_str()).c_str());
    }
  }
  if (info.image == nullptr) return false;
  const ImageEntry& image = *info.image;
  // The picture's own scale: the window's, or 96 DPI for an image that had
  // to be drawn stretched (no copy could be made for the window's DPI).
  const DpiScale picture(image.dpi);

  UiRect dest = control;
  if (!info.dest.IsZero()) {
    const UiRect offsets = info.pixel_geometry ? info.dest : scale.Scale(info.dest);
    dest.left = SatAdd(control.left, offsets.left);
    dest.top = SatAdd(control.top, offsets.top);
    dest.right = std::min(SatAdd(control.left, offsets.right), control.right);
    dest.bottom = std::min(SatAdd(control.top, offsets.bottom), control.bottom);
  }
  if (!dest.Intersects(control) || !dest.Intersects(paint)) return false;

  UiRect source = info.source;
  if (source.IsZero()) {
    source = UiRect{0, 0, image.width, image.height};
  } else if (!info.pixel_geometry) {
    source = picture.Scale(source);
  } else if (!(picture == scale)) {
    source = picture.Scale(scale.Unscale(source));
  }
  source = UiRect{std::clamp(source.left, 0, image.width), std::clamp(source.top, 0, image.height),
                  std::clamp(source.right, 0, image.width), std::clamp(source.bottom, 0, image.height)};
  if (source.IsEmpty()) return false;

  DrawNineGrid(render, image, dest, paint, source, picture.Scale(info.corner), scale.Scale(info.corner), info.fade,
               info.hole, info.xtiled, info.ytiled);
  return true;
}

}  // namespace Veneer
