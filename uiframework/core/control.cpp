#include "uiframework/core/control.h"

#include <cmath>
#include <cwchar>

#include "basekit/log/log.h"
#include "uiframework/base/attribute_values.h"
#include "uiframework/base/text_conv.h"
#include "uiframework/core/paint_host.h"
#include "uiframework/core/render.h"

namespace Veneer {

namespace {

constexpr const char* kLogSource = "control";

UiRect Normalized(const UiRect& rect) {
  UiRect r{ClampCoord(static_cast<long long>(rect.left)), ClampCoord(static_cast<long long>(rect.top)),
           ClampCoord(static_cast<long long>(rect.right)), ClampCoord(static_cast<long long>(rect.bottom))};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

// A fraction of a size for proportional floating; hostile values (NaN,
// infinities, huge factors) end up clamped to the coordinate range.
double Fraction(const wchar_t*& p) {
  while (*p == L' ') ++p;
  wchar_t* end = nullptr;
  double value = std::wcstod(p, &end);
  if (end == p) {
    value = 0;
  } else {
    p = end;
  }
  if (*p != L'\0') ++p;
  return std::isfinite(value) ? value : 0;
}

}  // namespace

CControlUI::CControlUI() = default;

CControlUI::~CControlUI() {
  if (host_ != nullptr) host_->ReapObjects(this);
}

void CControlUI::Delete() {
  OnDestroy(*this);
  delete this;
}

void CControlUI::SetId(int id) { id_ = id; }

int CControlUI::GetId() const { return id_; }

const std::wstring& CControlUI::GetName() const { return name_; }

void CControlUI::SetName(const std::wstring& name) { name_ = name; }

const wchar_t* CControlUI::GetClass() const { return L"ControlUI"; }

void* CControlUI::GetInterface(const wchar_t* name) {
  if (name != nullptr && std::wcscmp(name, L"Control") == 0) return this;
  return nullptr;
}

uint32_t CControlUI::GetControlFlags() const { return 0; }

bool CControlUI::Activate() { return IsVisible() && IsEnabled(); }

CPaintHostUI* CControlUI::GetHost() const { return host_; }

void CControlUI::SetHost(CPaintHostUI* host, CControlUI* parent, bool init) {
  parent_ = parent;
  if (host == host_) return;
  if (host_ != nullptr) host_->ReapObjects(this);
  host_ = host;
  if (init && host != nullptr) {
    Init();
    host->RegisterControl(this);
  }
}

CControlUI* CControlUI::GetParent() const { return parent_; }

std::wstring CControlUI::GetText() const { return text_; }

void CControlUI::SetText(const std::wstring& text) {
  if (text_ == text) return;
  text_ = text;
  Invalidate();
}

const UiRect& CControlUI::GetPos() const { return pos_; }

UiRect CControlUI::GetRelativePos() const {
  if (parent_ == nullptr) return pos_;
  const UiRect& parent = parent_->GetPos();
  return pos_.Offset(-parent.left, -parent.top);
}

void CControlUI::SetPos(const UiRect& rect, bool invalidate) {
  const UiRect r = Normalized(rect);
  const UiRect old = pos_;
  if (float_) {
    // A floating control without a parent keeps its old rectangle.
    if (parent_ != nullptr) {
      const UiRect& parent = parent_->GetPos();
      pos_ = Normalized(UiRect{SatAdd(parent.left, r.left), SatAdd(parent.top, r.top), SatAdd(parent.left, r.right),
                               SatAdd(parent.top, r.bottom)});
      const double w = parent.Width();
      const double h = parent.Height();
      const DpiScale& scale = GetDpiScale();
      if (scale.IsIdentity()) {
        fixed_xy_.cx = ClampCoord(r.left - w * float_fractions_.left);
        fixed_xy_.cy = ClampCoord(r.top - h * float_fractions_.top);
        fixed_size_.cx = ClampCoord(r.right - w * float_fractions_.right - fixed_xy_.cx);
        fixed_size_.cy = ClampCoord(r.bottom - h * float_fractions_.bottom - fixed_xy_.cy);
      } else if (!(r == GetFloatPlacement(parent.Width(), parent.Height()))) {
        // Moved by the program: the 96-DPI numbers follow the pixels.
        const UiRect units = scale.Unscale(UiRect{
            ClampCoord(r.left - w * float_fractions_.left), ClampCoord(r.top - h * float_fractions_.top),
            ClampCoord(r.right - w * float_fractions_.right), ClampCoord(r.bottom - h * float_fractions_.bottom)});
        fixed_xy_ = UiSize{units.left, units.top};
        fixed_size_ = UiSize{SatSub(units.right, units.left), SatSub(units.bottom, units.top)};
      }
    }
  } else {
    pos_ = r;
  }
  if (host_ == nullptr) return;
  if (!in_size_callbacks_) {
    in_size_callbacks_ = true;
    OnSize(*this);
    in_size_callbacks_ = false;
  }
  update_needed_ = false;
  if (invalidate && IsVisible()) {
    UiRect area = old.Union(pos_);
    for (CControlUI* p = parent_; p != nullptr && !area.IsEmpty(); p = p->parent_) area = area.Intersect(p->pos_);
    if (!area.IsEmpty()) host_->Invalidate(area);
  }
}

void CControlUI::Move(const UiSize& offset, bool invalidate) { SetPos(pos_.Offset(offset.cx, offset.cy), invalidate); }

int CControlUI::GetWidth() const { return pos_.Width(); }

int CControlUI::GetHeight() const { return pos_.Height(); }

int CControlUI::GetX() const { return pos_.left; }

int CControlUI::GetY() const { return pos_.top; }

UiRect CControlUI::GetPadding() const { return padding_; }

void CControlUI::SetPadding(const UiRect& padding) {
  padding_ = padding;
  NeedParentUpdate();
}

UiSize CControlUI::GetFixedXY() const { return fixed_xy_; }

void CControlUI::SetFixedXY(const UiSize& xy) {
  fixed_xy_ = xy;
  if (!float_) return;
  NeedParentUpdate();
}

int CControlUI::GetFixedWidth() const { return fixed_size_.cx; }

void CControlUI::SetFixedWidth(int width) {
  fixed_size_.cx = width;
  NeedParentUpdate();
}

int CControlUI::GetFixedHeight() const { return fixed_size_.cy; }

void CControlUI::SetFixedHeight(int height) {
  fixed_size_.cy = height;
  NeedParentUpdate();
}

int CControlUI::GetMinWidth() const { return min_size_.cx; }

void CControlUI::SetMinWidth(int width) {
  if (width < 0 || min_size_.cx == width) return;
  min_size_.cx = width;
  NeedParentUpdate();
}

int CControlUI::GetMaxWidth() const { return max_size_.cx; }

void CControlUI::SetMaxWidth(int width) {
  if (max_size_.cx == width) return;
  max_size_.cx = width;
  NeedParentUpdate();
}

int CControlUI::GetMinHeight() const { return min_size_.cy; }

void CControlUI::SetMinHeight(int height) {
  if (height < 0 || min_size_.cy == height) return;
  min_size_.cy = height;
  NeedParentUpdate();
}

int CControlUI::GetMaxHeight() const { return max_size_.cy; }

void CControlUI::SetMaxHeight(int height) {
  if (max_size_.cy == height) return;
  max_size_.cy = height;
  NeedParentUpdate();
}

FloatFractions CControlUI::GetFloatPercent() const { return float_fractions_; }

void CControlUI::SetFloatPercent(const FloatFractions& fractions) {
  float_fractions_ = fractions;
  NeedParentUpdate();
}

UiRect CControlUI::GetFloatPlacement(int parent_width, int parent_height) const {
  const DpiScale& scale = GetDpiScale();
  const double w = parent_width;
  const double h = parent_height;
  const FloatFractions& f = float_fractions_;
  // The far edges are scaled as edges: the fixed position plus the size.
  const double right = static_cast<double>(scale.Scale(static_cast<long long>(fixed_xy_.cx) + fixed_size_.cx));
  const double bottom = static_cast<double>(scale.Scale(static_cast<long long>(fixed_xy_.cy) + fixed_size_.cy));
  return UiRect{ClampCoord(w * f.left + scale.Scale(fixed_xy_.cx)), ClampCoord(h * f.top + scale.Scale(fixed_xy_.cy)),
                ClampCoord(w * f.right + right), ClampCoord(h * f.bottom + bottom)};
}

const DpiScale& CControlUI::GetDpiScale() const {
  static const DpiScale kUnscaled;
  return host_ != nullptr ? host_->GetDpiScale() : kUnscaled;
}

std::wstring CControlUI::GetToolTip() const { return tooltip_; }

void CControlUI::SetToolTip(const std::wstring& text) { tooltip_ = text; }

void CControlUI::SetToolTipWidth(int width) { tooltip_width_ = width; }

int CControlUI::GetToolTipWidth() const { return tooltip_width_; }

wchar_t CControlUI::GetShortcut() const { return shortcut_; }

void CControlUI::SetShortcut(wchar_t ch) { shortcut_ = ch; }

bool CControlUI::IsContextMenuUsed() const { return menu_used_; }

void CControlUI::SetContextMenuUsed(bool used) { menu_used_ = used; }

const std::wstring& CControlUI::GetUserData() const { return user_data_; }

void CControlUI::SetUserData(const std::wstring& text) { user_data_ = text; }

uintptr_t CControlUI::GetTag() const { return tag_; }

void CControlUI::SetTag(uintptr_t tag) { tag_ = tag; }

bool CControlUI::IsVisible() const { return visible_ && intern_visible_; }

void CControlUI::SetVisible(bool visible) {
  if (visible_ == visible) return;
  const bool was_visible = IsVisible();
  visible_ = visible;
  if (!visible && host_ != nullptr && host_->GetFocus() == this) host_->SetFocus(nullptr);
  if (IsVisible() != was_visible) NeedParentUpdate();
}

void CControlUI::SetInternVisible(bool visible) {
  intern_visible_ = visible;
  if (!visible && host_ != nullptr && host_->GetFocus() == this) host_->SetFocus(nullptr);
}

bool CControlUI::IsEnabled() const { return enabled_; }

void CControlUI::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Invalidate();
}

bool CControlUI::IsMouseEnabled() const { return mouse_enabled_; }

void CControlUI::SetMouseEnabled(bool enabled) { mouse_enabled_ = enabled; }

bool CControlUI::IsKeyboardEnabled() const { return keyboard_enabled_; }

void CControlUI::SetKeyboardEnabled(bool enabled) { keyboard_enabled_ = enabled; }

bool CControlUI::IsFocused() const { return focused_; }

void CControlUI::SetFocus() {
  if (host_ != nullptr) host_->SetFocus(this);
}

bool CControlUI::IsFloat() const { return float_; }

void CControlUI::SetFloat(bool is_float) {
  if (float_ == is_float) return;
  float_ = is_float;
  NeedParentUpdate();
}

CControlUI* CControlUI::FindControl(FindControlProc proc, void* data, uint32_t flags) {
  if ((flags & kFindVisible) != 0 && !IsVisible()) return nullptr;
  if ((flags & kFindEnabled) != 0 && !IsEnabled()) return nullptr;
  if ((flags & kFindHitTest) != 0 && (!mouse_enabled_ || !pos_.Contains(*static_cast<const UiPoint*>(data)))) {
    return nullptr;
  }
  if ((flags & kFindUpdateTest) != 0 && !update_needed_) return nullptr;
  return proc(this, data);
}

void CControlUI::Init() {
  DoInit();
  OnInit(*this);
}

void CControlUI::DoInit() {}

void CControlUI::Event(UIEvent& event) {
  if (OnEvent(event)) DoEvent(event);
}

void CControlUI::DoEvent(UIEvent& event) {
  switch (event.kind) {
    case kUIEventSetCursor:
      if (host_ != nullptr) host_->SetCursorShape(CursorShape::kArrow);
      return;
    case kUIEventSetFocus:
      focused_ = true;
      Invalidate();
      return;
    case kUIEventKillFocus:
      focused_ = false;
      Invalidate();
      return;
    case kUIEventTimer:
      if (host_ != nullptr) host_->SendNotify(this, L"timer", event.wparam, event.lparam);
      return;
    case kUIEventContextMenu:
      if (IsContextMenuUsed()) {
        if (host_ != nullptr) host_->SendNotify(this, L"menu", event.wparam, event.lparam);
        return;
      }
      break;
    default:
      break;
  }
  if (parent_ != nullptr) parent_->DoEvent(event);
}

void CControlUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (name == nullptr || value == nullptr) return;
  const std::wstring_view n(name);
  if (n == L"pos") {
    UiRect r = ParseRect(value);
    SetFixedXY(UiSize{r.left, r.top});
    SetFixedWidth(SatSub(r.right, r.left));
    SetFixedHeight(SatSub(r.bottom, r.top));
    pos_ = Normalized(r);
  } else if (n == L"padding") {
    SetPadding(ParseRect(value));
  } else if (n == L"bkcolor" || n == L"bkcolor1") {
    SetBkColor(ParseColor(value));
  } else if (n == L"bkcolor2") {
    SetBkColor2(ParseColor(value));
  } else if (n == L"bkcolor3") {
    SetBkColor3(ParseColor(value));
  } else if (n == L"bordercolor") {
    SetBorderColor(ParseColor(value));
  } else if (n == L"focusbordercolor") {
    SetFocusBorderColor(ParseColor(value));
  } else if (n == L"colorhsl") {
    SetColorHSL(ParseBool(value));
  } else if (n == L"bordersize") {
    if (std::wcschr(value, L',') != nullptr) {
      SetBorderSides(ParseRect(value));
    } else {
      SetBorderSize(ParseDecimal(value));
    }
  } else if (n == L"leftbordersize") {
    UiRect sides = border_sides_;
    sides.left = ParseDecimal(value);
    SetBorderSides(sides);
  } else if (n == L"topbordersize") {
    UiRect sides = border_sides_;
    sides.top = ParseDecimal(value);
    SetBorderSides(sides);
  } else if (n == L"rightbordersize") {
    UiRect sides = border_sides_;
    sides.right = ParseDecimal(value);
    SetBorderSides(sides);
  } else if (n == L"bottombordersize") {
    UiRect sides = border_sides_;
    sides.bottom = ParseDecimal(value);
    SetBorderSides(sides);
  } else if (n == L"borderstyle") {
    SetBorderStyle(ParseDecimal(value));
  } else if (n == L"follow") {
    follow_ = value;
  } else if (n == L"borderround") {
    SetBorderRound(ParseSize(value));
  } else if (n == L"bkimage") {
    SetBkImage(value);
  } else if (n == L"width") {
    SetFixedWidth(ParseDecimal(value));
  } else if (n == L"height") {
    SetFixedHeight(ParseDecimal(value));
  } else if (n == L"minwidth") {
    SetMinWidth(ParseDecimal(value));
  } else if (n == L"minheight") {
    SetMinHeight(ParseDecimal(value));
  } else if (n == L"maxwidth") {
    SetMaxWidth(ParseDecimal(value));
  } else if (n == L"maxheight") {
    SetMaxHeight(ParseDecimal(value));
  } else if (n == L"name") {
    SetName(value);
  } else if (n == L"text") {
    SetText(value);
  } else if (n == L"tooltip") {
    SetToolTip(value);
  } else if (n == L"userdata") {
    SetUserData(value);
  } else if (n == L"enabled") {
    SetEnabled(ParseBool(value));
  } else if (n == L"mouse") {
    SetMouseEnabled(ParseBool(value));
  } else if (n == L"keyboard") {
    SetKeyboardEnabled(ParseBool(value));
  } else if (n == L"visible") {
    SetVisible(ParseBool(value));
  } else if (n == L"float") {
    if (std::wcschr(value, L',') != nullptr) {
      const wchar_t* p = value;
      FloatFractions f;
      f.left = Fraction(p);
      f.top = Fraction(p);
      f.right = Fraction(p);
      f.bottom = Fraction(p);
      SetFloatPercent(f);
      SetFloat(true);
    } else {
      SetFloat(ParseBool(value));
    }
  } else if (n == L"shortcut") {
    SetShortcut(value[0]);
  } else if (n == L"menu") {
    SetContextMenuUsed(ParseBool(value));
  } else if (n == L"virtualwnd") {
    SetVirtualWnd(value);
  } else if (n == L"id") {
    string_id_ = value;
  } else if (n == L"id_num") {
    SetId(ParseDecimal(value));
  }
}

