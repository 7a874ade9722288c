#include "uiframework/resources/zip_archive.h"

#include <zlib.h>

#include <cstring>

#include "basekit/log/log.h"
#include "uiframework/base/text_conv.h"
#include "uiframework/resources/file_bytes.h"

namespace Veneer {

namespace {

constexpr const char* kLogSource = "zip_archive";

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndOfDirectorySignature = 0x06054b50;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndOfDirectorySize = 22;
constexpr size_t kMaxCommentSize = 0xFFFF;

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Read32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// Byte by byte, as the names compare: in a double-byte code page a trail
// byte in the range of A-Z folds too.
std::string FoldAscii(std::string name) {
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return name;
}

void SlashesForward(std::string& name) {
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
}

}  // namespace

std::unique_ptr<CZipArchive> CZipArchive::OpenFile(const std::wstring& path, size_t max_bytes) {
  std::unique_ptr<CZipArchive> archive(new CZipArchive());
  FileReadStatus status = ReadFileBytes(path, max_bytes, &archive->owned_);
  if (status != FileReadStatus::kOk) {
    BASEKIT_LOG(Failure, "cannot read archive %s (status %d)", WideToUtf8(path).c_str(), static_cast<int>(status));
    return nullptr;
  }
  archive->data_ = archive->owned_.data();
  archive->size_ = archive->owned_.size();
  if (!archive->ReadDirectory()) return nullptr;
  return archive;
}

std::unique_ptr<CZipArchive> CZipArchive::OpenMemory(const uint8_t* data, size_t size) {
  if (data == nullptr || size == 0) {
    BASEKIT_LOG(Failure, "no archive bytes");
    return nullptr;
  }
  std::unique_ptr<CZipArchive> archive(new CZipArchive());
  archive->data_ = data;
  archive->size_ = size;
  if (!archive->ReadDirectory()) return nullptr;
  return archive;
}

bool CZipArchive::ReadDirectory() {
  if (size_ < kEndOfDirectorySize) {
    BASEKIT_LOG(Failure, "archive of %lu bytes is too short", static_cast<unsigned long>(size_));
    return false;
  }
  // The end record is the last thing in the file, followed only by its
  // comment; search backwards over the longest possible comment.
  size_t last = size_ - kEndOfDirectorySize;
  size_t first = last > kMaxCommentSize ? last - kMaxCommentSize : 0;
  size_t end_record = SIZE_MAX;
  for (size_t pos = last + 1; pos-- > first;) {
    if (Read32(data_ + pos) != kEndOfDirectorySignature) continue;
    uint32_t directory_size = Read32(data_ + pos + 12);
    uint32_t directory_offset = Read32(data_ + pos + 16);
    if (static_cast<uint64_t>(directory_offset) + directory_size <= pos) {
      end_record = pos;
      break;
    }
  }
  if (end_record == SIZE_MAX) {
    BASEKIT_LOG(Failure, "no valid end of central directory record");
    return false;
  }
  const uint8_t* record = data_ + end_record;
  const uint16_t count = Read16(record + 10);
  const size_t directory_end = static_cast<size_t>(Read32(record + 16)) + Read32(record + 12);
  size_t pos = Read32(record + 16);

  entries_.reserve(count);
  for (uint16_t i = 0; i < count; ++i) {
    if (directory_end - pos < kCentralHeaderSize || Read32(data_ + pos) != kCentralHeaderSignature) {
      BASEKIT_LOG(Failure, "central directory entry %u is damaged", i);
      return false;
    }
    const uint8_t* header = data_ + pos;
    size_t name_length = Read16(header + 28);
    size_t variable = name_length + Read16(header + 30) + Read16(header + 32);
    if (directory_end - pos - kCentralHeaderSize < variable) {
      BASEKIT_LOG(Failure, "central directory entry %u overruns the directory", i);
      return false;
    }
    Entry entry;
    uint16_t flags = Read16(header + 8);
    entry.utf8 = (flags & 0x0800) != 0;
    entry.encrypted = (flags & 0x0001) != 0;
    entry.method = Read16(header + 10);
    entry.crc = Read32(header + 16);
    entry.compressed_size = Read32(header + 20);
    entry.uncompressed_size = Read32(header + 24);
    entry.local_offset = Read32(header + 42);
    entry.name.assign(reinterpret_cast<const char*>(header + kCentralHeaderSize), name_length);
    SlashesForward(entry.name);
    (entry.utf8 ? utf8_index_ : ansi_index_).emplace(FoldAscii(entry.name), static_cast<int>(i));
    entries_.push_back(std::move(entry));
    pos += kCentralHeaderSize + variable;
  }
  return true;
}

bool CZipArchive::Find(const wchar_t* name, int* index, uint32_t* uncompressed_size, bool quiet) const {
  if (name == nullptr) return false;
  std::wstring wide(name);
  std::string ansi = WideToAnsi(wide);
  if (wide.size() >= kMaxNameChars || ansi.size() >= kMaxNameChars) {
    BASEKIT_LOG(Lookup, "entry name of %lu characters refused",
                static_cast<unsigned long>(ansi.size() > wide.size() ? ansi.size() : wide.size()));
    return false;
  }
  std::string utf8 = WideToUtf8(wide);
  SlashesForward(ansi);
  SlashesForward(utf8);
  int found = -1;
  auto ansi_match = ansi_index_.find(FoldAscii(ansi));
  if (ansi_match != ansi_index_.end()) found = ansi_match->second;
  auto utf8_match = utf8_index_.find(FoldAscii(utf8));
  if (utf8_match != utf8_index_.end() && (found < 0 || utf8_match->second < found)) found = utf8_match->second;
  if (found >= 0) {
    if (index != nullptr) *index = found;
    if (uncompressed_size != nullptr) *uncompressed_size = entries_[found].uncompressed_size;
    return true;
  }
  if (!quiet) BASEKIT_LOG(Lookup, "no entry \"%s\"", utf8.c_str());
  return false;
}

int CZipArchive::Extract(int index, uint8_t* buffer, size_t capacity) const {
  if (index < 0 || static_cast<size_t>(index) >= entries_.size() || (buffer == nullptr && capacity > 0)) {
    BASEKIT_LOG(Failure, "bad extraction request for entry %d", index);
    return kError;
  }
  const Entry& entry = entries_[index];
  if (entry.encrypted || (entry.method != 0 && entry.method != Z_DEFLATED)) {
    BASEKIT_LOG(Failure, "entry \"%s\": unsupported method %u or encrypted", entry.name.c_str(), entry.method);
    return kError;
  }
  size_t offset = entry.local_offset;
  if (offset > size_ || size_ - offset < kLocalHeaderSize || Read32(data_ + offset) != kLocalHeaderSignature) {
    BASEKIT_LOG(Failure, "entry \"%s\": bad local header offset %lu", entry.name.c_str(),
                static_cast<unsigned long>(offset));
    return kError;
  }
  const uint8_t* local = data_ + offset;
  uint64_t data_start = static_cast<uint64_t>(offset) + kLocalHeaderSize + Read16(local + 26) + Read16(local + 28);
  if (data_start + entry.compressed_size > size_) {
    BASEKIT_LOG(Failure, "entry \"%s\": data runs past the archive end", entry.name.c_str());
    return kError;
  }
  const uint8_t* input = data_ + data_start;

  if (entry.method == 0) {
    if (entry.compressed_size != entry.uncompressed_size) {
      BASEKIT_LOG(Failure, "stored entry \"%s\": sizes differ", entry.name.c_str());
      return kError;
    }
    size_t count = entry.uncompressed_size < capacity ? entry.uncompressed_size : capacity;
    if (count > 0) std::memcpy(buffer, input, count);
    if (count < entry.uncompressed_size) return kMoreData;
    if (crc32(0L, input, static_cast<uInt>(count)) != entry.crc) {
      BASEKIT_LOG(Failure, "stored entry \"%s\": CRC mismatch", entry.name.c_str());
      return kError;
    }
    return kOk;
  }

  z_stream stream;
  std::memset(&stream, 0, sizeof(stream));
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
    BASEKIT_LOG(Failure, "inflateInit2 failed");
    return kError;
  }
  // Never write more than the caller's buffer (and never more than the
  // recorded size): a lying header cannot make the output grow.
  size_t limit = entry.uncompressed_size < capacity ? entry.uncompressed_size : capacity;
  stream.next_in = const_cast<Bytef*>(input);
  stream.avail_in = entry.compressed_size;
  stream.next_out = buffer;
  stream.avail_out = static_cast<uInt>(limit);
  int status = limit > 0 ? inflate(&stream, Z_FINISH) : Z_BUF_ERROR;
  if (status != Z_STREAM_END && status != Z_DATA_ERROR && status != Z_MEM_ERROR && stream.avail_out == 0) {
    // The buffer is full; find out whether the entry ends here.
    uint8_t probe;
    stream.next_out = &probe;
    stream.avail_out = 1;
    status = inflate(&stream, Z_FINISH);
    if (status != Z_STREAM_END || stream.avail_out == 0) {
      inflateEnd(&stream);
      if (status == Z_DATA_ERROR || status == Z_MEM_ERROR) {
        BASEKIT_LOG(Failure, "entry \"%s\": inflate failed (%d)", entry.name.c_str(), status);
        return kError;
      }
      if (limit == entry.uncompressed_size) {
        // The whole recorded size fits, yet the data goes on: the entry is
        // damaged, and its first bytes must not pass for the whole file.
        BASEKIT_LOG(Failure, "entry \"%s\": more data than its recorded %u bytes", entry.name.c_str(),
                    entry.uncompressed_size);
        return kError;
      }
      return kMoreData;
    }
  }
  size_t produced = static_cast<size_t>(stream.total_out);
  inflateEnd(&stream);
  if (status != Z_STREAM_END) {
    BASEKIT_LOG(Failure, "entry \"%s\": inflate failed (%d)", entry.name.c_str(), status);
    return kError;
  }
  if (produced != entry.uncompressed_size) {
    BASEKIT_LOG(Failure, "entry \"%s\": %lu bytes instead of %u", entry.name.c_str(),
                static_cast<unsigned long>(produced), entry.uncompressed_size);
    return kError;
  }
  if (crc32(0L, buffer, static_cast<uInt>(produced)) != entry.crc) {
    BASEKIT_LOG(Failure, "entry \"%s\": CRC mismatch", entry.name.c_str());
    return kError;
  }
  return kOk;
}

}  // namespace Veneer
