#pragma once

// The tables a skin fills in: fonts, images, default attribute lists,
// language strings and default text colours, each keyed by text.
//
// There is one shared instance for the process (Shared()) and one per
// window whose parent is the shared one. Lookups try the window's table
// first, then its parent. Entries added with `shared` set go to the root
// of the chain; language strings always live there.
//
// Platform objects (fonts, bitmaps) are not kept here: the render backend
// makes and caches them from these descriptions.
//
// Thread affinity: UI thread only, the shared instance included.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "uiframework/resources/image_loader.h"

namespace Veneer {

// A platform-neutral font description (the fields of a logical font).
struct FontDescription {
  std::wstring face;
  int height = 0;  // negative: character height in logical units
  int weight = 400;
  bool underline = false;
  bool italic = false;
  uint8_t charset = 1;  // 1 = default character set
  uint8_t quality = 0;  // 0 = default, 2 = proof

  // The font's size in points as the skin wrote it.
  int Size() const { return height == INT32_MIN ? INT32_MAX : height < 0 ? -height : height; }
  bool IsBold() const { return weight >= 700; }
  bool operator==(const FontDescription&) const = default;
  bool operator<(const FontDescription& other) const {
    return std::tie(face, height, weight, underline, italic, charset, quality) <
           std::tie(other.face, other.height, other.weight, other.underline, other.italic, other.charset,
                    other.quality);
  }
};

// Default text colours, alpha first.
struct DefaultColors {
  uint32_t disabled = 0xFFA7A6AA;
  uint32_t normal = 0xFF000000;
  uint32_t link = 0xFF0000FF;
  uint32_t link_hover = 0xFFD3215F;
  uint32_t selected = 0xFFBAE4FF;
};

class CResourceTablesUI {
 public:
  // Face names are cut to this many characters (the platform's limit less
  // the terminator).
  static constexpr size_t kMaxFaceChars = 31;

  // A window's tables copy their parent's default colours.
  explicit CResourceTablesUI(CResourceTablesUI* parent = nullptr);
  CResourceTablesUI(const CResourceTablesUI&) = delete;
  CResourceTablesUI& operator=(const CResourceTablesUI&) = delete;
  ~CResourceTablesUI();

  // The process-wide tables, created on first use.
  static CResourceTablesUI& Shared();
  CResourceTablesUI* GetParent() const { return parent_; }
  // The end of the parent chain (the shared tables of a window).
  CResourceTablesUI& Root();

  // Empties every table and restores the initial defaults (tests).
  void Clear();

  // --- fonts, keyed by the decimal text of the id. The system's default
  // GUI font is the base of every description; the window binding sets the
  // platform's into the root.
  void SetSystemFont(const FontDescription& description);
  const FontDescription& GetSystemFont() const;
  // Null (and nothing added) without a face name.
  const FontDescription* AddFont(int id, const wchar_t* face, int size, bool bold, bool underline, bool italic,
                                 bool shared);
  void SetDefaultFont(const wchar_t* face, int size, bool bold, bool underline, bool italic, bool shared);
  // The font of that id (window, then parents), else the default font.
  const FontDescription& GetFont(int id) const;
  // The window's default font, else a parent's, else the system font.
  const FontDescription& GetDefaultFont() const;

  // --- images, keyed by name as written. One table holds at most
  // kMaxImageBytes of decoded pixels: a skin naming many large images (or
  // one large image under many names) gets the rest drawn as missing, each
  // refused from its header before it is decoded. An entry stays until its
  // table is cleared or destroyed: adding a name the table holds returns
  // the entry it has (controls may be drawing it), without decoding again.
  // The same bytes (with the same mask and settings) are decoded once per
  // table, whatever they are named; a failed decode is not tried again.
  static constexpr size_t kMaxImageBytes = 256u * 1024 * 1024;
  void SetImageByteLimit(size_t bytes) { image_byte_limit_ = bytes; }
  size_t GetImageBytes() const { return image_bytes_; }
  const ImageEntry* AddImage(const wchar_t* name, const wchar_t* resource_type, uint32_t mask, bool color_adjust,
                             bool shared);
  const ImageEntry* GetImage(const wchar_t* name) const;
  // The cached image, or added to this table on first request.
  const ImageEntry* GetImageEx(const wchar_t* name, const wchar_t* resource_type, uint32_t mask, bool color_adjust);

