#include "uiframework/markup/markup_doc.h"

#include <cwchar>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "basekit/log/log.h"
#include "uiframework/base/text_conv.h"

namespace Veneer {

namespace {

constexpr const char* kLogSource = "markup_doc";

// Character classes of the ASCII range; characters from 128 up are letters
// (so both builds, UTF-16 and UTF-32 wchar_t, read the same names) and stop
// nothing.
enum : uint8_t {
  kSpace = 1,       // codes 1 to 32
  kIdentifier = 2,  // letters, digits, "_" and ":"
  kStopText = 4,    // end of character data: terminator, "<", "&"
  kStopValue = 8,   // end of an attribute value: terminator, double quote, "&"
};

constexpr auto kClasses = [] {
  struct Table {
    uint8_t bits[129] = {};
  } table;
  table.bits[128] = kIdentifier;  // every code from 128 up
  for (int c = 1; c <= 32; ++c) table.bits[c] |= kSpace;
  for (int c = '0'; c <= '9'; ++c) table.bits[c] |= kIdentifier;
  for (int c = 'a'; c <= 'z'; ++c) table.bits[c] |= kIdentifier;
  for (int c = 'A'; c <= 'Z'; ++c) table.bits[c] |= kIdentifier;
  table.bits[static_cast<uint8_t>('_')] |= kIdentifier;
  table.bits[static_cast<uint8_t>(':')] |= kIdentifier;
  table.bits[0] |= kStopText | kStopValue;
  table.bits[static_cast<uint8_t>('<')] |= kStopText;
  table.bits[static_cast<uint8_t>('"')] |= kStopValue;
  table.bits[static_cast<uint8_t>('&')] |= kStopText | kStopValue;
  return table;
}();

inline bool Is(wchar_t c, uint8_t mask) {
  auto code = static_cast<uint32_t>(c);
  return code < 128 ? (kClasses.bits[code] & mask) != 0 : (kClasses.bits[128] & mask) != 0;
}

inline bool IsSpace(wchar_t c) { return Is(c, kSpace); }

inline bool IsIdentifier(wchar_t c) { return Is(c, kIdentifier); }

inline void SkipSpace(const wchar_t* text, uint32_t& pos) {
  while (IsSpace(text[pos])) ++pos;
}

// Advances pos past a run of identifier characters, four at a time.
inline void SkipIdentifier(const wchar_t* text, uint32_t& pos) {
  for (;;) {
    if (!IsIdentifier(text[pos])) return;
    if (!IsIdentifier(text[pos + 1])) {
      pos += 1;
      return;
    }
    if (!IsIdentifier(text[pos + 2])) {
      pos += 2;
      return;
    }
    if (!IsIdentifier(text[pos + 3])) {
      pos += 3;
      return;
    }
    pos += 4;
  }
}

// The position of the first terminator, "&" or `end` at or after pos. The
// text carries kPadding characters after its terminators, so the vector
// loads never leave the buffer.
inline uint32_t FindDataStop(const wchar_t* text, uint32_t pos, wchar_t end) {
#if defined(__SSE2__)
  constexpr uint32_t kLanes = 16 / sizeof(wchar_t);
  for (;; pos += kLanes) {
    __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + pos));
    __m128i hit;
    if constexpr (sizeof(wchar_t) == 4) {
      hit = _mm_or_si128(
          _mm_or_si128(_mm_cmpeq_epi32(chunk, _mm_setzero_si128()), _mm_cmpeq_epi32(chunk, _mm_set1_epi32(L'&'))),
          _mm_cmpeq_epi32(chunk, _mm_set1_epi32(static_cast<int>(end))));
    } else {
      hit = _mm_or_si128(
          _mm_or_si128(_mm_cmpeq_epi16(chunk, _mm_setzero_si128()), _mm_cmpeq_epi16(chunk, _mm_set1_epi16(L'&'))),
          _mm_cmpeq_epi16(chunk, _mm_set1_epi16(static_cast<short>(end))));
    }
    int mask = _mm_movemask_epi8(hit);
    if (mask != 0) return pos + static_cast<uint32_t>(__builtin_ctz(static_cast<unsigned>(mask))) / sizeof(wchar_t);
  }
#else
  const uint8_t stop = end == L'<' ? kStopText : kStopValue;
  for (;; pos += 4) {
    if (Is(text[pos], stop)) return pos;
    if (Is(text[pos + 1], stop)) return pos + 1;
    if (Is(text[pos + 2], stop)) return pos + 2;
    if (Is(text[pos + 3], stop)) return pos + 3;
  }
#endif
}

}  // namespace

