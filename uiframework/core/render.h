#pragma once

// The drawing surface controls paint through. Controls never call a
// platform API: everything they draw goes through one IRenderUI, which the
// window binding implements with the platform's graphics and tests with a
// recorder.
//
// Contract:
// - Coordinates are window client pixels, origin at the top-left corner.
//   Rectangles are half-open: [left, right) x [top, bottom). An empty or
//   inverted rectangle draws nothing.
// - Colours are 32-bit 0xAARRGGBB values. FillRect blends with the colour's
//   alpha (0 draws nothing, 255 is opaque). Text ignores the alpha byte.
// - Everything is clipped to the current clip: the intersection of the
//   pushed clips, initially the whole target. Every PushClip/PushRoundClip
//   is matched by one PopClip before the paint ends.
// - Images are ImageEntry records owned by the window's resource tables:
//   32-bit premultiplied pixels (bytes blue, green, red, alpha), top row
//   first. The backend may cache platform objects for them keyed by
//   ImageEntry::serial, never by address, and keeps no pointer to an entry
//   beyond the call.
// - Fonts are FontDescription values; the backend makes and caches the
//   platform fonts. Metrics come from the backend too.
// - Calls are made on the UI thread, between the binding's start and end of
//   a paint, except the metric calls, which may come at any time (layout).

#include <cstdint>
#include <string_view>

#include "uiframework/base/geometry.h"
#include "uiframework/resources/image_loader.h"
#include "uiframework/resources/resource_tables.h"

namespace Veneer {

// Text style flags (the values of the platform's text-drawing flags).
enum UITextStyle : uint32_t {
  kTextLeft = 0x0000,
  kTextCenter = 0x0001,
  kTextRight = 0x0002,
  kTextVCenter = 0x0004,
  kTextBottom = 0x0008,
  kTextWordBreak = 0x0010,
  kTextSingleLine = 0x0020,
  kTextCalcRect = 0x0400,  // measure only
  kTextEndEllipsis = 0x8000,
};

// Text drawn with effects (a label's "enabledeffect"): shadow, outline,
// a two-colour gradient and transparency. Backends without effect drawing
// draw the text plainly in `color`.
struct TextEffect {
  uint32_t color = 0;   // the text colour
  uint32_t color1 = 0;  // the gradient's second colour ("textcolor1")
  int gradient_angle = 0;
  int gradient_length = 0;
  bool antialias = true;  // "rhaa"
  bool shadow = false;
  UiPoint shadow_offset;
  uint32_t shadow_color_a = 0;
  uint32_t shadow_color_b = 0;
  bool stroke = false;
  uint32_t stroke_color = 0;
  int trans_shadow = 255;  // opacities 0-255
  int trans_shadow1 = 255;
  int trans_text = 255;
  int trans_text1 = 255;
  int trans_stroke = 255;
};

class IRenderUI {
 public:
  virtual ~IRenderUI() = default;

  // Fills `rect` with `color`, blended by its alpha.
  virtual void FillRect(const UiRect& rect, uint32_t color) = 0;
  // A vertical gradient from `top` to `bottom` in `steps` equal bands,
  // opaque.
  virtual void GradientRect(const UiRect& rect, uint32_t top, uint32_t bottom, int steps) = 0;
  // Draws the `source` part of `image` scaled into `dest`. With `blend` the
  // pixels are composed by their alpha and `fade` (0-255) as a constant
  // opacity on top; without it they are copied.
  virtual void DrawImage(const ImageEntry& image, const UiRect& dest, const UiRect& source, uint8_t fade,
                         bool blend) = 0;
  // Draws `text` in `rect` with the font, the colour's red, green and blue,
  // and the style flags.
  virtual void DrawText(const UiRect& rect, std::wstring_view text, uint32_t color, const FontDescription& font,
                        uint32_t style) = 0;
  // Draws text with effects; the default draws it plainly.
  virtual void DrawEffectText(const UiRect& rect, std::wstring_view text, const TextEffect& effect,
                              const FontDescription& font, uint32_t style) {
    DrawText(rect, text, effect.color, font, style);
  }
  // The rectangle the text needs when drawn from rect's top-left corner
  // within rect's width (word breaks honoured), as the platform measures it.
  virtual UiRect MeasureText(const UiRect& rect, std::wstring_view text, const FontDescription& font,
                             uint32_t style) = 0;
  // The font's character cell height in pixels.
  virtual int GetFontHeight(const FontDescription& font) = 0;
  // A frame `width` pixels wide inside `rect`; `style` is the platform's pen
  // style (0 = solid).
  virtual void DrawBorder(const UiRect& rect, int width, uint32_t color, int style) = 0;
  // A line from (x0, y0) to (x1, y1), `width` pixels wide.
  virtual void DrawLine(const UiPoint& from, const UiPoint& to, int width, uint32_t color, int style) = 0;
  // A rounded frame with corner ellipse `round`.
  virtual void DrawRoundBorder(const UiRect& rect, int width, const UiSize& round, uint32_t color, int style) = 0;
  virtual void PushClip(const UiRect& rect) = 0;
  virtual void PushRoundClip(const UiRect& rect, const UiSize& round) = 0;
  virtual void PopClip() = 0;
};

}  // namespace Veneer
