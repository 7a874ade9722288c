#pragma once

// A render backend that draws nothing and records every call in order,
// with deterministic font metrics: a character is as high as the font's
// size, an ASCII character half as wide and any other character as wide.
// Tests, the fuzzer and the benchmarks paint into it.
//
// Thread affinity: one thread at a time.

#include <string>
#include <vector>

#include "uiframework/core/render.h"

namespace Veneer {

struct RenderCall {
  enum Op { kFill, kGradient, kImage, kText, kBorder, kLine, kRoundBorder, kPushClip, kPushRoundClip, kPopClip };
  Op op = kFill;
  UiRect rect;    // destination, text rectangle, frame or clip
  UiRect source;  // images
  UiRect clip;    // the current clip when the call was made
  uint32_t color = 0;
  uint32_t color2 = 0;  // gradients: the bottom colour
  int steps = 0;        // gradients
  int width = 0;        // frames and lines
  int style = 0;        // pen style, or text style flags
  uint8_t fade = 255;
  bool blend = false;
  uint64_t image_serial = 0;
  int image_width = 0;
  int image_height = 0;
  std::wstring text;
  FontDescription font;
  UiSize round;
  UiPoint from;
  UiPoint to;
};

class CRecordingRender : public IRenderUI {
 public:
  // `surface` is the initial clip (the window's client area).
  explicit CRecordingRender(const UiRect& surface = UiRect{0, 0, 1 << 20, 1 << 20});

  void FillRect(const UiRect& rect, uint32_t color) override;
  void GradientRect(const UiRect& rect, uint32_t top, uint32_t bottom, int steps) override;
  void DrawImage(const ImageEntry& image, const UiRect& dest, const UiRect& source, uint8_t fade, bool blend) override;
  void DrawText(const UiRect& rect, std::wstring_view text, uint32_t color, const FontDescription& font,
                uint32_t style) override;
  UiRect MeasureText(const UiRect& rect, std::wstring_view text, const FontDescription& font, uint32_t style) override;
  int GetFontHeight(const FontDescription& font) override;
  void DrawBorder(const UiRect& rect, int width, uint32_t color, int style) override;
  void DrawLine(const UiPoint& from, const UiPoint& to, int width, uint32_t color, int style) override;
  void DrawRoundBorder(const UiRect& rect, int width, const UiSize& round, uint32_t color, int style) override;
  void PushClip(const UiRect& rect) override;
  void PushRoundClip(const UiRect& rect, const UiSize& round) override;
  void PopClip() override;

  const std::vector<RenderCall>& Calls() const { return calls_; }
  void Clear() { calls_.clear(); }
  // Pushed clips not popped yet (0 after a balanced paint).
  int ClipDepth() const { return static_cast<int>(clips_.size()) - 1; }
  // Pops without a push (always 0 after a correct paint).
  int Underflows() const { return underflows_; }
  // With recording off only the clip stack is kept (benchmarks).
  void SetRecording(bool recording) { recording_ = recording; }
  size_t CallCount() const { return count_; }

  // The deterministic metrics, for tests that compute expectations.
  static int CharWidth(wchar_t ch, const FontDescription& font);

 private:
  RenderCall& Record(RenderCall::Op op);

  std::vector<RenderCall> calls_;
  std::vector<UiRect> clips_;
  RenderCall scratch_;
  bool recording_ = true;
  size_t count_ = 0;
  int underflows_ = 0;
};

}  // namespace Veneer
