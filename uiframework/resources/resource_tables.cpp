#include "uiframework/resources/resource_tables.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <functional>
#include <string_view>
#include <vector>

#include "basekit/log/log.h"
#include "uiframework/base/dpi_scale.h"
#include "uiframework/base/text_conv.h"
#include "uiframework/resources/image_resample.h"

namespace Veneer {

namespace {

constexpr const char* kLogSource = "resource_tables";
constexpr int kBoldWeight = 700;
constexpr uint8_t kProofQuality = 2;

FontDescription InitialSystemFont() {
  FontDescription font;
  font.face = L"MS Shell Dlg";
  font.height = -11;
  font.weight = 400;
  return font;
}

std::wstring IdKey(int id) { return std::to_wstring(id); }

template <typename Map>
auto Find(const Map& map, const wchar_t* key) -> decltype(&map.begin()->second) {
  if (key == nullptr) return nullptr;
  auto it = map.find(std::wstring_view(key));
  return it == map.end() ? nullptr : &it->second;
}

size_t ImageBytes(const ImageEntry& entry) { return (entry.pixels.size() + entry.original.size()) * sizeof(uint32_t); }

uint64_t NextImageSerial() {
  static uint64_t serial = 0;
  return ++serial;
}

// The variants a skin may carry beside an image, by the DPI they are drawn
// for.
struct Variant {
  int dpi;
  const wchar_t* suffix;
};
constexpr Variant kVariants[] = {{144, L"@1.5x"}, {192, L"@2x"}};

}  // namespace

CResourceTablesUI::CResourceTablesUI(CResourceTablesUI* parent) : parent_(parent), system_font_(InitialSystemFont()) {
  if (parent != nullptr) colors_ = parent->colors_;
}

CResourceTablesUI::~CResourceTablesUI() = default;

CResourceTablesUI& CResourceTablesUI::Shared() {
  static CResourceTablesUI shared;
  return shared;
}

CResourceTablesUI& CResourceTablesUI::Root() {
  CResourceTablesUI* tables = this;
  while (tables->parent_ != nullptr) tables = tables->parent_;
  return *tables;
}

const CResourceTablesUI& CResourceTablesUI::Root() const {
  const CResourceTablesUI* tables = this;
  while (tables->parent_ != nullptr) tables = tables->parent_;
  return *tables;
}

void CResourceTablesUI::Clear() {
  system_font_ = InitialSystemFont();
  fonts_.clear();
  default_font_.reset();
  images_.clear();
  decoded_.clear();
  copies_.clear();
  image_bytes_ = 0;
  default_lists_.clear();
  language_strings_.clear();
  expansion_cut_logged_ = false;
  colors_ = parent_ != nullptr ? parent_->colors_ : DefaultColors();
}

void CResourceTablesUI::SetSystemFont(const FontDescription& description) { Root().system_font_ = description; }

const FontDescription& CResourceTablesUI::GetSystemFont() const { return Root().system_font_; }

FontDescription CResourceTablesUI::MakeFont(const wchar_t* face, int size, bool bold, bool underline, bool italic,
                                            bool default_font) const {
  FontDescription font = GetSystemFont();
  font.face.assign(face, std::min(std::wcslen(face), kMaxFaceChars));
  font.charset = 1;
  font.height = size == INT32_MIN ? INT32_MAX : -size;
  if (default_font) {
    // The default font keeps the system font's quality and adds weight.
    if (bold) font.weight += kBoldWeight;
  } else {
    font.quality = kProofQuality;
    if (bold) font.weight = kBoldWeight;
  }
  font.underline = underline;
  font.italic = italic;
  return font;
}

const FontDescription* CResourceTablesUI::AddFont(int id, const wchar_t* face, int size, bool bold, bool underline,
                                                  bool italic, bool shared) {
  if (face == nullptr || face[0] == L'\0') {
    BASEKIT_LOG(Failure, "font %d without a face name not added", id);
    return nullptr;
  }
  CResourceTablesUI& tables = shared ? Root() : *this;
  FontDescription& entry = tables.fonts_[IdKey(id)];
  entry = MakeFont(face, size, bold, underline, italic, false);
  return &entry;
}

void CResourceTablesUI::SetDefaultFont(const wchar_t* face, int size, bool bold, bool underline, bool italic,
                                       bool shared) {
  if (face == nullptr) return;
  CResourceTablesUI& tables = shared ? Root() : *this;
  tables.default_font_ = std::make_unique<FontDescription>(MakeFont(face, size, bold, underline, italic, true));
}

const FontDescription& CResourceTablesUI::GetDefaultFont() const {
  for (const CResourceTablesUI* tables = this; tables != nullptr; tables = tables->parent_) {
    if (tables->default_font_) return *tables->default_font_;
  }
  return GetSystemFont();
}

const FontDescription& CResourceTablesUI::GetFont(int id) const {
  if (id >= 0) {
    std::wstring key = IdKey(id);
    for (const CResourceTablesUI* tables = this; tables != nullptr; tables = tables->parent_) {
      if (const FontDescription* font = Find(tables->fonts_, key.c_str())) return *font;
    }
  }
  return GetDefaultFont();
}

const ImageEntry* CResourceTablesUI::AddImage(const wchar_t* name, const wchar_t* resource_type, uint32_t mask,
                                              bool color_adjust, bool shared) {
  if (name == nullptr || name[0] == L'\0') return nullptr;
  CResourceTablesUI& tables = shared ? Root() : *this;
  const std::wstring type = resource_type != nullptr ? resource_type : L"";
  // A name is added once: a later declaration keeps the entry, which
  // controls of any window may be drawing (replacing it would free it under
  // them).
  if (const std::shared_ptr<ImageEntry>* kept = Find(tables.images_, name)) {
    const ImageEntry& entry = **kept;
    if (entry.mask != mask || entry.color_adjust != color_adjust || entry.resource_type != type) {
      BASEKIT_LOG(Lookup, "image %s declared again with other settings; the first declaration stays",
                  ToLogText(name).c_str());
    }
    return kept->get();
  }
  std::vector<uint8_t> bytes;
  if (!FetchImageBytes(name, resource_type, &bytes)) return nullptr;
  std::string kept_bytes(bytes.begin(), bytes.end());
  const size_t hash = std::hash<std::string>()(kept_bytes);
  auto [decoded, first] = tables.decoded_.try_emplace(DecodeKey{hash, mask, color_adjust, type, std::move(kept_bytes)});
  if (first) decoded->second = tables.Decode(bytes, name, resource_type, mask, color_adjust);
  if (!decoded->second) return nullptr;  // logged when it failed
  tables.images_[name] = decoded->second;
  return decoded->second.get();
}

size_t CResourceTablesUI::Room() const { return image_byte_limit_ - std::min(image_bytes_, image_byte_limit_); }

std::shared_ptr<ImageEntry> CResourceTablesUI::Decode(const std::vector<uint8_t>& bytes, const wchar_t* name,
                                                      const wchar_t* resource_type, uint32_t mask, bool color_adjust) {
  // The table's room is known before decoding: an image that cannot fit is
  // refused from its header.
  const size_t room = Room();
  std::unique_ptr<ImageEntry> entry = MakeImageEntry(bytes, name, resource_type, mask, color_adjust, room);
  if (!entry) return nullptr;
  const size_t entry_bytes = ImageBytes(*entry);
  if (entry_bytes > room) {
    BASEKIT_LOG(Failure, "image %s not kept: the window's images would need more than %lu bytes",
                ToLogText(name).c_str(), static_cast<unsigned long>(image_byte_limit_));
    return nullptr;
  }
  entry->serial = NextImageSerial();
  image_bytes_ += entry_bytes;
  return std::shared_ptr<ImageEntry>(std::move(entry));
}

const ImageEntry* CResourceTablesUI::GetImage(const wchar_t* name) const {
  for (const CResourceTablesUI* tables = this; tables != nullptr; tables = tables->parent_) {
    if (const std::shared_ptr<ImageEntry>* entry = Find(tables->images_, name)) return entry->get();
  }
  return nullptr;
}

const ImageEntry* CResourceTablesUI::GetImageEx(const wchar_t* name, const wchar_t* resource_type, uint32_t mask,
                                                bool color_adjust) {
  if (const ImageEntry* entry = GetImage(name)) return entry;
  return AddImage(name, resource_type, mask, color_adjust, false);
}

std::vector<std::wstring> CResourceTablesUI::VariantNames(const wchar_t* name, int dpi) {
  std::vector<std::wstring> names;
  if (name == nullptr || DpiScale(dpi).IsIdentity()) return names;
  dpi = DpiScale(dpi).Dpi();
  std::vector<Variant> order(std::begin(kVariants), std::end(kVariants));
  std::stable_sort(order.begin(), order.end(), [dpi](const Variant& a, const Variant& b) {
    const bool a_above = a.dpi >= dpi;
    const bool b_above = b.dpi >= dpi;
    if (a_above != b_above) return a_above;
    return a_above ? a.dpi < b.dpi : a.dpi > b.dpi;
  });
  // The suffix goes before the extension of the file name.
  const std::wstring_view whole(name);
  const size_t folder = whole.find_last_of(L"/\\");
  size_t dot = whole.rfind(L'.');
  if (dot == std::wstring_view::npos || (folder != std::wstring_view::npos && dot < folder)) dot = whole.size();
  for (const Variant& variant : order) {
    names.push_back(std::wstring(whole.substr(0, dot)) + variant.suffix + std::wstring(whole.substr(dot)));
  }
  return names;
}

const ImageEntry* CResourceTablesUI::GetImageForDpi(const wchar_t* name, const wchar_t* resource_type, uint32_t mask,
                                                    bool color_adjust, int dpi) {
  const DpiScale scale(dpi);
  if (scale.IsIdentity()) return GetImageEx(name, resource_type, mask, color_adjust);
  if (name == nullptr || name[0] == L'\0') return nullptr;
  const std::pair<std::wstring, int> key(name, scale.Dpi());
  auto [copy, first] = copies_.try_emplace(key);
  if (first) copy->second = MakeCopyForDpi(name, resource_type, mask, color_adjust, scale.Dpi());
  if (copy->second) return copy->second.get();
  return GetImageEx(name, resource_type, mask, color_adjust);
}

std::shared_ptr<ImageEntry> CResourceTablesUI::MakeCopyForDpi(const wchar_t* name, const wchar_t* resource_type,
                                                              uint32_t mask, bool color_adjust, int dpi) {
  const DpiScale scale(dpi);
  // The image's own size: from its entry when it is decoded already, else
  // from its header (a variant may spare decoding it at all).
  int width = 0;
  int height = 0;
  const ImageEntry* image = GetImage(name);
  if (image != nullptr) {
    width = image->width;
    height = image->height;
  } else {
    std::vector<uint8_t> bytes;
    if (!FetchImageBytes(name, resource_type, &bytes) || !ReadImageSize(bytes.data(), bytes.size(), &width, &height)) {
      return nullptr;  // logged
    }
  }
  const int copy_width = std::max(1, scale.Scale(width));
  const int copy_height = std::max(1, scale.Scale(height));
  const uint64_t pixels = static_cast<uint64_t>(copy_width) * static_cast<uint64_t>(copy_height);
  const uint64_t copy_bytes = pixels * sizeof(uint32_t) * (color_adjust ? 2 : 1);
  if (pixels > kMaxImagePixels || copy_bytes > Room()) {
    BASEKIT_LOG(Failure, "image %s: no %dx%d copy for %d DPI (more than %s); drawn stretched", ToLogText(name).c_str(),
                copy_width, copy_height, scale.Dpi(),
                pixels > kMaxImagePixels ? "a skin image's pixels" : "the room left to the window's images");
    return nullptr;
  }
  std::unique_ptr<ImageEntry> copy;
  // A variant the skin carries, brought to the size if it is not.
  const bool has_variants = resource_type == nullptr || resource_type[0] == L'\0';
  for (const std::wstring& variant : has_variants ? VariantNames(name, scale.Dpi()) : std::vector<std::wstring>()) {
    std::vector<uint8_t> bytes;
    if (!FetchImageBytes(variant.c_str(), nullptr, &bytes, true)) continue;  // not carried
    std::unique_ptr<ImageEntry> decoded = MakeImageEntry(bytes, variant.c_str(), nullptr, mask, color_adjust, Room());
    if (!decoded) continue;  // logged
    copy = decoded->width == copy_width && decoded->height == copy_height
               ? std::move(decoded)
               : ResampleImage(*decoded, copy_width, copy_height);
    break;
  }
  // Else the image itself, resampled once.
  if (!copy) {
    if (image == nullptr) image = GetImageEx(name, resource_type, mask, color_adjust);
    if (image == nullptr) return nullptr;  // logged
    if (copy_bytes > Room()) {
      BASEKIT_LOG(Failure, "image %s: no copy for %d DPI beside the image; drawn stretched", ToLogText(name).c_str(),
                  scale.Dpi());
      return nullptr;
    }
    copy = ResampleImage(*image, copy_width, copy_height);
    if (!copy) return nullptr;
    BASEKIT_LOG(Lookup, "image %s: no variant for %d DPI; resampled from %dx%d to %dx%d", ToLogText(name).c_str(),
                scale.Dpi(), image->width, image->height, copy_width, copy_height);
  }
  copy->dpi = scale.Dpi();
  copy->mask = mask;
  copy->resource_type = resource_type != nullptr ? resource_type : L"";
  copy->serial = NextImageSerial();
  image_bytes_ += ImageBytes(*copy);
  return std::shared_ptr<ImageEntry>(std::move(copy));
}

void CResourceTablesUI::AddDefaultAttributeList(const wchar_t* name, const wchar_t* list, bool shared) {
  if (name == nullptr || list == nullptr) return;
  (shared ? Root() : *this).default_lists_[name] = list;
}

const wchar_t* CResourceTablesUI::GetDefaultAttributeList(const wchar_t* name) const {
  for (const CResourceTablesUI* tables = this; tables != nullptr; tables = tables->parent_) {
    if (const std::wstring* list = Find(tables->default_lists_, name)) return list->c_str();
  }
  return nullptr;
}

void CResourceTablesUI::AddMultiLanguageString(int id, const wchar_t* text) {
  if (text == nullptr) return;
  Root().language_strings_[IdKey(id)] = text;
}

const wchar_t* CResourceTablesUI::GetMultiLanguageString(int id) const {
  std::wstring key = IdKey(id);
  const std::wstring* text = Find(Root().language_strings_, key.c_str());
  return text != nullptr ? text->c_str() : nullptr;
}

std::wstring CResourceTablesUI::ProcessMultiLanguageTokens(const std::wstring& text) const {
  const auto& strings = Root().language_strings_;
  if (strings.empty() || text.find(L"%{") == std::wstring::npos) return text;
  // Replacing never makes a text longer than the bound (or than itself).
  const size_t bound = std::max(text.size(), kMaxExpandedChars);
  std::wstring out;
  out.reserve(text.size());
  // Appends up to the bound; false once the text has been cut there.
  auto append = [&out, bound](const std::wstring& from, size_t pos, size_t count) {
    const size_t room = bound - out.size();
    out.append(from, pos, std::min(count, room));
    return count <= room;
  };
  bool whole = true;
  size_t pos = 0;
  while (whole && pos < text.size()) {
    size_t start = text.find(L"%{", pos);
    if (start == std::wstring::npos) break;
    size_t digits = start + 2;
    size_t end = digits;
    while (end < text.size() && text[end] >= L'0' && text[end] <= L'9') ++end;
    if (end > digits && end < text.size() && text[end] == L'}') {
      // The key is the id's decimal text, so "%{007}" names id 7.
      const std::wstring* value = nullptr;
      if (end - digits <= 9) value = Find(strings, IdKey(std::stoi(text.substr(digits, end - digits))).c_str());
      if (value != nullptr) {
        whole = append(text, pos, start - pos) && append(*value, 0, value->size());
        pos = end + 1;
        continue;
      }
    }
    whole = append(text, pos, start + 2 - pos);
    pos = start + 2;
  }
  if (whole && pos < text.size()) whole = append(text, pos, text.size() - pos);
  if (!whole && !expansion_cut_logged_) {
    expansion_cut_logged_ = true;
    BASEKIT_LOG(Failure, "text with language tokens cut at %lu characters", static_cast<unsigned long>(bound));
  }
  return out;
}

}  // namespace Veneer