// ---------------------------------------------------------------------------
// CMarkupElement

const wchar_t* CMarkupElement::GetName() const {
  if (owner_ == nullptr) return nullptr;
  return owner_->text_.get() + owner_->elements_[index_].name;
}

const wchar_t* CMarkupElement::GetValue() const {
  if (owner_ == nullptr) return nullptr;
  return owner_->text_.get() + owner_->elements_[index_].data;
}

CMarkupElement CMarkupElement::GetChild() const {
  if (owner_ == nullptr) return CMarkupElement();
  uint32_t child = owner_->elements_[index_].child;
  return child == 0 ? CMarkupElement() : CMarkupElement(owner_, child);
}

CMarkupElement CMarkupElement::GetSibling() const {
  if (owner_ == nullptr) return CMarkupElement();
  uint32_t next = owner_->elements_[index_].next;
  return next == 0 ? CMarkupElement() : CMarkupElement(owner_, next);
}

CMarkupElement CMarkupElement::GetParent() const {
  if (owner_ == nullptr) return CMarkupElement();
  uint32_t parent = owner_->elements_[index_].parent;
  return parent == 0 ? CMarkupElement() : CMarkupElement(owner_, parent);
}

bool CMarkupElement::HasChildren() const { return owner_ != nullptr && owner_->elements_[index_].child != 0; }

// Walks the element's start tag as the parse left it: name, terminator,
// blanks (the "=" became one), quote, value, terminator (decoding may have
// left blanks after it), next name ... up to the data start.
void CMarkupElement::MapAttributes() const {
  if (mapped_) return;
  mapped_ = true;
  attribute_count_ = 0;
  if (owner_ == nullptr) return;
  const wchar_t* text = owner_->text_.get();
  const CMarkupDoc::Element& element = owner_->elements_[index_];
  const uint32_t end = element.data;
  uint32_t pos = element.name;
  pos += static_cast<uint32_t>(std::wcslen(text + pos)) + 1;
  while (pos < end) {
    SkipSpace(text, pos);
    uint32_t name = pos;
    pos += static_cast<uint32_t>(std::wcslen(text + pos)) + 1;
    if (pos >= end) return;
    SkipSpace(text, pos);
    if (text[pos] != L'"') return;
    ++pos;
    attributes_[attribute_count_++] = Attribute{name, pos};
    if (attribute_count_ >= kMaxAttributes) return;
    pos += static_cast<uint32_t>(std::wcslen(text + pos)) + 1;
  }
}

int CMarkupElement::GetAttributeCount() const {
  MapAttributes();
  return attribute_count_;
}

const wchar_t* CMarkupElement::GetAttributeName(int index) const {
  if (owner_ == nullptr) return nullptr;
  MapAttributes();
  if (index < 0 || index >= attribute_count_) return L"";
  return owner_->text_.get() + attributes_[index].name;
}

const wchar_t* CMarkupElement::GetAttributeValue(int index) const {
  if (owner_ == nullptr) return nullptr;
  MapAttributes();
  if (index < 0 || index >= attribute_count_) return L"";
  return owner_->text_.get() + attributes_[index].value;
}

const wchar_t* CMarkupElement::GetAttributeValue(const wchar_t* name) const {
  if (owner_ == nullptr || name == nullptr) return nullptr;
  MapAttributes();
  const wchar_t* text = owner_->text_.get();
  for (int i = 0; i < attribute_count_; ++i) {
    if (std::wcscmp(text + attributes_[i].name, name) == 0) return text + attributes_[i].value;
  }
  return nullptr;
}

bool CMarkupElement::GetAttributeValue(const wchar_t* name, wchar_t* buffer, size_t capacity) const {
  const wchar_t* value = GetAttributeValue(name);
  if (value == nullptr) return false;
  if (buffer != nullptr && capacity > 0) {
    size_t length = std::wcslen(value);
    if (length > capacity - 1) length = capacity - 1;
    std::wmemcpy(buffer, value, length);
    buffer[length] = L'\0';
  }
  return true;
}

