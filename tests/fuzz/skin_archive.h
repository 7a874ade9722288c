#pragma once

// The skin archive the builder targets make from their input: the first
// document, then any number of further archive entries, each introduced by
// a line "@@<entry name>" (the line break before "@@" belongs to the
// separator):
//   <Window><Include source="page.xml" count="2"/><Image name="skin\a.png"/></Window>
//   @@page.xml
//   <Label bkimage="skin/a.png"/>
//   @@skin/a.png
//   <PNG bytes>
// Entries are stored, not deflated: the reader's inflate path has a fuzz
// target of its own.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace fuzz {

struct Part {
  std::string_view name;
  std::string_view data;
};

inline void Append16(std::vector<uint8_t>& out, size_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

inline void Append32(std::vector<uint8_t>& out, size_t value) {
  Append16(out, value & 0xFFFF);
  Append16(out, (value >> 16) & 0xFFFF);
}

// The input's parts; the first is named `first_name`.
inline std::vector<Part> SplitInput(std::string_view input, std::string_view first_name) {
  constexpr std::string_view kSeparator = "\n@@";
  std::vector<Part> parts;
  size_t end = input.find(kSeparator);
  parts.push_back({first_name, input.substr(0, end)});
  while (end != std::string_view::npos && parts.size() < 0xFFFF) {
    size_t name_start = end + kSeparator.size();
    size_t name_end = input.find('\n', name_start);
    if (name_end == std::string_view::npos) break;
    size_t data_start = name_end + 1;
    end = input.find(kSeparator, data_start);
    std::string_view name = input.substr(name_start, name_end - name_start);
    if (name.size() > 0xFFFF) break;
    parts.push_back({name, input.substr(data_start, end == std::string_view::npos ? end : end - data_start)});
  }
  return parts;
}

inline void BuildArchive(const std::vector<Part>& parts, std::vector<uint8_t>& out) {
  out.clear();
  std::vector<size_t> offsets;
  for (const Part& part : parts) {
    offsets.push_back(out.size());
    Append32(out, 0x04034b50);
    for (size_t field : {20, 0, 0, 0, 0}) Append16(out, field);
    Append32(out, crc32(0L, reinterpret_cast<const Bytef*>(part.data.data()), static_cast<uInt>(part.data.size())));
    Append32(out, part.data.size());
    Append32(out, part.data.size());
    Append16(out, part.name.size());
    Append16(out, 0);
    out.insert(out.end(), part.name.begin(), part.name.end());
    out.insert(out.end(), part.data.begin(), part.data.end());
  }
  size_t directory = out.size();
  for (size_t i = 0; i < parts.size(); ++i) {
    const Part& part = parts[i];
    Append32(out, 0x02014b50);
    for (size_t field : {20, 20, 0, 0, 0, 0}) Append16(out, field);
    Append32(out, crc32(0L, reinterpret_cast<const Bytef*>(part.data.data()), static_cast<uInt>(part.data.size())));
    Append32(out, part.data.size());
    Append32(out, part.data.size());
    Append16(out, part.name.size());
    for (int k = 0; k < 4; ++k) Append16(out, 0);
    Append32(out, 0);
    Append32(out, offsets[i]);
    out.insert(out.end(), part.name.begin(), part.name.end());
  }
  size_t directory_size = out.size() - directory;
  Append32(out, 0x06054b50);
  for (size_t field : {size_t{0}, size_t{0}, parts.size(), parts.size()}) Append16(out, field);
  Append32(out, directory_size);
  Append32(out, directory);
  Append16(out, 0);
}

}  // namespace fuzz
