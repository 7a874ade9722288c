#pragma once

// The control base. Every visible element of a skinned window is a
// CControlUI (or a subclass): it holds its position, size constraints,
// colours, border, background image, text, name and state flags, reads its
// own skin attributes, paints itself in layers through IRenderUI and reacts
// to the events its window host forwards.
//
// Ownership: a control is owned by its container, the root by its host;
// Delete() destroys a control nobody owns (ControlPtr does it for you).
// Positions are window client coordinates; layout is lazy: a change that
// affects size only marks the control or its parent, and the host lays
// the tree out before the next paint.
//
// Lengths a control keeps (fixed sizes and position, paddings, limits,
// borders, text padding, tooltip width, ...) are the skin's, in 96-DPI
// units, and the getters return them so; layout and painting scale them by
// the host's DpiScale where they are used. Positions (GetPos) and the
// sizes EstimateSize returns are pixels of the window.
//
// Thread affinity: UI thread only.

#include <cstdint>
#include <memory>
#include <string>

#include "uiframework/base/dpi_scale.h"
#include "uiframework/base/geometry.h"
#include "uiframework/core/image_draw.h"
#include "uiframework/core/ui_event.h"

namespace Veneer {

class CPaintHostUI;
class CResourceTablesUI;
class IRenderUI;

// FindControl flags.
enum UIFindFlag : uint32_t {
  kFindAll = 0x0000,
  kFindVisible = 0x0001,
  kFindEnabled = 0x0002,
  kFindHitTest = 0x0004,  // data points at a UiPoint
  kFindUpdateTest = 0x0008,
  kFindTopFirst = 0x0010,
  kFindMeFirst = 0x8000,
};

class CControlUI;
// A FindControl visitor: returns the control to stop the search with, or
// null to go on.
using FindControlProc = CControlUI* (*)(CControlUI* control, void* data);

// Proportional floating: fractions of the parent's size added to the
// fixed position of each edge.
struct FloatFractions {
  double left = 0;
  double top = 0;
  double right = 0;
  double bottom = 0;
  bool IsZero() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
};

class CControlUI {
 public:
  static constexpr int kDefaultMaxSize = 9999;
  static constexpr int kDefaultTooltipWidth = 300;

  CControlUI();
  CControlUI(const CControlUI&) = delete;
  CControlUI& operator=(const CControlUI&) = delete;
  virtual ~CControlUI();

  // --- identity
  virtual void Delete();
  virtual void SetId(int id);
  virtual int GetId() const;
  virtual const std::wstring& GetName() const;
  virtual void SetName(const std::wstring& name);
  // The class name ("ControlUI", "LabelUI", ...).
  virtual const wchar_t* GetClass() const;
  // This object for its element name ("Control", "Label", ...; containers
  // also "IContainer"), else whatever the base class answers; null at the end.
  virtual void* GetInterface(const wchar_t* name);
  virtual uint32_t GetControlFlags() const;
  // The programmatic press: true only when visible and enabled.
  virtual bool Activate();

  // --- host and parent
  virtual CPaintHostUI* GetHost() const;
  // Attaches to (or, with a null host, detaches from) a host with the given
  // parent; when `init` is set the control (and a container's subtree) is
  // initialised and its name registered. Subtrees are walked only when the
  // host changes.
  virtual void SetHost(CPaintHostUI* host, CControlUI* parent, bool init = true);
  virtual CControlUI* GetParent() const;
  // The builder's temporary attachment while attributes are applied: this
  // control only, no initialisation, no walk of a subtree, parent kept.
  void SetHostForAttributes(CPaintHostUI* host) { host_ = host; }

  // --- text
  virtual std::wstring GetText() const;
  virtual void SetText(const std::wstring& text);