// ---------------------------------------------------------------------------
// CMarkupDoc

CMarkupDoc::CMarkupDoc() = default;

CMarkupDoc::CMarkupDoc(const wchar_t* text) { Load(text); }

void CMarkupDoc::Release() {
  text_.reset();
  std::vector<Element>().swap(elements_);
  element_count_ = 0;
}

CMarkupElement CMarkupDoc::GetRoot() const {
  if (element_count_ <= 1) return CMarkupElement();
  return CMarkupElement(this, 1);
}

bool CMarkupDoc::Load(const wchar_t* text) {
  Release();
  if (text != nullptr) {
    size_t length = std::wcslen(text);
    if (length > kMaxTextChars) return TooLarge(length);
    CopyText(text, length);
  }
  return Parse();
}

bool CMarkupDoc::TooLarge(size_t size) {
  SetError(L"Document too large", nullptr);
  BASEKIT_LOG(Failure, "skin text of %lu units is too large to index", static_cast<unsigned long>(size));
  return false;
}

bool CMarkupDoc::LoadFromMem(const uint8_t* data, size_t size, int encoding) {
  Release();
  if (data == nullptr) size = 0;
  if (size > kMaxTextChars) return TooLarge(size);
  switch (encoding) {
    case kUtf8:
      if (size > 2 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        data += 3;
        size -= 3;
      }
      {
        // One wide character per byte at most; filled without zeroing first.
        std::unique_ptr<wchar_t[]> text(new wchar_t[size + 2 + kPadding]);
        size_t length = DecodeUtf8(data, size, text.get());
        AdoptText(std::move(text), length);
        break;
      }
    case kUtf16: {
      // Without a byte-order mark there is nothing to read the units by.
      bool little = size > 1 && data[0] == 0xFF && data[1] == 0xFE;
      bool big = size > 1 && data[0] == 0xFE && data[1] == 0xFF;
      if (!little && !big) {
        SetError(L"Expected byte-order mark", nullptr);
        BASEKIT_LOG(Failure, "UTF-16 skin text without a byte-order mark (%lu bytes)",
                    static_cast<unsigned long>(size));
        return false;
      }
      size_t count = size / 2 - 1;
      std::u16string units(count, u'\0');
      for (size_t i = 0; i < count; ++i) {
        uint8_t first = data[2 + 2 * i];
        uint8_t second = data[3 + 2 * i];
        units[i] = little ? static_cast<char16_t>(first | (second << 8)) : static_cast<char16_t>(second | (first << 8));
      }
      std::wstring text = Utf16ToWide(units.data(), units.size());
      CopyText(text.data(), text.size());
      break;
    }
    case kAnsi: {
      std::wstring text = AnsiToWide(reinterpret_cast<const char*>(data), size);
      CopyText(text.data(), text.size());
      break;
    }
    default:
      SetError(L"Unknown encoding", nullptr);
      BASEKIT_LOG(Failure, "unknown skin text encoding %d", encoding);
      return false;
  }
  return Parse();
}

void CMarkupDoc::SetLoadError(const wchar_t* message) {
  Release();
  SetError(message != nullptr ? message : L"", nullptr);
}

void CMarkupDoc::AdoptText(std::unique_ptr<wchar_t[]> text, size_t length) {
  text_ = std::move(text);
  std::wmemset(text_.get() + length, L'\0', 2 + kPadding);
}

void CMarkupDoc::CopyText(const wchar_t* text, size_t length) {
  std::unique_ptr<wchar_t[]> copy(new wchar_t[length + 2 + kPadding]);
  std::wmemcpy(copy.get(), text, length);
  AdoptText(std::move(copy), length);
}

void CMarkupDoc::SetError(const wchar_t* message, const wchar_t* location) {
  std::wcsncpy(error_message_, message, kMaxErrorMessage);
  error_message_[kMaxErrorMessage] = L'\0';
  if (location == nullptr) location = L"";
  std::wcsncpy(error_location_, location, kMaxErrorLocation);
  error_location_[kMaxErrorLocation] = L'\0';
}

