#include "basekit/files/file_path.h"

#include <gtest/gtest.h>

namespace basekit {
namespace {

TEST(FilePath, ExtractFileName) {
  struct Case {
    const char* path;
    bool found;
    const char* name;
  };
  const Case cases[] = {
      {"src\\tftp_client", true, "tftp_client"},
      {"C:/a\\b/c.txt", true, "c.txt"},
      {"a/b\\c", true, "c"},
      {"repair", false, "unchanged"},
      {"dir\\", false, "unchanged"},
      {"\\x", false, "unchanged"},  // the first character is never a separator
      {"/", false, "unchanged"},
      {"", false, "unchanged"},
  };
  for (const Case& c : cases) {
    std::string out = "unchanged";
    EXPECT_EQ(ExtractFileName(c.path, out), c.found) << c.path;
    EXPECT_EQ(out, c.name) << c.path;
  }
}

TEST(FilePath, ComposeFilePath) {
  struct Case {
    const char* path;
    bool ok;
    const char* result;
  };
  const Case cases[] = {
      {"C:\\logs\\old.txt", true, "C:\\logs\\REPAIR.log"},
      {"C:\\logs\\", true, "C:\\logs\\REPAIR.log"},
      {"/tmp/x/", true, "/tmp/x/REPAIR.log"},
      {"a\\b/c", true, "a\\b/REPAIR.log"},
      {"justaname", false, "unchanged"},
      {"", false, "unchanged"},
      {"\\", false, "unchanged"},
  };
  for (const Case& c : cases) {
    std::string out = "unchanged";
    EXPECT_EQ(ComposeFilePath(out, c.path, "REPAIR.log"), c.ok) << c.path;
    EXPECT_EQ(out, c.result) << c.path;
  }
}

}  // namespace
}  // namespace basekit