void CControlUI::ApplyAttributeList(const wchar_t* list) {
  if (list == nullptr) return;
  const wchar_t* p = list;
  while (*p != L'\0') {
    const wchar_t* name_start = p;
    while (*p != L'\0' && *p != L'=') ++p;
    if (p[0] != L'=' || p[1] != L'"') break;
    std::wstring name(name_start, p);
    p += 2;
    const wchar_t* value_start = p;
    while (*p != L'\0' && *p != L'"') ++p;
    if (*p != L'"') break;
    std::wstring value(value_start, p);
    ++p;
    SetAttribute(name.c_str(), value.c_str());
    if (*p == L'\0') return;
    if (*p != L' ') break;
    ++p;
  }
  if (*p != L'\0') {
    BASEKIT_LOG(Lookup, "attribute list ends early at \"%s\"", ToLogText(p).c_str());
  }
}

UiSize CControlUI::EstimateSize(const UiSize&) { return Scaled(fixed_size_); }

void CControlUI::DoPaint(IRenderUI& render, const UiRect& paint) {
  if (!pos_.Intersects(paint)) return;
  const bool rounded = border_round_.cx > 0 && border_round_.cy > 0;
  if (rounded) render.PushRoundClip(pos_, Scaled(border_round_));
  PaintLayers(render, paint);
  if (rounded) render.PopClip();
}