bool CMarkupDoc::Fail(const wchar_t* message, const wchar_t* location) {
  SetError(message, location);
  // Parsing writes only behind the read position, so the offset is the
  // character's in the document as loaded.
  const auto offset = static_cast<unsigned long>(location - text_.get());
  BASEKIT_LOG(Failure, "skin markup: %s at character %lu (\"%s\")", ToLogText(error_message_).c_str(), offset,
              ToLogText(error_location_).c_str());
  Release();
  return false;
}

uint32_t CMarkupDoc::ReserveElement() {
  if (element_count_ == elements_.size()) {
    elements_.resize(elements_.size() + elements_.size() / 2 + 500);
  }
  return element_count_++;
}

// Character data up to `end` ("<" or a double quote), decoded onto itself.
// On return pos is on the end character (or the end of the text) and
// *dest_end is one past the decoded text; the characters between them are
// blanks so that attribute mapping can step over a shortened value.
void CMarkupDoc::ParseData(uint32_t& pos, wchar_t end, uint32_t* dest_end) {
  wchar_t* text = text_.get();
  // Nothing moves until the first entity.
  pos = FindDataStop(text, pos, end);
  uint32_t dest = pos;
  for (;;) {
    wchar_t c = text[pos];
    if (c == L'\0' || c == end) break;
    if (c == L'&') {
      while (text[pos] == L'&') {
        ++pos;
        ParseEntity(pos, dest);
      }
      continue;
    }
    text[dest++] = text[pos++];
  }
  *dest_end = dest;
  for (uint32_t i = dest + 1; i < pos; ++i) text[i] = L' ';
}

// pos is just past an "&". The five named entities decode; anything else
// leaves a literal "&" and the following text is read as ordinary text.
void CMarkupDoc::ParseEntity(uint32_t& pos, uint32_t& dest) {
  wchar_t* text = text_.get();
  const wchar_t* p = text + pos;
  if (p[0] == L'a' && p[1] == L'm' && p[2] == L'p' && p[3] == L';') {
    text[dest++] = L'&';
    pos += 4;
  } else if (p[0] == L'l' && p[1] == L't' && p[2] == L';') {
    text[dest++] = L'<';
    pos += 3;
  } else if (p[0] == L'g' && p[1] == L't' && p[2] == L';') {
    text[dest++] = L'>';
    pos += 3;
  } else if (p[0] == L'q' && p[1] == L'u' && p[2] == L'o' && p[3] == L't' && p[4] == L';') {
    text[dest++] = L'"';
    pos += 5;
  } else if (p[0] == L'a' && p[1] == L'p' && p[2] == L'o' && p[3] == L's' && p[4] == L';') {
    text[dest++] = L'\'';
    pos += 5;
  } else {
    text[dest++] = L'&';
  }
}

// pos is right after the element name.
bool CMarkupDoc::ParseAttributes(uint32_t& pos) {
  wchar_t* text = text_.get();
  if (text[pos] == L'>') return true;
  // "<name/>": an empty element even without a blank before "/>".
  if (text[pos] == L'/' && text[pos + 1] == L'>') return true;
  text[pos++] = L'\0';  // ends the element name
  for (;;) {
    SkipSpace(text, pos);
    wchar_t c = text[pos];
    if (c == L'\0' || c == L'>' || c == L'/') return true;
    SkipIdentifier(text, pos);
    uint32_t name_end = pos;
    SkipSpace(text, pos);
    if (text[pos] != L'=') return Fail(L"Error while parsing attributes", text + pos);
    text[pos] = L' ';
    text[name_end] = L'\0';
    ++pos;
    SkipSpace(text, pos);
    if (text[pos] != L'"') return Fail(L"Expected attribute value", text + pos);
    ++pos;
    uint32_t dest_end;
    ParseData(pos, L'"', &dest_end);
    if (text[pos] == L'\0') return Fail(L"Error while parsing attribute string", text + pos);
    text[dest_end] = L'\0';
    if (dest_end < pos) text[pos] = L' ';
    ++pos;
  }
}

