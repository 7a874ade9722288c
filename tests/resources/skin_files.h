#pragma once

// The skin files under test: natively the files in resources/skin, on
// Windows the entries of the skin archive embedded in this test executable.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace resources_test {

// The bytes of a skin file by its archive name ("repair.xml",
// "skin/bk.png"); nothing when there is no such file.
std::optional<std::vector<uint8_t>> ReadSkinFile(const std::string& name);

// A whole file from disk; nothing when it cannot be read.
std::optional<std::vector<uint8_t>> ReadDiskFile(const std::string& path);

// ASCII text for messages; other characters become "?".
std::string Narrow(const std::wstring& text);

}  // namespace resources_test