  // --- position and size
  virtual const UiRect& GetPos() const;
  // The position relative to the parent's top-left corner.
  virtual UiRect GetRelativePos() const;
  virtual void SetPos(const UiRect& rect, bool invalidate = true);
  virtual void Move(const UiSize& offset, bool invalidate = true);
  virtual int GetWidth() const;
  virtual int GetHeight() const;
  virtual int GetX() const;
  virtual int GetY() const;
  virtual UiRect GetPadding() const;
  virtual void SetPadding(const UiRect& padding);
  virtual UiSize GetFixedXY() const;
  virtual void SetFixedXY(const UiSize& xy);
  virtual int GetFixedWidth() const;
  virtual void SetFixedWidth(int width);
  virtual int GetFixedHeight() const;
  virtual void SetFixedHeight(int height);
  virtual int GetMinWidth() const;
  virtual void SetMinWidth(int width);
  virtual int GetMaxWidth() const;
  virtual void SetMaxWidth(int width);
  virtual int GetMinHeight() const;
  virtual void SetMinHeight(int height);
  virtual int GetMaxHeight() const;
  virtual void SetMaxHeight(int height);
  virtual FloatFractions GetFloatPercent() const;
  virtual void SetFloatPercent(const FloatFractions& fractions);
  // Where a floating control lies in a parent of that size (pixels,
  // relative to the parent's top-left corner): its fixed position and size
  // plus the float fractions of the parent's size; edges scaled.
  UiRect GetFloatPlacement(int parent_width, int parent_height) const;

  // The window's scale (96 DPI while detached).
  const DpiScale& GetDpiScale() const;

  // --- tooltip, shortcut, menu, user data, tag
  virtual std::wstring GetToolTip() const;
  virtual void SetToolTip(const std::wstring& text);
  virtual void SetToolTipWidth(int width);
  virtual int GetToolTipWidth() const;
  virtual wchar_t GetShortcut() const;
  virtual void SetShortcut(wchar_t ch);
  virtual bool IsContextMenuUsed() const;
  virtual void SetContextMenuUsed(bool used);
  virtual const std::wstring& GetUserData() const;
  virtual void SetUserData(const std::wstring& text);
  virtual uintptr_t GetTag() const;
  virtual void SetTag(uintptr_t tag);

  // --- state
  // Visible and internally visible (no ancestor hidden).
  virtual bool IsVisible() const;
  virtual void SetVisible(bool visible = true);
  // Set by the container from its own effective visibility.
  virtual void SetInternVisible(bool visible = true);
  virtual bool IsEnabled() const;
  virtual void SetEnabled(bool enabled = true);
  virtual bool IsMouseEnabled() const;
  virtual void SetMouseEnabled(bool enabled = true);
  virtual bool IsKeyboardEnabled() const;
  virtual void SetKeyboardEnabled(bool enabled = true);
  virtual bool IsFocused() const;
  // Asks the host for the focus.
  virtual void SetFocus();
  virtual bool IsFloat() const;
  virtual void SetFloat(bool is_float = true);

  // --- tree walks
  virtual CControlUI* FindControl(FindControlProc proc, void* data, uint32_t flags);

  // --- lifecycle and events
  // Runs DoInit, then the on-init callbacks.
  virtual void Init();
  virtual void DoInit();
  // Runs the on-event callbacks and, unless one refuses, DoEvent.
  virtual void Event(UIEvent& event);
  virtual void DoEvent(UIEvent& event);

  // --- attributes (names are case-sensitive; unknown names are ignored)
  virtual void SetAttribute(const wchar_t* name, const wchar_t* value);
  // Applies a list written name="value" name="value" ...: the name runs to
  // "=", which must be followed by a double quote; the value runs to the
  // next double quote; exactly one blank separates two pairs. Anything else
  // ends the list (logged).
  void ApplyAttributeList(const wchar_t* list);

  // --- layout and painting
  // The size the control wants within `available` (pixels); 0 in a
  // component means no preference (stretch).
  virtual UiSize EstimateSize(const UiSize& available);
  // Paints the layers when the control's rectangle meets `paint`.
  virtual void DoPaint(IRenderUI& render, const UiRect& paint);
  virtual void PaintBkColor(IRenderUI& render);
  virtual void PaintBkImage(IRenderUI& render);
  virtual void PaintStatusImage(IRenderUI& render);
  virtual void PaintText(IRenderUI& render);
  virtual void PaintBorder(IRenderUI& render);
  virtual void DoPostPaint(IRenderUI& render, const UiRect& paint);

  // Repaints the control's rectangle (clipped by its ancestors).
  void Invalidate();
  bool IsUpdateNeeded() const { return update_needed_; }
  // Marks this control for layout at its current position.
  void NeedUpdate();
  // Marks the parent (or, for the root, the control itself) for layout.
  void NeedParentUpdate();

