#include "uiframework/testing/recording_render.h"

#include <algorithm>

namespace Veneer {

CRecordingRender::CRecordingRender(const UiRect& surface) { clips_.push_back(surface); }

RenderCall& CRecordingRender::Record(RenderCall::Op op) {
  ++count_;
  if (!recording_) {
    scratch_ = RenderCall();
    return scratch_;
  }
  RenderCall& call = calls_.emplace_back();
  call.op = op;
  call.clip = clips_.back();
  return call;
}

void CRecordingRender::FillRect(const UiRect& rect, uint32_t color) {
  RenderCall& call = Record(RenderCall::kFill);
  call.rect = rect;
  call.color = color;
}

void CRecordingRender::GradientRect(const UiRect& rect, uint32_t top, uint32_t bottom, int steps) {
  RenderCall& call = Record(RenderCall::kGradient);
  call.rect = rect;
  call.color = top;
  call.color2 = bottom;
  call.steps = steps;
}

void CRecordingRender::DrawImage(const ImageEntry& image, const UiRect& dest, const UiRect& source, uint8_t fade,
                                 bool blend) {
  RenderCall& call = Record(RenderCall::kImage);
  call.rect = dest;
  call.source = source;
  call.fade = fade;
  call.blend = blend;
  call.image_serial = image.serial;
  call.image_width = image.width;
  call.image_height = image.height;
}

void CRecordingRender::DrawText(const UiRect& rect, std::wstring_view text, uint32_t color, const FontDescription& font,
                                uint32_t style) {
  RenderCall& call = Record(RenderCall::kText);
  call.rect = rect;
  if (recording_) call.text.assign(text);
  call.color = color;
  call.font = font;
  call.style = static_cast<int>(style);
}

int CRecordingRender::CharWidth(wchar_t ch, const FontDescription& font) {
  const int size = font.Size();
  return ch < 0x80 ? (size + 1) / 2 : size;
}

UiRect CRecordingRender::MeasureText(const UiRect& rect, std::wstring_view text, const FontDescription& font,
                                     uint32_t style) {
  const int line_height = GetFontHeight(font);
  const bool wrap = (style & kTextWordBreak) != 0 && (style & kTextSingleLine) == 0;
  const long long limit = std::max(rect.Width(), 1);
  long long width = 0;
  long long line = 0;
  long long lines = 1;
  for (wchar_t ch : text) {
    if (ch == L'\n' && (style & kTextSingleLine) == 0) {
      ++lines;
      line = 0;
      continue;
    }
    const int w = CharWidth(ch, font);
    if (wrap && line > 0 && line + w > limit) {
      ++lines;
      line = 0;
    }
    line += w;
    width = std::max(width, line);
  }
  return UiRect{rect.left, rect.top, ClampToInt(rect.left + width), ClampToInt(rect.top + lines * line_height)};
}

int CRecordingRender::GetFontHeight(const FontDescription& font) { return font.Size(); }

void CRecordingRender::DrawBorder(const UiRect& rect, int width, uint32_t color, int style) {
  RenderCall& call = Record(RenderCall::kBorder);
  call.rect = rect;
  call.width = width;
  call.color = color;
  call.style = style;
}

void CRecordingRender::DrawLine(const UiPoint& from, const UiPoint& to, int width, uint32_t color, int style) {
  RenderCall& call = Record(RenderCall::kLine);
  call.from = from;
  call.to = to;
  call.width = width;
  call.color = color;
  call.style = style;
}

void CRecordingRender::DrawRoundBorder(const UiRect& rect, int width, const UiSize& round, uint32_t color, int style) {
  RenderCall& call = Record(RenderCall::kRoundBorder);
  call.rect = rect;
  call.width = width;
  call.round = round;
  call.color = color;
  call.style = style;
}

void CRecordingRender::PushClip(const UiRect& rect) {
  RenderCall& call = Record(RenderCall::kPushClip);
  call.rect = rect;
  clips_.push_back(clips_.back().Intersect(rect));
}

void CRecordingRender::PushRoundClip(const UiRect& rect, const UiSize& round) {
  RenderCall& call = Record(RenderCall::kPushRoundClip);
  call.rect = rect;
  call.round = round;
  clips_.push_back(clips_.back().Intersect(rect));
}

void CRecordingRender::PopClip() {
  Record(RenderCall::kPopClip);
  if (clips_.size() > 1) {
    clips_.pop_back();
  } else {
    ++underflows_;
  }
}

}  // namespace Veneer
