#include "uiframework/core/paint_host.h"

#include <cwchar>

#include "basekit/log/log.h"
#include "uiframework/core/control.h"
#include "uiframework/core/text_conv.h"

namespace Veneer {

namespace {

constexpr const char* kLogSource = "paint_host";
constexpr int kBoldWeight = 700;
constexpr uint8_t kProofQuality = 2;

FontDescription InitialSystemFont() {
  FontDescription font;
  font.face = L"MS Shell Dlg";
  font.height = -11;
  font.weight = 400;
  return font;
}

struct SharedResources {
  FontDescription system_font = InitialSystemFont();
  std::map<std::wstring, FontEntry, std::less<>> fonts;
  std::unique_ptr<FontEntry> default_font;
  std::map<std::wstring, std::unique_ptr<ImageEntry>, std::less<>> images;
  std::map<std::wstring, std::wstring, std::less<>> default_lists;
  std::map<std::wstring, std::wstring, std::less<>> language_strings;
  DefaultColors colors;
};

SharedResources& Shared() {
  static SharedResources shared;
  return shared;
}

std::wstring IdKey(int id) { return std::to_wstring(id); }

template <typename Map>
auto Find(const Map& map, const wchar_t* key) -> decltype(&map.begin()->second) {
  if (key == nullptr) return nullptr;
  auto it = map.find(std::wstring_view(key));
  return it == map.end() ? nullptr : &it->second;
}

}  // namespace

CPaintHostUI::CPaintHostUI() : colors_(Shared().colors) {}

CPaintHostUI::~CPaintHostUI() {
  if (root_ != nullptr) root_->Delete();
}

bool CPaintHostUI::AttachDialog(CControlUI* root) {
  if (root == nullptr) return false;
  if (root_ != nullptr && root_ != root) root_->Delete();
  root_ = root;
  root->SetHost(this, nullptr, true);
  return true;
}

void CPaintHostUI::SetInitSize(int cx, int cy) {
  init_size_ = UiSize{cx, cy};
  if (root_ == nullptr && window_ != nullptr) window_->ResizeWindow(cx, cy);
}

void CPaintHostUI::SetOpacity(int opacity) {
  opacity_ = opacity < 0 ? 0 : (opacity > kOpaque ? kOpaque : opacity);
}

DefaultColors& CPaintHostUI::GetSharedDefaultColors() { return Shared().colors; }

void CPaintHostUI::SetSystemDefaultFont(const FontDescription& description) { Shared().system_font = description; }

const FontDescription& CPaintHostUI::GetSystemDefaultFont() { return Shared().system_font; }

FontEntry CPaintHostUI::MakeFontEntry(const wchar_t* face, int size, bool bold, bool underline, bool italic,
                                      bool default_font) {
  FontEntry entry;
  entry.description = GetSystemDefaultFont();
  entry.description.face.assign(face, std::min(std::wcslen(face), kMaxFaceChars));
  entry.description.charset = 1;
  entry.description.height = -size;
  if (default_font) {
    // The default font keeps the system font's quality and adds weight.
    if (bold) entry.description.weight += kBoldWeight;
  } else {
    entry.description.quality = kProofQuality;
    if (bold) entry.description.weight = kBoldWeight;
  }
  entry.description.underline = underline;
  entry.description.italic = italic;
  entry.face = entry.description.face;
  entry.size = size;
  entry.bold = bold;
  entry.underline = underline;
  entry.italic = italic;
  return entry;
}

const FontEntry* CPaintHostUI::AddFont(int id, const wchar_t* face, int size, bool bold, bool underline,
                                       bool italic, bool shared) {
  if (face == nullptr || face[0] == L'\0') {
    basekit::LogPrintf(6, kLogSource, __LINE__, "font %d without a face name not added", id);
    return nullptr;
  }
  auto& table = shared ? Shared().fonts : fonts_;
  FontEntry& entry = table[IdKey(id)];
  entry = MakeFontEntry(face, size, bold, underline, italic, false);
  return &entry;
}

void CPaintHostUI::SetDefaultFont(const wchar_t* face, int size, bool bold, bool underline, bool italic,
                                  bool shared) {
  if (face == nullptr) return;
  auto entry = std::make_unique<FontEntry>(MakeFontEntry(face, size, bold, underline, italic, true));
  (shared ? Shared().default_font : default_font_) = std::move(entry);
}

const FontEntry* CPaintHostUI::GetDefaultFont() const {
  if (default_font_) return default_font_.get();
  SharedResources& shared = Shared();
  if (!shared.default_font) {
    shared.default_font = std::make_unique<FontEntry>();
    shared.default_font->description = shared.system_font;
    shared.default_font->face = shared.system_font.face;
    shared.default_font->size = -shared.system_font.height;
  }
  return shared.default_font.get();
}

const FontEntry* CPaintHostUI::GetFont(int id) const {
  std::wstring key = IdKey(id);
  if (const FontEntry* entry = Find(fonts_, key.c_str())) return entry;
  if (const FontEntry* entry = Find(Shared().fonts, key.c_str())) return entry;
  return GetDefaultFont();
}

const ImageEntry* CPaintHostUI::AddImage(const wchar_t* name, const wchar_t* resource_type, uint32_t mask,
                                         bool color_adjust, bool shared) {
  if (name == nullptr || name[0] == L'\0') return nullptr;
  std::unique_ptr<ImageEntry> entry = LoadImageEntry(name, resource_type, mask, color_adjust);
  if (!entry) return nullptr;
  auto& table = shared ? Shared().images : images_;
  std::unique_ptr<ImageEntry>& slot = table[name];
  slot = std::move(entry);  // frees an entry of the same name
  return slot.get();
}

const ImageEntry* CPaintHostUI::GetImage(const wchar_t* name) const {
  if (const std::unique_ptr<ImageEntry>* entry = Find(images_, name)) return entry->get();
  if (const std::unique_ptr<ImageEntry>* entry = Find(Shared().images, name)) return entry->get();
  return nullptr;
}

const ImageEntry* CPaintHostUI::GetImageEx(const wchar_t* name, const wchar_t* resource_type, uint32_t mask,
                                           bool color_adjust) {
  if (const ImageEntry* entry = GetImage(name)) return entry;
  return AddImage(name, resource_type, mask, color_adjust, false);
}

void CPaintHostUI::AddDefaultAttributeList(const wchar_t* name, const wchar_t* list, bool shared) {
  if (name == nullptr || list == nullptr) return;
  (shared ? Shared().default_lists : default_lists_)[name] = list;
}

const wchar_t* CPaintHostUI::GetDefaultAttributeList(const wchar_t* name) const {
  if (const std::wstring* list = Find(default_lists_, name)) return list->c_str();
  if (const std::wstring* list = Find(Shared().default_lists, name)) return list->c_str();
  return nullptr;
}

void CPaintHostUI::AddMultiLanguageString(int id, const wchar_t* text) {
  if (text == nullptr) return;
  Shared().language_strings[IdKey(id)] = text;
}

const wchar_t* CPaintHostUI::GetMultiLanguageString(int id) {
  std::wstring key = IdKey(id);
  const std::wstring* text = Find(Shared().language_strings, key.c_str());
  return text != nullptr ? text->c_str() : nullptr;
}

std::wstring CPaintHostUI::ProcessMultiLanguageTokens(const std::wstring& text) {
  const auto& strings = Shared().language_strings;
  if (strings.empty() || text.find(L"%{") == std::wstring::npos) return text;
  std::wstring out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
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
        out.append(text, pos, start - pos);
        out.append(*value);
        pos = end + 1;
        continue;
      }
    }
    out.append(text, pos, start + 2 - pos);
    pos = start + 2;
  }
  out.append(text, pos, std::wstring::npos);
  return out;
}

void CPaintHostUI::ResetSharedResources() { Shared() = SharedResources(); }

}  // namespace Veneer