void CControlUI::PaintLayers(IRenderUI& render, const UiRect& paint) {
  paint_area_ = pos_.Intersect(paint);
  PaintBkColor(render);
  PaintBkImage(render);
  PaintStatusImage(render);
  PaintText(render);
  PaintBorder(render);
}

void CControlUI::PaintBkColor(IRenderUI& render) {
  if (bk_color_ == 0) return;
  if (bk_color2_ == 0) {
    render.FillRect(paint_area_, bk_color_);
  } else if (bk_color3_ == 0) {
    render.GradientRect(pos_, bk_color_, bk_color2_, 16);
  } else {
    const int middle = pos_.top + pos_.Height() / 2;
    render.GradientRect(UiRect{pos_.left, pos_.top, pos_.right, middle}, bk_color_, bk_color2_, 8);
    render.GradientRect(UiRect{pos_.left, middle, pos_.right, pos_.bottom}, bk_color2_, bk_color3_, 8);
  }
}

void CControlUI::PaintBkImage(IRenderUI& render) {
  if (!bk_image_.IsEmpty()) DrawImage(render, bk_image_);
}

void CControlUI::PaintStatusImage(IRenderUI&) {}

void CControlUI::PaintText(IRenderUI&) {}

void CControlUI::PaintBorder(IRenderUI& render) {
  const uint32_t color = focused_ && focus_border_color_ != 0 ? focus_border_color_ : border_color_;
  if (color == 0) return;
  const UiRect s = Scaled(border_sides_);
  if (s.left > 0 || s.top > 0 || s.right > 0 || s.bottom > 0) {
    const int right = pos_.right - 1;
    const int bottom = pos_.bottom - 1;
    if (s.left > 0) render.DrawLine({pos_.left, pos_.top}, {pos_.left, bottom}, s.left, color, border_style_);
    if (s.top > 0) render.DrawLine({pos_.left, pos_.top}, {right, pos_.top}, s.top, color, border_style_);
    if (s.right > 0) render.DrawLine({right, pos_.top}, {right, bottom}, s.right, color, border_style_);
    if (s.bottom > 0) render.DrawLine({pos_.left, bottom}, {right, bottom}, s.bottom, color, border_style_);
  } else if (border_size_ > 0) {
    if (border_round_.cx > 0 || border_round_.cy > 0) {
      render.DrawRoundBorder(pos_, Scaled(border_size_), Scaled(border_round_), color, border_style_);
    } else {
      render.DrawBorder(pos_, Scaled(border_size_), color, border_style_);
    }
  }
}

