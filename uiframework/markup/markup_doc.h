#pragma once

// The skin markup reader: a small non-validating XML parser for the skin
// dialect (elements, double-quoted attributes, the five named entities,
// character data; comments and processing instructions are skipped).
//
// The document keeps one private wide-character copy of the text and parses
// it in place: names, values and character data become terminated strings
// inside that copy, and the element table holds indexes into it. Every
// handle and every string obtained from a document is therefore valid only
// while the document lives and is not reloaded or released.
//
// Whitespace is always preserved: values and character data keep their
// blanks, tabs and line breaks exactly as written.
//
// Parsing never throws (except std::bad_alloc) and never shows anything: a
// failed load returns false, releases the document and keeps a message and
// up to 49 characters of text from the failure point.
//
// Thread affinity: a document and its handles belong to one thread.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Veneer {

class CMarkupDoc;

// A light handle on one element, copied by value. Attribute lookups map the
// element's attributes on first use (at most kMaxAttributes; later ones are
// not seen).
class CMarkupElement {
 public:
  static constexpr int kMaxAttributes = 64;

  CMarkupElement() = default;

  bool IsValid() const { return owner_ != nullptr; }
  const wchar_t* GetName() const;   // null for an invalid handle
  const wchar_t* GetValue() const;  // the character data; null when invalid
  CMarkupElement GetChild() const;
  CMarkupElement GetSibling() const;
  CMarkupElement GetParent() const;
  bool HasChildren() const;

  int GetAttributeCount() const;
  bool HasAttributes() const { return GetAttributeCount() > 0; }
  // The i-th name or value: "" for an index outside 0..count-1, null for an
  // invalid handle.
  const wchar_t* GetAttributeName(int index) const;
  const wchar_t* GetAttributeValue(int index) const;
  // Case-sensitive lookup by name; null when absent.
  const wchar_t* GetAttributeValue(const wchar_t* name) const;
  // Case-sensitive lookup by name; copies at most capacity - 1 characters of
  // the value into buffer and always terminates it. False when absent (the
  // buffer is left untouched).
  bool GetAttributeValue(const wchar_t* name, wchar_t* buffer, size_t capacity) const;

 private:
  friend class CMarkupDoc;
  struct Attribute {
    uint32_t name;
    uint32_t value;
  };

  CMarkupElement(const CMarkupDoc* owner, uint32_t index) : owner_(owner), index_(index) {}
  void MapAttributes() const;

  const CMarkupDoc* owner_ = nullptr;
  uint32_t index_ = 0;
  mutable bool mapped_ = false;
  mutable int attribute_count_ = 0;
  mutable Attribute attributes_[kMaxAttributes] = {};
};

class CMarkupDoc {
 public:
  enum Encoding { kUtf8 = 0, kUtf16 = 1, kAnsi = 2 };
  static constexpr size_t kMaxErrorMessage = 99;
  static constexpr size_t kMaxErrorLocation = 49;
  // Element records index the text with 32 bits; longer texts are refused
  // with "Document too large".
  static constexpr size_t kMaxTextChars = 0x7FFFFFF0;
  // Largest skin file a loader should hand over, in bytes.
  static constexpr size_t kMaxFileBytes = 4 * 1024 * 1024;

  CMarkupDoc();
  explicit CMarkupDoc(const wchar_t* text);
  CMarkupDoc(const CMarkupDoc&) = delete;
  CMarkupDoc& operator=(const CMarkupDoc&) = delete;

  // Each load replaces the previous document; true on success.
  bool Load(const wchar_t* text);
  // encoding: kUtf8 (an EF BB BF mark is dropped), kUtf16 (must start with
  // the byte-order mark FF FE or FE FF), kAnsi (the system's code page).
  bool LoadFromMem(const uint8_t* data, size_t size, int encoding = kUtf8);
  // Releases the document and records a failure that happened before
  // parsing (the bytes could not be had); no location is kept.
  void SetLoadError(const wchar_t* message);
  void Release();
  bool IsValid() const { return element_count_ > 1; }
  // The memory the element table takes (it grows with the elements parsed).
  size_t GetElementTableBytes() const { return elements_.capacity() * sizeof(Element); }

  CMarkupElement GetRoot() const;

  const wchar_t* GetLastErrorMessage() const { return error_message_; }
  const wchar_t* GetLastErrorLocation() const { return error_location_; }

 private:
  friend class CMarkupElement;

  // Element record: indexes into text_ and into the element table.
  struct Element {
    uint32_t name;
    uint32_t child;
    uint32_t next;
    uint32_t parent;
    uint32_t data;
  };

  bool Parse();
  uint32_t ReserveElement();
  bool ParseAttributes(uint32_t& pos);
  void ParseData(uint32_t& pos, wchar_t end, uint32_t* dest_end);
  void ParseEntity(uint32_t& pos, uint32_t& dest);
  bool Fail(const wchar_t* message, const wchar_t* location);
  bool TooLarge(size_t size);
  void SetError(const wchar_t* message, const wchar_t* location);

  // Characters after the two terminators, so that scanning can read whole
  // 16-byte blocks.
  static constexpr size_t kPadding = 8;
  // Assigns the text to parse: `length` characters are in place, followed
  // by room for 2 + kPadding characters, which are zeroed.
  void AdoptText(std::unique_ptr<wchar_t[]> text, size_t length);
  void CopyText(const wchar_t* text, size_t length);

  std::unique_ptr<wchar_t[]> text_;  // two terminators at the end; parsed in place
  std::vector<Element> elements_;
  uint32_t element_count_ = 0;
  wchar_t error_message_[kMaxErrorMessage + 1] = {};
  wchar_t error_location_[kMaxErrorLocation + 1] = {};
};

}  // namespace Veneer
