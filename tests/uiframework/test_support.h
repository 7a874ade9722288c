#pragma once

// Helpers shared by the uiframework tests: scratch folders, ZIP archives
// built in memory, PNG bytes, and a fixture that resets the framework's
// process-wide state around each test.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace Veneer::test {

// A fresh folder under the system's temporary folder, removed on destruction.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::filesystem::path& path() const { return path_; }
  // The folder as a wide path ending in a separator.
  std::wstring WidePath() const;
  void Write(const std::string& name, const std::string& bytes) const;
  void Write(const std::string& name, const std::vector<uint8_t>& bytes) const;

 private:
  std::filesystem::path path_;
};

struct ZipSpec {
  std::string name;
  std::string data;
  bool deflate = true;
  uint16_t flags = 0;
};

// A ZIP archive and where its records are, for tests that damage them.
struct ZipImage {
  std::vector<uint8_t> bytes;
  std::vector<size_t> local_offsets;
  std::vector<size_t> central_offsets;
  size_t end_offset = 0;
};

ZipImage BuildZip(const std::vector<ZipSpec>& entries);
void Put32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);
void Put16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value);

// RGBA pixels (4 bytes each, top row first) encoded as PNG.
std::vector<uint8_t> EncodePng(int width, int height, const std::vector<uint8_t>& rgba);

// Resets skin resource settings, shared host tables, plug-ins and platform
// hooks before and after each test.
class FrameworkTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// Collects the log lines written during its lifetime.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  std::string Text();
  int Count(const std::string& needle);

 private:
  std::filesystem::path file_;
  int descriptor_ = -1;
};

}  // namespace Veneer::test