void CControlUI::DoPostPaint(IRenderUI&, const UiRect&) {}

void CControlUI::Invalidate() {
  if (host_ == nullptr || !IsVisible()) return;
  UiRect area = pos_;
  for (CControlUI* p = parent_; p != nullptr && !area.IsEmpty(); p = p->parent_) area = area.Intersect(p->pos_);
  if (!area.IsEmpty()) host_->Invalidate(area);
}

void CControlUI::NeedUpdate() {
  if (!IsVisible()) return;
  update_needed_ = true;
  Invalidate();
  if (host_ != nullptr) host_->NeedUpdate();
}

void CControlUI::NeedParentUpdate() {
  if (parent_ != nullptr) {
    parent_->NeedUpdate();
    parent_->Invalidate();
  } else {
    NeedUpdate();
  }
}

void CControlUI::SetBkColor(uint32_t color) {
  if (bk_color_ == color) return;
  bk_color_ = color;
  Invalidate();
}

void CControlUI::SetBkColor2(uint32_t color) {
  if (bk_color2_ == color) return;
  bk_color2_ = color;
  Invalidate();
}

void CControlUI::SetBkColor3(uint32_t color) {
  if (bk_color3_ == color) return;
  bk_color3_ = color;
  Invalidate();
}

void CControlUI::SetBkImage(const std::wstring& descriptor) {
  if (bk_image_.text == descriptor) return;
  bk_image_.SetText(descriptor);
  Invalidate();
}

