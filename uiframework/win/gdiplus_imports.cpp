// GDI+ without importing it. Windows does not always take gdiplus.dll from
// the system folder, so the program does not import it: the GDI+ classes
// call the functions defined here, which take the real ones from the system
// folder's gdiplus.dll on first use. A function that cannot be had is logged
// once and answers GenericError (GdipAlloc: no memory); GdiplusStartup
// failing that way makes the renderer draw effect text as plain text.
//
// A GDI+ call new to the program needs its line here: the link fails
// without it, as nothing else provides the function.

// GDI+ needs the COM declarations that WIN32_LEAN_AND_MEAN leaves out.
#include <windows.h>
#include <objidl.h>

#include <gdiplus.h>

#include "basekit/win/system_library.h"

namespace Gdiplus {

namespace {

const basekit::SystemLibrary& Library() {
  static const basekit::SystemLibrary library(L"gdiplus.dll");
  return library;
}

}  // namespace

// Defines `name` to call the function of that name in the system's GDI+.
#define VENEER_GDIPLUS_FORWARD(name, parameters, arguments)             \
  GpStatus WINGDIPAPI name parameters {                                 \
    static const auto function = Library().Get<decltype(&name)>(#name); \
    return function != nullptr ? function arguments : GenericError;     \
  }

extern "C" {
VENEER_GDIPLUS_FORWARD(GdiplusStartup,
                       (ULONG_PTR * token, const GdiplusStartupInput* input, GdiplusStartupOutput* output),
                       (token, input, output))
}  // extern "C"

namespace DllExports {
extern "C" {

VOID* WINGDIPAPI GdipAlloc(size_t size) {
  static const auto function = Library().Get<decltype(&GdipAlloc)>("GdipAlloc");
  return function != nullptr ? function(size) : nullptr;
}

VOID WINGDIPAPI GdipFree(VOID* memory) {
  static const auto function = Library().Get<decltype(&GdipFree)>("GdipFree");
  if (function != nullptr) function(memory);
}

VENEER_GDIPLUS_FORWARD(GdipCreateFromHDC, (HDC dc, GpGraphics** graphics), (dc, graphics))
VENEER_GDIPLUS_FORWARD(GdipDeleteGraphics, (GpGraphics * graphics), (graphics))
VENEER_GDIPLUS_FORWARD(GdipSetTextRenderingHint, (GpGraphics * graphics, TextRenderingHint hint), (graphics, hint))
VENEER_GDIPLUS_FORWARD(GdipSetSmoothingMode, (GpGraphics * graphics, SmoothingMode mode), (graphics, mode))
VENEER_GDIPLUS_FORWARD(GdipGetDpiY, (GpGraphics * graphics, REAL* dpi), (graphics, dpi))

VENEER_GDIPLUS_FORWARD(GdipCreateFontFromDC, (HDC dc, GpFont** font), (dc, font))
VENEER_GDIPLUS_FORWARD(GdipCreateFontFromLogfontA, (HDC dc, const LOGFONTA* logfont, GpFont** font),
                       (dc, logfont, font))
VENEER_GDIPLUS_FORWARD(GdipDeleteFont, (GpFont * font), (font))
VENEER_GDIPLUS_FORWARD(GdipGetFamily, (GpFont * font, GpFontFamily** family), (font, family))
VENEER_GDIPLUS_FORWARD(GdipGetFontSize, (GpFont * font, REAL* size), (font, size))
VENEER_GDIPLUS_FORWARD(GdipGetFontStyle, (GpFont * font, INT* style), (font, style))
VENEER_GDIPLUS_FORWARD(GdipDeleteFontFamily, (GpFontFamily * family), (family))

VENEER_GDIPLUS_FORWARD(GdipCreateStringFormat, (INT flags, LANGID language, GpStringFormat** format),
                       (flags, language, format))
VENEER_GDIPLUS_FORWARD(GdipDeleteStringFormat, (GpStringFormat * format), (format))
VENEER_GDIPLUS_FORWARD(GdipSetStringFormatAlign, (GpStringFormat * format, StringAlignment align), (format, align))
VENEER_GDIPLUS_FORWARD(GdipSetStringFormatLineAlign, (GpStringFormat * format, StringAlignment align), (format, align))
VENEER_GDIPLUS_FORWARD(GdipSetStringFormatFlags, (GpStringFormat * format, INT flags), (format, flags))
VENEER_GDIPLUS_FORWARD(GdipSetStringFormatTrimming, (GpStringFormat * format, StringTrimming trimming),
                       (format, trimming))

VENEER_GDIPLUS_FORWARD(GdipCreateLineBrushFromRectWithAngle,
                       (const GpRectF* rect, ARGB color1, ARGB color2, REAL angle, BOOL scalable, GpWrapMode wrap,
                        GpLineGradient** brush),
                       (rect, color1, color2, angle, scalable, wrap, brush))
VENEER_GDIPLUS_FORWARD(GdipCloneBrush, (GpBrush * brush, GpBrush** clone), (brush, clone))
VENEER_GDIPLUS_FORWARD(GdipDeleteBrush, (GpBrush * brush), (brush))
VENEER_GDIPLUS_FORWARD(GdipCreatePen1, (ARGB color, REAL width, GpUnit unit, GpPen** pen), (color, width, unit, pen))
VENEER_GDIPLUS_FORWARD(GdipDeletePen, (GpPen * pen), (pen))

VENEER_GDIPLUS_FORWARD(GdipCreatePath, (GpFillMode fill, GpPath** path), (fill, path))
VENEER_GDIPLUS_FORWARD(GdipDeletePath, (GpPath * path), (path))
VENEER_GDIPLUS_FORWARD(GdipAddPathString,
                       (GpPath * path, const WCHAR* text, INT length, const GpFontFamily* family, INT style, REAL size,
                        const RectF* layout, const GpStringFormat* format),
                       (path, text, length, family, style, size, layout, format))

VENEER_GDIPLUS_FORWARD(GdipDrawString,
                       (GpGraphics * graphics, const WCHAR* text, INT length, const GpFont* font, const RectF* layout,
                        const GpStringFormat* format, const GpBrush* brush),
                       (graphics, text, length, font, layout, format, brush))
VENEER_GDIPLUS_FORWARD(GdipDrawPath, (GpGraphics * graphics, GpPen* pen, GpPath* path), (graphics, pen, path))

}  // extern "C"
}  // namespace DllExports

#undef VENEER_GDIPLUS_FORWARD

}  // namespace Gdiplus
