#include "app/log_limit.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace app {
namespace {

// Files as sizes; a file can be made unwritable or undeletable.
class FakeOps : public LogFileOps {
 public:
  int OpenAppend(const std::string&) override {
    calls.push_back("append");
    if (!writable) return -1;
    if (!size) size = 0;
    return 3;
  }
  int OpenTruncate(const std::string&) override {
    calls.push_back("truncate");
    if (!writable) return -1;
    size = 0;
    return 4;
  }
  int64_t Length(int) override { return size.value_or(-1); }
  void Close(int descriptor) override { calls.push_back("close " + std::to_string(descriptor)); }
  std::optional<int64_t> FindSize(const std::string&) override { return size; }
  bool Delete(const std::string&) override {
    calls.push_back("delete");
    if (!deletable) return false;
    size.reset();
    writable = true;  // a new file can be created where the old one was
    return true;
  }

  std::optional<int64_t> size;
  bool writable = true;
  bool deletable = true;
  std::vector<std::string> calls;
};

TEST(LogLimitTest, SizeRules) {
  struct Case {
    const char* what;
    std::optional<int64_t> size;
    bool writable;
    bool deletable;
    std::optional<int64_t> after;
  } cases[] = {
      {"exactly the limit, writable: emptied", 1000000, true, true, 0},
      {"one byte below: left alone", 999999, true, true, 999999},
      {"no file: created empty", std::nullopt, true, true, 0},
      {"unwritable above the limit: deleted and created anew", 1000001, false, true, 0},
      {"unwritable at exactly the limit: left alone", 1000000, false, true, 1000000},
      {"neither writable nor deletable: untouched", 5000000, false, false, 5000000},
      {"unwritable and missing: nothing", std::nullopt, false, true, std::nullopt},
  };
  for (const Case& c : cases) {
    FakeOps ops;
    ops.size = c.size;
    ops.writable = c.writable;
    ops.deletable = c.deletable;
    LimitLogFile("dir\\repair.log", ops);
    EXPECT_EQ(ops.size, c.after) << c.what;
    // Every descriptor opened is closed.
    int opened = 0;
    int closed = 0;
    for (const std::string& call : ops.calls) {
      if ((call == "append" || call == "truncate") && ops.writable) ++opened;
      if (call.rfind("close", 0) == 0) ++closed;
    }
    EXPECT_LE(closed, opened) << c.what;
  }
}

}  // namespace
}  // namespace app
