#pragma once

// The per-window host of a control tree: the part the dialog builder fills
// in. It keeps the window's fonts, images, default attribute lists and
// window settings, with process-wide shared tables behind the per-window
// ones (lookups try the window's table first), and the shared language
// strings. Platform objects (font handles, bitmaps) are made from these
// descriptions by the window binding.
//
// Thread affinity: UI thread only, shared tables included.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "uiframework/core/geometry.h"
#include "uiframework/resources/image_loader.h"

namespace Veneer {

class CControlUI;
class IDialogBuilderCallback;  // builder/dialog_builder_callback.h

// A platform-neutral font description (the fields of a logical font).
struct FontDescription {
  std::wstring face;
  int height = 0;       // negative: character height in logical units
  int weight = 400;
  bool underline = false;
  bool italic = false;
  uint8_t charset = 1;  // 1 = default character set
  uint8_t quality = 0;  // 0 = default, 2 = proof
};

struct FontEntry {
  FontDescription description;
  std::wstring face;
  int size = 0;
  bool bold = false;
  bool underline = false;
  bool italic = false;
  void* handle = nullptr;  // the platform font, set by the window binding
};

// What the host needs from its native window.
class INativeWindowUI {
 public:
  // Resizes the window without moving or activating it.
  virtual void ResizeWindow(int cx, int cy) = 0;

 protected:
  ~INativeWindowUI() = default;
};

// Default text colours, alpha first.
struct DefaultColors {
  uint32_t disabled = 0xFFA7A6AA;
  uint32_t normal = 0xFF000000;
  uint32_t link = 0xFF0000FF;
  uint32_t link_hover = 0xFFD3215F;
  uint32_t selected = 0xFFBAE4FF;
};

class CPaintHostUI {
 public:
  // Face names are cut to this many characters (the platform's limit less
  // the terminator).
  static constexpr size_t kMaxFaceChars = 31;
  // Largest window opacity.
  static constexpr int kOpaque = 255;

  CPaintHostUI();
  CPaintHostUI(const CPaintHostUI&) = delete;
  CPaintHostUI& operator=(const CPaintHostUI&) = delete;
  ~CPaintHostUI();

  // --- native window and root
  void AttachNativeWindow(INativeWindowUI* window) { window_ = window; }
  INativeWindowUI* GetNativeWindow() const { return window_; }
  // Takes ownership of the finished tree, attaches it and initialises it.
  bool AttachDialog(CControlUI* root);
  CControlUI* GetRoot() const { return root_; }

  // The creation callback of this window, used for documents loaded later.
  void SetDialogBuilderCallback(IDialogBuilderCallback* callback) { callback_ = callback; }
  IDialogBuilderCallback* GetDialogBuilderCallback() const { return callback_; }

  // --- window settings (the skin's Window element)
  void SetInitSize(int cx, int cy);
  UiSize GetInitSize() const { return init_size_; }
  void SetSizeBox(const UiRect& box) { size_box_ = box; }
  UiRect GetSizeBox() const { return size_box_; }
  void SetCaptionRect(const UiRect& caption) { caption_ = caption; }
  UiRect GetCaptionRect() const { return caption_; }
  void SetRoundCorner(int cx, int cy) { round_corner_ = UiSize{cx, cy}; }
  UiSize GetRoundCorner() const { return round_corner_; }
  void SetMinInfo(int cx, int cy) { min_info_ = UiSize{cx, cy}; }
  UiSize GetMinInfo() const { return min_info_; }
  void SetMaxInfo(int cx, int cy) { max_info_ = UiSize{cx, cy}; }
  UiSize GetMaxInfo() const { return max_info_; }
  void SetShowUpdateRect(bool show) { show_update_rect_ = show; }
  bool IsShowUpdateRect() const { return show_update_rect_; }
  void SetLayered(bool layered) { layered_ = layered; }
  bool IsLayered() const { return layered_; }
  void SetOpacity(int opacity);
  int GetOpacity() const { return opacity_; }
  void SetBackgroundTransparent(bool transparent) { background_transparent_ = transparent; }
  bool IsBackgroundTransparent() const { return background_transparent_; }
  // This window's default colours (start as copies of the shared ones).
  DefaultColors& GetDefaultColors() { return colors_; }
  const DefaultColors& GetDefaultColors() const { return colors_; }
  static DefaultColors& GetSharedDefaultColors();

  // --- fonts, keyed by the decimal text of the id
  const FontEntry* AddFont(int id, const wchar_t* face, int size, bool bold, bool underline, bool italic,
                           bool shared);
  void SetDefaultFont(const wchar_t* face, int size, bool bold, bool underline, bool italic, bool shared);
  // The font of that id (window, then shared), else the default font.
  const FontEntry* GetFont(int id) const;
  const FontEntry* GetDefaultFont() const;
  // The system's default GUI font, the base of every font description; the
  // window binding sets the platform's.
  static void SetSystemDefaultFont(const FontDescription& description);
  static const FontDescription& GetSystemDefaultFont();

  // --- images, keyed by name as written
  const ImageEntry* AddImage(const wchar_t* name, const wchar_t* resource_type, uint32_t mask, bool color_adjust,
                             bool shared);
  const ImageEntry* GetImage(const wchar_t* name) const;
  // The cached image, or added to this window's table on first request.
  const ImageEntry* GetImageEx(const wchar_t* name, const wchar_t* resource_type, uint32_t mask,
                               bool color_adjust);

  // --- default attribute lists, keyed by element name as written
  void AddDefaultAttributeList(const wchar_t* name, const wchar_t* list, bool shared);
  const wchar_t* GetDefaultAttributeList(const wchar_t* name) const;

  // --- language strings (shared only), keyed by the decimal text of the id
  static void AddMultiLanguageString(int id, const wchar_t* text);
  static const wchar_t* GetMultiLanguageString(int id);
  // Replaces every "%{n}" token whose id has a language string by that
  // string; other tokens stay as written. Replaced text is not scanned again.
  static std::wstring ProcessMultiLanguageTokens(const std::wstring& text);

  // Frees every shared font, image, default list and language string and
  // restores the initial shared defaults (tests, shutdown).
  static void ResetSharedResources();

 private:
  template <typename Value>
  using Table = std::map<std::wstring, Value, std::less<>>;

  static FontEntry MakeFontEntry(const wchar_t* face, int size, bool bold, bool underline, bool italic,
                                 bool default_font);

  INativeWindowUI* window_ = nullptr;
  CControlUI* root_ = nullptr;
  IDialogBuilderCallback* callback_ = nullptr;

  UiSize init_size_;
  UiRect size_box_;
  UiRect caption_;
  UiSize round_corner_;
  UiSize min_info_;
  UiSize max_info_;
  bool show_update_rect_ = false;
  bool layered_ = false;
  int opacity_ = kOpaque;
  bool background_transparent_ = false;
  DefaultColors colors_;

  Table<FontEntry> fonts_;
  std::unique_ptr<FontEntry> default_font_;
  Table<std::unique_ptr<ImageEntry>> images_;
  Table<std::wstring> default_lists_;
};

}  // namespace Veneer
