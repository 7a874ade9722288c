#pragma once

// A read-only ZIP archive reader for the skin archive: stored and deflated
// entries (inflated with zlib), found by name.
//
// Archives are untrusted input. Opening checks the central directory against
// the buffer; extraction checks the local header, the data range, the sizes
// and the CRC, and never writes past the caller's buffer. Entries are only
// ever read into memory, so any entry name may be looked up as written.
//
// Thread affinity: an open archive may be read from one thread at a time.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace Veneer {

class CZipArchive {
 public:
  // Extraction results.
  static constexpr int kOk = 0;
  static constexpr int kMoreData = 1;  // the buffer is full, the entry goes on
  static constexpr int kError = -1;
  // Names of this many characters or more are refused by Find.
  static constexpr size_t kMaxNameChars = 256;

  // Reads the whole archive file (at most max_bytes) and keeps the copy.
  static std::unique_ptr<CZipArchive> OpenFile(const std::wstring& path, size_t max_bytes = kMaxArchiveBytes);
  // Reads the archive over caller bytes, which must outlive the archive.
  static std::unique_ptr<CZipArchive> OpenMemory(const uint8_t* data, size_t size);

  // Finds an entry: the name is converted to the ANSI code page (or to
  // UTF-8 for entries flagged as UTF-8), backslashes become slashes, and
  // ASCII letters compare without case. Of entries with the same name the
  // first is found. False for names of kMaxNameChars characters or more in
  // the ANSI code page (a double-byte character counts twice) and for
  // unknown names (logged, an unknown name not when `quiet`). The names
  // are indexed when the archive opens.
  bool Find(const wchar_t* name, int* index, uint32_t* uncompressed_size, bool quiet = false) const;
  // Extracts entry `index` into buffer (capacity bytes): kOk when the whole
  // entry was written and checked, kMoreData when a buffer smaller than the
  // entry's recorded size filled, kError for a damaged or unsupported entry
  // (data longer or shorter than its recorded size included).
  int Extract(int index, uint8_t* buffer, size_t capacity) const;

  int GetEntryCount() const { return static_cast<int>(entries_.size()); }
  const std::string& GetEntryName(int index) const { return entries_[index].name; }
  uint32_t GetEntrySize(int index) const { return entries_[index].uncompressed_size; }

  static constexpr size_t kMaxArchiveBytes = 256u * 1024 * 1024;

 private:
  struct Entry {
    std::string name;   // as stored, backslashes turned into slashes
    bool utf8 = false;  // general purpose flag bit 11
    bool encrypted = false;
    uint16_t method = 0;
    uint32_t crc = 0;
    uint32_t compressed_size = 0;
    uint32_t uncompressed_size = 0;
    uint32_t local_offset = 0;
  };

  CZipArchive() = default;
  bool ReadDirectory();

  std::vector<uint8_t> owned_;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  std::vector<Entry> entries_;
  // Entry names with ASCII letters folded to lower case, to the first entry
  // of that name; one index per name encoding, as Find converts the name
  // it is given to both.
  std::unordered_map<std::string, int> ansi_index_;
  std::unordered_map<std::string, int> utf8_index_;
};

}  // namespace Veneer
