#include "uiframework/win/gdi_render.h"

// GDI+ needs the COM declarations that WIN32_LEAN_AND_MEAN leaves out.
#include <objidl.h>

#include <gdiplus.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "basekit/log/log.h"

namespace Veneer {

namespace {

constexpr const char* kLogSource = "gdi_render";
constexpr const wchar_t kFallbackFace[] = L"\u5fae\u8f6f\u96c5\u9ed1";  // 微软雅黑

COLORREF Rgb(uint32_t argb) { return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF); }

RECT ToRect(const UiRect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

// GDI+ is started on the first effect text and stays up for the process.
bool StartGdiPlus() {
  static bool started = [] {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    const bool ok = Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    if (!ok) BASEKIT_LOG(Failure, "GDI+ could not be started");
    return ok;
  }();
  return started;
}

Gdiplus::Color WithAlpha(uint32_t argb, int alpha) {
  const BYTE a = static_cast<BYTE>(std::clamp(alpha, 0, 255));
  return Gdiplus::Color(a, (argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
}

// A pen for frames and lines; null colour draws nothing.
HPEN MakePen(int width, uint32_t color, int style) {
  LOGBRUSH brush = {BS_SOLID, Rgb(color), 0};
  const DWORD pen_style = PS_GEOMETRIC | static_cast<DWORD>(style & PS_STYLE_MASK) | PS_ENDCAP_FLAT | PS_JOIN_MITER;
  return ExtCreatePen(pen_style, static_cast<DWORD>(std::max(width, 1)), &brush, 0, nullptr);
}

}  // namespace

CGdiRender::CGdiRender() = default;

CGdiRender::~CGdiRender() {
  End();
  ReleaseCaches();
}

void CGdiRender::Begin(HDC dc) {
  End();
  target_ = dc;
  SetBkMode(dc, TRANSPARENT);
  SetStretchBltMode(dc, COLORONCOLOR);
}

void CGdiRender::End() {
  if (target_ == nullptr) return;
  // An unbalanced paint must not leave clip regions behind.
  while (!saved_clips_.empty()) PopClip();
  SelectClipRgn(target_, nullptr);
  target_ = nullptr;
}

void CGdiRender::ReleaseCaches() {
  for (auto& [description, font] : fonts_) DeleteObject(font);
  fonts_.clear();
  font_heights_.clear();
  if (image_dc_ != nullptr) {
    SelectObject(image_dc_, image_dc_default_);
    DeleteDC(image_dc_);
    image_dc_ = nullptr;
  }
  for (auto& [serial, bitmap] : bitmaps_) DeleteObject(bitmap);
  bitmaps_.clear();
  if (fill_bitmap_ != nullptr) {
    DeleteObject(fill_bitmap_);
    fill_bitmap_ = nullptr;
    fill_pixel_ = nullptr;
  }
  if (measure_dc_ != nullptr) {
    DeleteDC(measure_dc_);
    measure_dc_ = nullptr;
  }
}

size_t CGdiRender::HeldObjects() const {
  return fonts_.size() + bitmaps_.size() + (fill_bitmap_ != nullptr ? 1 : 0) + (measure_dc_ != nullptr ? 1 : 0) +
         (image_dc_ != nullptr ? 1 : 0);
}

HDC CGdiRender::MeasureDC() {
  if (measure_dc_ == nullptr) measure_dc_ = CreateCompatibleDC(nullptr);
  return measure_dc_;
}

HDC CGdiRender::ImageDC() {
  if (image_dc_ == nullptr) {
    image_dc_ = CreateCompatibleDC(nullptr);
    if (image_dc_ != nullptr) image_dc_default_ = GetCurrentObject(image_dc_, OBJ_BITMAP);
  }
  return image_dc_;
}

HFONT CGdiRender::Font(const FontDescription& font) {
  auto it = fonts_.find(font);
  if (it != fonts_.end()) return it->second;
  const wchar_t* face = font.face.empty() ? kFallbackFace : font.face.c_str();
  HFONT handle = CreateFontW(font.height, 0, 0, 0, font.weight, font.italic, font.underline, FALSE, font.charset,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, font.quality, DEFAULT_PITCH | FF_DONTCARE, face);
  if (handle == nullptr) {
    BASEKIT_LOG(Failure, "font of height %d could not be created", font.height);
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  }
  fonts_.emplace(font, handle);
  return handle;
}

HBITMAP CGdiRender::Bitmap(const ImageEntry& image) {
  auto it = bitmaps_.find(image.serial);
  if (it != bitmaps_.end()) return it->second;
  if (image.width <= 0 || image.height <= 0 || image.pixels.size() != size_t(image.width) * size_t(image.height)) {
    return nullptr;
  }
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = image.width;
  info.bmiHeader.biHeight = -image.height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr || bits == nullptr) {
    BASEKIT_LOG(Failure, "a %dx%d bitmap could not be created", image.width, image.height);
    if (bitmap != nullptr) DeleteObject(bitmap);
    return nullptr;
  }
  std::memcpy(bits, image.pixels.data(), image.pixels.size() * sizeof(uint32_t));
  bitmaps_.emplace(image.serial, bitmap);
  return bitmap;
}

void CGdiRender::FillRect(const UiRect& rect, uint32_t color) {
  const uint8_t alpha = static_cast<uint8_t>(color >> 24);
  if (target_ == nullptr || rect.IsEmpty() || alpha == 0) return;
  if (alpha == 255) {
    HBRUSH brush = CreateSolidBrush(Rgb(color));
    RECT r = ToRect(rect);
    ::FillRect(target_, &r, brush);
    DeleteObject(brush);
    return;
  }
  // A translucent colour: one premultiplied pixel stretched over the area.
  if (fill_bitmap_ == nullptr) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = 1;
    info.bmiHeader.biHeight = 1;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    fill_bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    fill_pixel_ = static_cast<uint32_t*>(bits);
    if (fill_bitmap_ == nullptr) return;
  }
  const uint32_t r = ((color >> 16) & 0xFF) * alpha / 255;
  const uint32_t g = ((color >> 8) & 0xFF) * alpha / 255;
  const uint32_t b = (color & 0xFF) * alpha / 255;
  GdiFlush();
  *fill_pixel_ = (uint32_t(alpha) << 24) | (r << 16) | (g << 8) | b;
  HDC dc = ImageDC();
  SelectObject(dc, fill_bitmap_);
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  GdiAlphaBlend(target_, rect.left, rect.top, rect.Width(), rect.Height(), dc, 0, 0, 1, 1, blend);
  SelectObject(dc, image_dc_default_);
}

void CGdiRender::GradientRect(const UiRect& rect, uint32_t top, uint32_t bottom, int steps) {
  if (target_ == nullptr || rect.IsEmpty() || steps <= 0) return;
  const int height = rect.Height();
  for (int i = 0; i < steps; ++i) {
    // Band i spans the i-th part of the height and has the colour at its
    // start of the way from top to bottom.
    const int y0 = rect.top + static_cast<int>(static_cast<long long>(height) * i / steps);
    const int y1 = rect.top + static_cast<int>(static_cast<long long>(height) * (i + 1) / steps);
    if (y1 <= y0) continue;
    auto mix = [&](int shift) {
      const int a = (top >> shift) & 0xFF;
      const int b = (bottom >> shift) & 0xFF;
      return static_cast<uint32_t>(steps > 1 ? a + (b - a) * i / (steps - 1) : a);
    };
    const uint32_t color = 0xFF000000u | (mix(16) << 16) | (mix(8) << 8) | mix(0);
    FillRect(UiRect{rect.left, y0, rect.right, y1}, color);
  }
}

void CGdiRender::DrawImage(const ImageEntry& image, const UiRect& dest, const UiRect& source, uint8_t fade,
                           bool blend) {
  if (target_ == nullptr || dest.IsEmpty() || source.IsEmpty()) return;
  HBITMAP bitmap = Bitmap(image);
  HDC dc = ImageDC();
  if (bitmap == nullptr || dc == nullptr) return;
  SelectObject(dc, bitmap);
  const bool same_size = dest.Width() == source.Width() && dest.Height() == source.Height();
  // Opaque pixels at full opacity come out as they are: copied, which is
  // far cheaper than blending (a window background at 200 % is 0.9 million
  // pixels).
  if (blend && !(image.opaque && fade == 255 && same_size)) {
    BLENDFUNCTION function = {AC_SRC_OVER, 0, fade, AC_SRC_ALPHA};
    if (!GdiAlphaBlend(target_, dest.left, dest.top, dest.Width(), dest.Height(), dc, source.left, source.top,
                       source.Width(), source.Height(), function)) {
      BASEKIT_LOG(Failure, "GdiAlphaBlend failed, error %lu", GetLastError());
    }
  } else if (same_size) {
    BitBlt(target_, dest.left, dest.top, dest.Width(), dest.Height(), dc, source.left, source.top, SRCCOPY);
  } else {
    StretchBlt(target_, dest.left, dest.top, dest.Width(), dest.Height(), dc, source.left, source.top, source.Width(),
               source.Height(), SRCCOPY);
  }
  SelectObject(dc, image_dc_default_);
}

void CGdiRender::DrawText(const UiRect& rect, std::wstring_view text, uint32_t color, const FontDescription& font,
                          uint32_t style) {
  if (target_ == nullptr || text.empty() || rect.IsEmpty()) return;
  HGDIOBJ old = SelectObject(target_, Font(font));
  SetTextColor(target_, Rgb(color));
  RECT r = ToRect(rect);
  ::DrawTextW(target_, text.data(), static_cast<int>(text.size()), &r, (style & ~kTextCalcRect) | DT_NOPREFIX);
  SelectObject(target_, old);
}

void CGdiRender::DrawEffectText(const UiRect& rect, std::wstring_view text, const TextEffect& effect,
                                const FontDescription& font, uint32_t style) {
  if (target_ == nullptr || text.empty() || rect.IsEmpty()) return;
  if (!StartGdiPlus()) {
    DrawText(rect, text, effect.color, font, style);
    return;
  }
  Gdiplus::Graphics graphics(target_);
  graphics.SetTextRenderingHint(effect.antialias ? Gdiplus::TextRenderingHintAntiAlias
                                                 : Gdiplus::TextRenderingHintSystemDefault);
  graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  Gdiplus::Font gdip_font(target_, Font(font));
  Gdiplus::StringFormat format;
  format.SetAlignment((style & kTextCenter) != 0  ? Gdiplus::StringAlignmentCenter
                      : (style & kTextRight) != 0 ? Gdiplus::StringAlignmentFar
                                                  : Gdiplus::StringAlignmentNear);
  format.SetLineAlignment((style & kTextVCenter) != 0  ? Gdiplus::StringAlignmentCenter
                          : (style & kTextBottom) != 0 ? Gdiplus::StringAlignmentFar
                                                       : Gdiplus::StringAlignmentNear);
  if ((style & kTextSingleLine) != 0) format.SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap);
  if ((style & kTextEndEllipsis) != 0) format.SetTrimming(Gdiplus::StringTrimmingEllipsisCharacter);
  const Gdiplus::RectF layout(static_cast<Gdiplus::REAL>(rect.left), static_cast<Gdiplus::REAL>(rect.top),
                              static_cast<Gdiplus::REAL>(rect.Width()), static_cast<Gdiplus::REAL>(rect.Height()));
  const std::wstring string(text);
  if (effect.shadow) {
    Gdiplus::RectF shadow = layout;
    shadow.Offset(static_cast<Gdiplus::REAL>(effect.shadow_offset.x),
                  static_cast<Gdiplus::REAL>(effect.shadow_offset.y));
    Gdiplus::LinearGradientBrush brush(shadow, WithAlpha(effect.shadow_color_a, effect.trans_shadow),
                                       WithAlpha(effect.shadow_color_b, effect.trans_shadow1),
                                       static_cast<Gdiplus::REAL>(effect.gradient_angle));
    graphics.DrawString(string.c_str(), static_cast<INT>(string.size()), &gdip_font, shadow, &format, &brush);
  }
  if (effect.stroke) {
    Gdiplus::FontFamily family;
    gdip_font.GetFamily(&family);
    Gdiplus::GraphicsPath path;
    path.AddString(string.c_str(), static_cast<INT>(string.size()), &family, gdip_font.GetStyle(),
                   graphics.GetDpiY() * gdip_font.GetSize() / 72, layout, &format);
    Gdiplus::Pen pen(WithAlpha(effect.stroke_color, effect.trans_stroke), 2);
    graphics.DrawPath(&pen, &path);
  }
  const uint32_t second = effect.color1 != 0 ? effect.color1 : effect.color;
  Gdiplus::RectF gradient = layout;
  if (effect.gradient_length > 0) gradient.Height = static_cast<Gdiplus::REAL>(effect.gradient_length);
  Gdiplus::LinearGradientBrush brush(gradient, WithAlpha(effect.color, effect.trans_text),
                                     WithAlpha(second, effect.trans_text1),
                                     static_cast<Gdiplus::REAL>(effect.gradient_angle));
  graphics.DrawString(string.c_str(), static_cast<INT>(string.size()), &gdip_font, layout, &format, &brush);
}