void CControlUI::SetBorderColor(uint32_t color) {
  if (border_color_ == color) return;
  border_color_ = color;
  Invalidate();
}

void CControlUI::SetFocusBorderColor(uint32_t color) {
  if (focus_border_color_ == color) return;
  focus_border_color_ = color;
  Invalidate();
}

void CControlUI::SetBorderSize(int size) {
  border_size_ = size;
  Invalidate();
}

void CControlUI::SetBorderSides(const UiRect& sides) {
  border_sides_ = sides;
  Invalidate();
}

void CControlUI::SetBorderStyle(int style) {
  border_style_ = style;
  Invalidate();
}

void CControlUI::SetBorderRound(const UiSize& round) {
  border_round_ = round;
  Invalidate();
}

void CControlUI::SetVirtualWnd(const std::wstring& name) {
  virtual_wnd_ = name;
  if (host_ != nullptr && !name.empty()) host_->UsedVirtualWnd(true);
}

bool CControlUI::DrawImage(IRenderUI& render, ImageDrawInfo& info) {
  return DrawImageInfo(render, GetResources(), info, pos_, paint_area_, GetDpiScale());
}

CResourceTablesUI* CControlUI::GetResources() const { return host_ != nullptr ? &host_->GetResources() : nullptr; }

}  // namespace Veneer
