#include "tests/tftp/tftp_test_support.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "basekit/log/log.h"

namespace tftp_test {
namespace fs = std::filesystem;

std::string MakeTemporaryFolder(const char* prefix) {
  static std::atomic<int> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (;;) {
    std::ostringstream name;
    name << prefix << "_" << stamp << "_" << counter++;
    fs::path folder = fs::temp_directory_path() / name.str();
    std::error_code error;
    if (fs::create_directory(folder, error)) {
      return folder.string();
    }
  }
}

const std::string& UseTemporaryLog() {
  static const std::string path = [] {
    std::string folder = MakeTemporaryFolder("tftp_log");
    basekit::LogInterface* log = basekit::GetLog();
    log->SetLogPath((folder + "/").c_str());
    log->SetLogName("REPAIR");
    log->AddFlags(basekit::kLogNoDatePrefix);
    log->SetLevel(basekit::kLogLevelProgress);
    return (fs::path(folder) / "REPAIR.log").string();
  }();
  return path;
}

size_t LogSize() {
  std::error_code error;
  auto size = fs::file_size(UseTemporaryLog(), error);
  return error ? 0 : static_cast<size_t>(size);
}

std::string ReadLogFrom(size_t from) {
  std::ifstream in(UseTemporaryLog(), std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return from < text.size() ? text.substr(from) : std::string();
}

std::vector<char> MakeImage(size_t length, unsigned seed) {
  std::vector<char> image(length);
  uint32_t state = 2463534242u ^ seed;
  for (size_t i = 0; i < length; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    // Every 64th byte is zero so that embedded zeros are always exercised.
    image[i] = (i % 64 == 0) ? 0 : static_cast<char>(state & 0xFF);
  }
  return image;
}

}  // namespace tftp_test
