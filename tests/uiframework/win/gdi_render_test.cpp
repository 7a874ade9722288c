// The renderer's platform libraries, drawn for real into a memory bitmap
// (under Wine in CI). GDI+ is not imported but taken from the system folder
// on first use (uiframework/win/gdiplus_imports.cpp).

#include "uiframework/win/gdi_render.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "basekit/win/system_library.h"

namespace Veneer {
namespace {

constexpr int kWidth = 240;
constexpr int kHeight = 60;
constexpr uint32_t kWhite = 0x00FFFFFF;

class MemoryCanvas {
 public:
  MemoryCanvas() {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = -kHeight;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    pixels_ = static_cast<uint32_t*>(bits);
    dc_ = CreateCompatibleDC(nullptr);
    old_ = SelectObject(dc_, bitmap_);
    std::fill(pixels_, pixels_ + kWidth * kHeight, kWhite);
  }
  ~MemoryCanvas() {
    SelectObject(dc_, old_);
    DeleteDC(dc_);
    DeleteObject(bitmap_);
  }
  HDC dc() const { return dc_; }
  // Counts the pixels (as 0xRRGGBB) for which `test` holds.
  template <typename Test>
  int Count(Test test) const {
    GdiFlush();
    return static_cast<int>(
        std::count_if(pixels_, pixels_ + kWidth * kHeight, [&](uint32_t p) { return test(p & 0xFFFFFF); }));
  }

 private:
  HBITMAP bitmap_ = nullptr;
  uint32_t* pixels_ = nullptr;
  HDC dc_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

int Red(uint32_t p) { return (p >> 16) & 0xFF; }
int Blue(uint32_t p) { return p & 0xFF; }

// A red stroke around navy text: only GDI+ draws the stroke; the plain
// text GDI falls back to without GDI+ would hold no red at all.
TEST(GdiRender, EffectTextIsDrawnWithTheSystemFoldersGdiPlus) {
  MemoryCanvas canvas;
  {
    CGdiRender render;
    render.Begin(canvas.dc());
    TextEffect effect;
    effect.color = 0xFF000080;
    effect.stroke = true;
    effect.stroke_color = 0xFFC00000;
    FontDescription font;
    font.face = L"Tahoma";
    font.height = -28;
    font.weight = 700;
    render.DrawEffectText(UiRect{0, 0, kWidth, kHeight}, L"Effect", effect, font, kTextSingleLine | kTextVCenter);
    render.End();
  }
  EXPECT_GT(canvas.Count([](uint32_t p) { return p != kWhite; }), 50) << "nothing drawn";
  EXPECT_GT(canvas.Count([](uint32_t p) { return Red(p) > Blue(p) + 60; }), 10) << "no stroke: GDI+ did not draw";

  HMODULE gdiplus = GetModuleHandleW(L"gdiplus.dll");
  ASSERT_NE(gdiplus, nullptr);
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(gdiplus, path, MAX_PATH);
  const std::wstring folder = std::wstring(path).substr(0, std::wstring(path).rfind(L'\\'));
  EXPECT_EQ(CompareStringOrdinal(folder.c_str(), -1, basekit::SystemFolder().c_str(), -1, TRUE), CSTR_EQUAL);
}

}  // namespace
}  // namespace Veneer