UiRect CGdiRender::MeasureText(const UiRect& rect, std::wstring_view text, const FontDescription& font,
                               uint32_t style) {
  HDC dc = MeasureDC();
  if (dc == nullptr || text.empty()) return UiRect{rect.left, rect.top, rect.left, rect.top};
  HGDIOBJ old = SelectObject(dc, Font(font));
  RECT r = ToRect(rect);
  ::DrawTextW(dc, text.data(), static_cast<int>(text.size()), &r, style | DT_CALCRECT | DT_NOPREFIX);
  SelectObject(dc, old);
  return UiRect{r.left, r.top, r.right, r.bottom};
}

int CGdiRender::GetFontHeight(const FontDescription& font) {
  auto it = font_heights_.find(font);
  if (it != font_heights_.end()) return it->second;
  HDC dc = MeasureDC();
  TEXTMETRICW metrics = {};
  int height = font.Size();
  if (dc != nullptr) {
    HGDIOBJ old = SelectObject(dc, Font(font));
    if (GetTextMetricsW(dc, &metrics)) height = metrics.tmHeight;
    SelectObject(dc, old);
  }
  font_heights_.emplace(font, height);
  return height;
}

void CGdiRender::DrawBorder(const UiRect& rect, int width, uint32_t color, int style) {
  if (target_ == nullptr || rect.IsEmpty() || width <= 0) return;
  // A solid frame is filled in as four bars, exactly inside the rectangle.
  if ((style & PS_STYLE_MASK) == PS_SOLID) {
    const int w = std::min({width, rect.Width(), rect.Height()});
    const uint32_t opaque = color | 0xFF000000u;
    FillRect(UiRect{rect.left, rect.top, rect.right, rect.top + w}, opaque);
    FillRect(UiRect{rect.left, rect.bottom - w, rect.right, rect.bottom}, opaque);
    FillRect(UiRect{rect.left, rect.top + w, rect.left + w, rect.bottom - w}, opaque);
    FillRect(UiRect{rect.right - w, rect.top + w, rect.right, rect.bottom - w}, opaque);
    return;
  }
  HPEN pen = MakePen(1, color, style);
  HGDIOBJ old_pen = SelectObject(target_, pen);
  HGDIOBJ old_brush = SelectObject(target_, GetStockObject(NULL_BRUSH));
  for (int i = 0; i < width && rect.left + i < rect.right - i && rect.top + i < rect.bottom - i; ++i) {
    Rectangle(target_, rect.left + i, rect.top + i, rect.right - i, rect.bottom - i);
  }
  SelectObject(target_, old_brush);
  SelectObject(target_, old_pen);
  DeleteObject(pen);
}