  // --- appearance
  uint32_t GetBkColor() const { return bk_color_; }
  void SetBkColor(uint32_t color);
  uint32_t GetBkColor2() const { return bk_color2_; }
  void SetBkColor2(uint32_t color);
  uint32_t GetBkColor3() const { return bk_color3_; }
  void SetBkColor3(uint32_t color);
  const std::wstring& GetBkImage() const { return bk_image_.text; }
  void SetBkImage(const std::wstring& descriptor);
  uint32_t GetBorderColor() const { return border_color_; }
  void SetBorderColor(uint32_t color);
  uint32_t GetFocusBorderColor() const { return focus_border_color_; }
  void SetFocusBorderColor(uint32_t color);
  int GetBorderSize() const { return border_size_; }
  void SetBorderSize(int size);
  UiRect GetBorderSides() const { return border_sides_; }
  void SetBorderSides(const UiRect& sides);
  int GetBorderStyle() const { return border_style_; }
  void SetBorderStyle(int style);
  UiSize GetBorderRound() const { return border_round_; }
  void SetBorderRound(const UiSize& round);
  bool IsColorHSL() const { return color_hsl_; }
  void SetColorHSL(bool hsl) { color_hsl_ = hsl; }
  const std::wstring& GetFollow() const { return follow_; }
  const std::wstring& GetVirtualWnd() const { return virtual_wnd_; }
  void SetVirtualWnd(const std::wstring& name);
  const std::wstring& GetStringId() const { return string_id_; }

  // Draws a descriptor into this control's rectangle (or, with `dest`
  // offsets in the descriptor, part of it). False when nothing was drawn.
  bool DrawImage(IRenderUI& render, ImageDrawInfo& info);

  // The window's resource tables, or null while detached.
  CResourceTablesUI* GetResources() const;

  // Application callbacks.
  CEventSourceUI<CControlUI> OnInit;
  CEventSourceUI<CControlUI> OnDestroy;
  CEventSourceUI<CControlUI> OnSize;
  CEventSourceUI<UIEvent> OnEvent;
  CEventSourceUI<NotifyMsg> OnNotify;

 protected:
  // The area being painted by the current DoPaint (for the layer
  // operations, which draw only what meets it).
  const UiRect& PaintArea() const { return paint_area_; }
  // Remembers the area and draws the five layers in order: background
  // colour, background image, state images, text, border.
  void PaintLayers(IRenderUI& render, const UiRect& paint);
  // A 96-DPI length (or four) in pixels at the window's scale.
  int Scaled(int length) const { return GetDpiScale().Scale(length); }
  UiSize Scaled(const UiSize& size) const { return GetDpiScale().Scale(size); }
  UiRect Scaled(const UiRect& rect) const { return GetDpiScale().Scale(rect); }

  CPaintHostUI* host_ = nullptr;
  CControlUI* parent_ = nullptr;
  std::wstring name_;
  std::wstring text_;
  std::wstring tooltip_;
  std::wstring user_data_;
  std::wstring virtual_wnd_;
  std::wstring string_id_;
  std::wstring follow_;
  int id_ = 0;
  uintptr_t tag_ = 0;

  UiRect pos_;
  UiRect padding_;
  UiSize fixed_xy_;
  UiSize fixed_size_;
  UiSize min_size_;
  UiSize max_size_{kDefaultMaxSize, kDefaultMaxSize};
  FloatFractions float_fractions_;
  bool float_ = false;

  bool visible_ = true;
  bool intern_visible_ = true;
  bool enabled_ = true;
  bool mouse_enabled_ = true;
  bool keyboard_enabled_ = true;
  bool focused_ = false;
  bool update_needed_ = true;
  bool menu_used_ = false;
  bool color_hsl_ = false;
  bool in_size_callbacks_ = false;

  uint32_t bk_color_ = 0;
  uint32_t bk_color2_ = 0;
  uint32_t bk_color3_ = 0;
  uint32_t border_color_ = 0;
  uint32_t focus_border_color_ = 0;
  int border_size_ = 0;
  UiRect border_sides_;
  int border_style_ = 0;
  UiSize border_round_;
  ImageDrawInfo bk_image_;
  wchar_t shortcut_ = 0;
  int tooltip_width_ = kDefaultTooltipWidth;

 private:
  UiRect paint_area_;
};

// Destroys an unplaced control through Delete().
struct ControlDeleter {
  void operator()(CControlUI* control) const {
    if (control != nullptr) control->Delete();
  }
};
using ControlPtr = std::unique_ptr<CControlUI, ControlDeleter>;

}  // namespace Veneer
