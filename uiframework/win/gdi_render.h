#pragma once

// The render interface on GDI. A window's binding owns one: fonts, image
// bitmaps and two memory DCs are created on first use and kept until
// ReleaseCaches (the window's destruction) or the renderer goes. Between
// Begin and End every call draws into the target DC; metrics work at any
// time.
//
// Images become 32-bit top-down DIB sections holding the loader's
// premultiplied pixels, drawn with GdiAlphaBlend (per-pixel alpha and the
// fade as constant alpha; gdi32's own export, which AlphaBlend of msimg32,
// a DLL the program does not load, merely forwards to) or copied with
// StretchBlt (BitBlt at their own size, also an opaque image blended at
// full opacity: the same pixels). Text is drawn with DrawTextW (never with prefix characters),
// in the colour's red, green and blue; effects use GDI+ (taken from the
// system folder at run time, gdiplus_imports.cpp).
//
// Thread affinity: UI thread only.

#include <windows.h>

#include <map>
#include <vector>

#include "uiframework/core/render.h"

namespace Veneer {

class CGdiRender : public IRenderUI {
 public:
  CGdiRender();
  CGdiRender(const CGdiRender&) = delete;
  CGdiRender& operator=(const CGdiRender&) = delete;
  ~CGdiRender() override;

  // Draws into `dc` (whose origin is the window's client origin) until End.
  void Begin(HDC dc);
  void End();
  // Frees every cached font, bitmap and DC.
  void ReleaseCaches();
  // GDI objects held now (fonts, bitmaps, DCs): for leak checks.
  size_t HeldObjects() const;

  void FillRect(const UiRect& rect, uint32_t color) override;
  void GradientRect(const UiRect& rect, uint32_t top, uint32_t bottom, int steps) override;
  void DrawImage(const ImageEntry& image, const UiRect& dest, const UiRect& source, uint8_t fade, bool blend) override;
  void DrawText(const UiRect& rect, std::wstring_view text, uint32_t color, const FontDescription& font,
                uint32_t style) override;
  void DrawEffectText(const UiRect& rect, std::wstring_view text, const TextEffect& effect, const FontDescription& font,
                      uint32_t style) override;
  UiRect MeasureText(const UiRect& rect, std::wstring_view text, const FontDescription& font, uint32_t style) override;
  int GetFontHeight(const FontDescription& font) override;
  void DrawBorder(const UiRect& rect, int width, uint32_t color, int style) override;
  void DrawLine(const UiPoint& from, const UiPoint& to, int width, uint32_t color, int style) override;
  void DrawRoundBorder(const UiRect& rect, int width, const UiSize& round, uint32_t color, int style) override;
  void PushClip(const UiRect& rect) override;
  void PushRoundClip(const UiRect& rect, const UiSize& round) override;
  void PopClip() override;

 private:
  HFONT Font(const FontDescription& font);
  HBITMAP Bitmap(const ImageEntry& image);
  HDC MeasureDC();
  HDC ImageDC();
  void PushRegion(HRGN region);

  HDC target_ = nullptr;
  HDC measure_dc_ = nullptr;
  HDC image_dc_ = nullptr;
  HGDIOBJ image_dc_default_ = nullptr;
  HBITMAP fill_bitmap_ = nullptr;  // one pixel, for translucent fills
  uint32_t* fill_pixel_ = nullptr;
  std::map<FontDescription, HFONT> fonts_;
  std::map<FontDescription, int> font_heights_;
  std::map<uint64_t, HBITMAP> bitmaps_;
  std::vector<HRGN> saved_clips_;  // the clip before each push; null = none
};

}  // namespace Veneer