  // --- pictures for a window of another DPI than 96. Beside an image the
  // table keeps its copies for the DPIs asked for, each as large as the
  // image scaled (DpiScale::Scale of its width and height; the entry's dpi
  // says for which): a variant the skin carries ("name@2x.png",
  // "name@1.5x.png"; VariantNames gives the order) brought to that size,
  // else the image itself resampled, once. A copy counts against the
  // table's bound; one that does not fit, or would have more than
  // kMaxImagePixels pixels, is not made, and the image itself is returned
  // (drawn stretched). At 96 DPI, GetImageEx. Images from numbered
  // resources have no variants. An image is found by its own name: without
  // it, its variants are not looked for.
  const ImageEntry* GetImageForDpi(const wchar_t* name, const wchar_t* resource_type, uint32_t mask, bool color_adjust,
                                   int dpi);
  // The names of the variants of image `name` for `dpi`, in the order they
  // are tried: those for that DPI or above, the nearest first (reduced,
  // they stay sharp), then those below, the nearest first. None at 96.
  static std::vector<std::wstring> VariantNames(const wchar_t* name, int dpi);

  // --- default attribute lists, keyed by element name as written
  void AddDefaultAttributeList(const wchar_t* name, const wchar_t* list, bool shared);
  const wchar_t* GetDefaultAttributeList(const wchar_t* name) const;

  // --- language strings (root only), keyed by the decimal text of the id
  void AddMultiLanguageString(int id, const wchar_t* text);
  const wchar_t* GetMultiLanguageString(int id) const;
  // Replaces every "%{n}" token whose id has a language string by that
  // string; other tokens stay as written. Replaced text is not scanned again.
  // Replacing makes a text at most kMaxExpandedChars long (or as long as it
  // was, when that is longer): the rest is cut (logged once per table).
  static constexpr size_t kMaxExpandedChars = 64 * 1024;
  std::wstring ProcessMultiLanguageTokens(const std::wstring& text) const;

  // --- default text colours of this table (a window's start as copies)
  DefaultColors& GetDefaultColors() { return colors_; }
  const DefaultColors& GetDefaultColors() const { return colors_; }

 private:
  template <typename Value>
  using Table = std::map<std::wstring, Value, std::less<>>;

  FontDescription MakeFont(const wchar_t* face, int size, bool bold, bool underline, bool italic,
                           bool default_font) const;
  const CResourceTablesUI& Root() const;
  // A new entry for this table, or null (logged) when it cannot be decoded
  // or does not fit.
  std::shared_ptr<ImageEntry> Decode(const std::vector<uint8_t>& bytes, const wchar_t* name,
                                     const wchar_t* resource_type, uint32_t mask, bool color_adjust);
  // The copy of image `name` for `dpi` (a variant, or the image resampled),
  // or null (logged) when none can be made.
  std::shared_ptr<ImageEntry> MakeCopyForDpi(const wchar_t* name, const wchar_t* resource_type, uint32_t mask,
                                             bool color_adjust, int dpi);
  size_t Room() const;

  CResourceTablesUI* parent_;
  FontDescription system_font_;
  Table<FontDescription> fonts_;
  std::unique_ptr<FontDescription> default_font_;
  // What an entry was made from: several names may share it. The bytes
  // themselves decide (a skin can make two images of one hash); the hash
  // only spares comparing them.
  struct DecodeKey {
    size_t hash;
    uint32_t mask;
    bool color_adjust;
    std::wstring resource_type;
    std::string bytes;
    bool operator<(const DecodeKey& other) const {
      return std::tie(hash, mask, color_adjust, resource_type, bytes) <
             std::tie(other.hash, other.mask, other.color_adjust, other.resource_type, other.bytes);
    }
  };

  Table<std::shared_ptr<ImageEntry>> images_;
  std::map<DecodeKey, std::shared_ptr<ImageEntry>> decoded_;  // null: failed
  // The copies for other DPIs, by image name and DPI; null: none could be
  // made (the image itself is drawn).
  std::map<std::pair<std::wstring, int>, std::shared_ptr<ImageEntry>> copies_;
  size_t image_bytes_ = 0;
  size_t image_byte_limit_ = kMaxImageBytes;
  Table<std::wstring> default_lists_;
  Table<std::wstring> language_strings_;
  mutable bool expansion_cut_logged_ = false;
  DefaultColors colors_;
};

}  // namespace Veneer
