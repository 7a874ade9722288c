#include "app/startup.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "basekit/log/log.h"

namespace app {
namespace {

namespace fs = std::filesystem;
using basekit::LogFileRefusal;

// Files as sizes; a file can be made unwritable or undeletable, or be a
// name that leads elsewhere. Records every call.
class FakeOps : public LogFileOps {
 public:
  basekit::LogFileOpening Open(const std::string&) override {
    calls.push_back("open");
    if (refusal != LogFileRefusal::kNone) return {basekit::kNoLogFile, refusal};
    if (!writable) return {};
    if (!size) size = 0;
    return {3, LogFileRefusal::kNone};
  }
  int64_t Length(basekit::LogFileHandle) override { return size.value_or(-1); }
  bool Empty(basekit::LogFileHandle file) override {
    calls.push_back("empty " + std::to_string(file));
    size = 0;
    return true;
  }
  void Close(basekit::LogFileHandle file) override { calls.push_back("close " + std::to_string(file)); }
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
  LogFileRefusal refusal = LogFileRefusal::kNone;
  std::vector<std::string> calls;
};

TEST(LogLimitTest, SizeRules) {
  using Calls = std::vector<std::string>;
  struct Case {
    const char* what;
    std::optional<int64_t> size;
    bool writable;
    bool deletable;
    LogFileRefusal refusal;
    std::optional<int64_t> after;
    Calls calls;
  } cases[] = {
      // Emptied through the handle it was opened and checked with: opening
      // the name again could reach another file by then.
      {"exactly the limit, writable: emptied", 1000000, true, true, LogFileRefusal::kNone, 0,
       Calls{"open", "empty 3", "close 3"}},
      {"one byte below: left alone", 999999, true, true, LogFileRefusal::kNone, 999999, Calls{"open", "close 3"}},
      {"no file: created empty", std::nullopt, true, true, LogFileRefusal::kNone, 0, Calls{"open", "close 3"}},
      {"unwritable above the limit: deleted and created anew", 1000001, false, true, LogFileRefusal::kNone, 0,
       Calls{"open", "delete", "open", "close 3"}},
      {"unwritable at exactly the limit: left alone", 1000000, false, true, LogFileRefusal::kNone, 1000000,
       Calls{"open"}},
      {"neither writable nor deletable: untouched", 5000000, false, false, LogFileRefusal::kNone, 5000000,
       Calls{"open", "delete"}},
      {"unwritable and missing: nothing", std::nullopt, false, true, LogFileRefusal::kNone, std::nullopt,
       Calls{"open"}},
      {"a link: untouched, refused", 5000000, true, true, LogFileRefusal::kLink, 5000000, Calls{"open"}},
      {"a file of several names: untouched, refused", 1000001, true, true, LogFileRefusal::kOtherNames, 1000001,
       Calls{"open"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeOps ops;
    ops.size = c.size;
    ops.writable = c.writable;
    ops.deletable = c.deletable;
    ops.refusal = c.refusal;
    EXPECT_EQ(LimitLogFile("dir\\REPAIR.log", ops), c.refusal);
    EXPECT_EQ(ops.size, c.after);
    EXPECT_EQ(ops.calls, c.calls);
  }
}

// The system's operations on real files: the limit where a plain file
// stands, nothing at all where the name leads to another file.
TEST(LogLimitTest, RealFiles) {
  struct Case {
    const char* what;
    int64_t size;
    bool hard_link;
    LogFileRefusal refusal;
    int64_t after;
  } cases[] = {
      {"the limit: emptied", 1000000, false, LogFileRefusal::kNone, 0},
      {"below: kept", 999999, false, LogFileRefusal::kNone, 999999},
      {"a second name of another file: refused, that file untouched", 1000001, true, LogFileRefusal::kOtherNames,
       1000001},
  };
  const fs::path dir = fs::temp_directory_path() /
                       ("app-startup-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  // UTF-8 with the trailing separator, as start-up gives it.
  const std::string folder = (dir / "").string();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path target = dir / (c.hard_link ? "victim.bin" : "REPAIR.log");
    std::ofstream(target, std::ios::binary) << std::string(static_cast<size_t>(c.size), 'x');
    if (c.hard_link) fs::create_hard_link(target, dir / "REPAIR.log");
    EXPECT_EQ(SetUpLog(SystemLogFileOps(), folder), c.refusal);
    EXPECT_EQ(static_cast<int64_t>(fs::file_size(target)), c.after);
    // The log is pointed at the folder only when the file was accepted.
    EXPECT_EQ(basekit::GetLog()->GetLogPath() == folder, c.refusal == LogFileRefusal::kNone);
    basekit::GetLog()->SetLogPath("");
    basekit::GetLog()->SetLevel(0);
  }
  fs::remove_all(dir);
}

class FakeMutexes : public MutexOps {
 public:
  MutexProbe Create(const std::wstring& name, unsigned long* error) override {
    const MutexProbe probe = probes.count(name) ? probes[name] : MutexProbe::kCreated;
    *error = probe == MutexProbe::kAccessDenied ? 5 : probe == MutexProbe::kFailed ? 6 : 0;
    return probe;
  }
  std::map<std::wstring, MutexProbe> probes;
};

// Only a copy of this program stops another, and a second copy started by
// mistake checks before it touches any file: the running copy's log keeps
// its lines however large it has grown. A name somebody else holds is
// passed over for the session's; with neither, the program still runs.
TEST(SingleInstanceTest, Outcomes) {
  using P = MutexProbe;
  struct Case {
    const char* what;
    P global;
    P local;
    bool another_copy_runs;
    std::vector<std::string> notes;  // the start of each
  } cases[] = {
      {"created", P::kCreated, P::kCreated, false, {}},
      {"a copy of ours holds the machine's name", P::kOursExists, P::kCreated, true, {}},
      {"a foreign owner: the session's name guards",
       P::kForeignExists,
       P::kCreated,
       false,
       {"single-instance name Global\\ZKRW-Repair-{58E46E80-FDC9-4544-94FA-B1387040DD38} held by an object with "
        "another owner"}},
      {"access denied",
       P::kAccessDenied,
       P::kCreated,
       false,
       {"single-instance name Global\\ZKRW-Repair-{58E46E80-FDC9-4544-94FA-B1387040DD38} held by an object that "
        "denies us access (error 5)"}},
      {"failed",
       P::kFailed,
       P::kCreated,
       false,
       {"single-instance name Global\\ZKRW-Repair-{58E46E80-FDC9-4544-94FA-B1387040DD38} not available (error 6)"}},
      {"a foreign owner, and a copy of ours in the session", P::kForeignExists, P::kOursExists, true, {}},
      {"a copy of ours that fell back to the session's name", P::kCreated, P::kOursExists, true, {}},
      {"neither name: the only copy",
       P::kAccessDenied,
       P::kForeignExists,
       false,
       {"single-instance name Global\\", "single-instance name Local\\",
        "no single-instance name could be held: going on as the only copy"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeMutexes mutexes;
    mutexes.probes[kInstanceMutexName] = c.global;
    mutexes.probes[kSessionMutexName] = c.local;
    FakeOps files;
    files.size = 2000000;
    const StartupResult result = StartUp(mutexes, files, "folder\\");
    basekit::GetLog()->SetLogPath("");
    basekit::GetLog()->SetLevel(0);
    EXPECT_EQ(result.another_copy_runs, c.another_copy_runs);
    EXPECT_EQ(files.calls.empty(), c.another_copy_runs);
    EXPECT_EQ(*files.size, c.another_copy_runs ? 2000000 : 0);
    ASSERT_EQ(result.notes.size(), c.notes.size());
    for (size_t i = 0; i < c.notes.size(); ++i) EXPECT_EQ(result.notes[i].rfind(c.notes[i], 0), 0u) << result.notes[i];
  }
}

}  // namespace
}  // namespace app