// One loop over the whole text with an explicit stack of open levels, so
// that deeply nested input cannot exhaust the thread's stack. A level is the
// list of children of one element (or the top level, parent 0).
bool CMarkupDoc::Parse() {
  if (!text_) CopyText(L"", 0);
  // Two terminators: the parse looks one character past a non-terminator.
  wchar_t* text = text_.get();
  elements_.clear();
  element_count_ = 0;
  ReserveElement();  // record 0 is never an element
  error_message_[0] = L'\0';
  error_location_[0] = L'\0';

  struct Level {
    uint32_t parent;
    uint32_t previous;  // previous element of this level, 0 if none
    uint32_t open;      // element whose children the next level reads
    uint32_t open_name_end;
  };
  std::vector<Level> levels;
  levels.push_back(Level{0, 0, 0, 0});
  uint32_t pos = 0;

  for (;;) {
    Level& level = levels.back();
    bool level_done = false;
    SkipSpace(text, pos);
    if (text[pos] == L'\0' && level.parent <= 1) {
      level_done = true;  // a document may end inside its root element
    } else {
      if (text[pos] != L'<') return Fail(L"Expected start tag", text + pos);
      if (text[pos + 1] == L'/') level_done = true;  // the parent's end tag
    }

    uint32_t element = 0;
    uint32_t name_end = 0;
    bool has_content = false;  // a start tag ending in ">" awaits its end tag
    if (!level_done) {
      text[pos++] = L'\0';
      SkipSpace(text, pos);
      if (text[pos] == L'!' || text[pos] == L'?') {
        // Comment, declaration or processing instruction: skipped whole.
        wchar_t first = text[pos] == L'!' ? L'-' : L'?';
        while (text[pos] != L'\0' && !(text[pos] == first && text[pos + 1] == L'>')) ++pos;
        if (text[pos] != L'\0') pos += 2;
        continue;
      }
      element = ReserveElement();
      Element& record = elements_[element];
      record = Element{pos, 0, 0, level.parent, 0};
      if (level.previous != 0) {
        elements_[level.previous].next = element;
      } else if (level.parent > 0) {
        elements_[level.parent].child = element;
      }
      SkipIdentifier(text, pos);
      if (text[pos] == L'\0') return Fail(L"Error parsing element name", text + pos);
      name_end = pos;
      if (!ParseAttributes(pos)) return false;
      SkipSpace(text, pos);
      if (text[pos] == L'/' && text[pos + 1] == L'>') {
        elements_[element].data = pos;
        text[pos] = L'\0';
        pos += 2;
      } else {
        if (text[pos] != L'>') return Fail(L"Expected start-tag closing", text + pos);
        // The ">" also ends the name when no attribute did.
        text[pos++] = L'\0';
        has_content = true;
        elements_[element].data = pos;
        uint32_t dest_end;
        ParseData(pos, L'<', &dest_end);
        if (dest_end < pos) text[dest_end] = L'\0';
        if (text[pos] == L'\0' && level.parent <= 1) {
          level_done = true;
        } else {
          if (text[pos] != L'<') return Fail(L"Expected end-tag start", text + pos);
          if (text[pos + 1] != L'/') {
            level.open = element;
            level.open_name_end = name_end;
            levels.push_back(Level{element, 0, 0, 0});
            continue;
          }
        }
      }
    }

    if (level_done) {
      // This level is complete: resume the enclosing one at the end tag of
      // the element whose children were just read.
      levels.pop_back();
      if (levels.empty()) return true;
      element = levels.back().open;
      name_end = levels.back().open_name_end;
      has_content = true;
    }

    // The end tag of `element`, when one follows.
    if (has_content && text[pos] == L'<' && text[pos + 1] == L'/') {
      text[pos] = L'\0';
      pos += 2;
      SkipSpace(text, pos);
      const uint32_t name = elements_[element].name;
      const uint32_t length = name_end - name;
      for (uint32_t i = 0; i < length; ++i) {
        if (text[pos + i] != text[name + i]) return Fail(L"Unmatched closing tag", text + pos);
      }
      pos += length;
      SkipSpace(text, pos);
      if (text[pos] != L'>') return Fail(L"Unmatched closing tag", text + pos);
      ++pos;
    }
    levels.back().previous = element;
  }
}

}  // namespace Veneer