void CGdiRender::DrawLine(const UiPoint& from, const UiPoint& to, int width, uint32_t color, int style) {
  if (target_ == nullptr) return;
  HPEN pen = MakePen(width, color, style);
  HGDIOBJ old = SelectObject(target_, pen);
  MoveToEx(target_, from.x, from.y, nullptr);
  LineTo(target_, to.x, to.y);
  SelectObject(target_, old);
  DeleteObject(pen);
}

void CGdiRender::DrawRoundBorder(const UiRect& rect, int width, const UiSize& round, uint32_t color, int style) {
  if (target_ == nullptr || rect.IsEmpty() || width <= 0) return;
  HPEN pen = MakePen(width, color, style);
  HGDIOBJ old_pen = SelectObject(target_, pen);
  HGDIOBJ old_brush = SelectObject(target_, GetStockObject(NULL_BRUSH));
  RoundRect(target_, rect.left, rect.top, rect.right, rect.bottom, round.cx, round.cy);
  SelectObject(target_, old_brush);
  SelectObject(target_, old_pen);
  DeleteObject(pen);
}

void CGdiRender::PushRegion(HRGN region) {
  if (target_ == nullptr || region == nullptr) {
    if (region != nullptr) DeleteObject(region);
    saved_clips_.push_back(nullptr);  // keeps pushes and pops paired
    return;
  }
  HRGN saved = CreateRectRgn(0, 0, 0, 0);
  if (GetClipRgn(target_, saved) != 1) {
    DeleteObject(saved);
    saved = nullptr;
  }
  if (saved != nullptr) CombineRgn(region, region, saved, RGN_AND);
  SelectClipRgn(target_, region);
  DeleteObject(region);
  saved_clips_.push_back(saved);
}

void CGdiRender::PushClip(const UiRect& rect) {
  PushRegion(CreateRectRgn(rect.left, rect.top, rect.right, rect.bottom));
}

void CGdiRender::PushRoundClip(const UiRect& rect, const UiSize& round) {
  PushRegion(CreateRoundRectRgn(rect.left, rect.top, rect.right + 1, rect.bottom + 1, round.cx, round.cy));
}

void CGdiRender::PopClip() {
  if (saved_clips_.empty()) return;
  HRGN saved = saved_clips_.back();
  saved_clips_.pop_back();
  if (target_ != nullptr) SelectClipRgn(target_, saved);
  if (saved != nullptr) DeleteObject(saved);
}

}  // namespace Veneer
