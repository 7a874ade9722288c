#include "basekit/log/log.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "basekit/log/log_file.h"
#include "basekit/strings/format.h"
#include "basekit/time/wall_clock.h"

#ifdef _WIN32
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace basekit {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kAllHeaderFlags = 0x07F | kLogNoDatePrefix;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class TempDir {
 public:
  TempDir() {
    static int counter = 0;
    path_ = fs::temp_directory_path() /
            ("basekit-log-" +
             std::to_string(
                 std::chrono::steady_clock::now().time_since_epoch().count()) +
             "-" + std::to_string(counter++));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }
  // The directory with a trailing separator, as the log expects it.
  std::string dir() const { return path_.string() + "/"; }

 private:
  fs::path path_;
};

// Points the log at REPAIR.log in `dir`, every line without a header.
void WriteBareLines(Log_Impl& log, const TempDir& dir) {
  log.SetLogPath(dir.dir().c_str());
  log.SetLogName("REPAIR");
  log.RemoveFlags(kAllHeaderFlags);
  log.AddFlags(kLogNoDatePrefix);
  log.SetLevel(12);
}

// A log in descriptor mode writing into a temporary file, read back whole.
class DescriptorLog {
 public:
  explicit DescriptorLog(uint32_t flags) {
    file_ = dir_.path() / "out.txt";
#ifdef _WIN32
    fd_ = _open(file_.string().c_str(), _O_RDWR | _O_CREAT | _O_BINARY, 0600);
#else
    fd_ = ::open(file_.c_str(), O_RDWR | O_CREAT, 0600);
#endif
    log_.SetLevel(12);
    log_.SetLogDescriptor(fd_);
    log_.RemoveFlags(kAllHeaderFlags);
    log_.AddFlags(flags);
  }
  ~DescriptorLog() {
#ifdef _WIN32
    _close(fd_);
#else
    ::close(fd_);
#endif
  }
  Log_Impl& log() { return log_; }
  std::string Contents() const { return ReadFile(file_); }

 private:
  TempDir dir_;
  fs::path file_;
  int fd_ = -1;
  Log_Impl log_;
};

TEST(LogDefaults, FreshInstance) {
  Log_Impl log;
  EXPECT_STREQ(log.GetVersion(), "basekit::Log_Impl::1.0");
  EXPECT_EQ(log.GetFlags(), 0x1Bu);
  EXPECT_EQ(log.GetLevel(), 0u);
  EXPECT_STREQ(log.GetLogPath(), "");
  EXPECT_EQ(log.GetLogDescriptor(), -1);
  // The empty path has no directory part: nothing can be written.
  std::string path;
  EXPECT_FALSE(log.ComposeLogFilePath(path));
  log.Write(0, "repair", 1, "dropped");
  log.Write(12, "repair", 1, "above the level");
}

TEST(LogFlags, DescriptorBitCannotBeAddedOrRemovedDirectly) {
  Log_Impl log;
  log.AddFlags(0x104);
  EXPECT_EQ(log.GetFlags(), 0x1Bu);
  log.AddFlags(kLogNoDatePrefix);
  EXPECT_EQ(log.GetFlags(), 0x21Bu);
  log.SetLogDescriptor(5);
  log.RemoveFlags(0x101);
  EXPECT_EQ(log.GetFlags(), 0x31Bu);
  log.RemoveFlags(kLogDate);
  EXPECT_EQ(log.GetFlags(), 0x31Au);
}

TEST(LogModes, DescriptorModeAndBack) {
  Log_Impl log;
  log.SetLogPath("C:\\logs\\");
  log.SetLogName("REPAIR");
  log.SetLogDescriptor(-1);
  EXPECT_STREQ(log.GetLogPath(), "C:\\logs\\");
  EXPECT_EQ(log.GetLogDescriptor(), -1);

  log.SetLogDescriptor(3);
  EXPECT_EQ(log.GetLogPath(), nullptr);
  EXPECT_EQ(log.GetLogDescriptor(), 3);
  EXPECT_EQ(log.GetLogName(), "");
  log.SetLogName("kept");  // stays in descriptor mode
  EXPECT_EQ(log.GetLogDescriptor(), 3);

  log.SetLogPath(nullptr);
  EXPECT_EQ(log.GetLogDescriptor(), 3);
  log.SetLogPath("D:/x/");
  EXPECT_STREQ(log.GetLogPath(), "D:/x/");
  EXPECT_EQ(log.GetLogDescriptor(), -1);
  EXPECT_EQ(log.GetLogName(), "kept");
  EXPECT_EQ(log.GetFlags() & kLogToDescriptor, 0u);
}

struct HeaderCase {
  uint32_t flags;
  const char* source;
  const char* pattern;  // whole line, ECMAScript
};

TEST(LogHeader, FlagCombinations) {
  const std::string d4 = "\\d{4}", d2 = "\\d{2}";
  const std::string date = d4 + "-" + d2 + "-" + d2;
  const std::string time = d2 + ":" + d2 + ":" + d2;
  const HeaderCase cases[] = {
      {0x01B, "repair",
       "\\[DATE TIME\\] file: line: 95\\)<<<<repair start\r\n"},
      {0x21B, "src\\tftp_client",
       "\\[DATE TIME\\] file:tftp_client line: 95\\)<<<<repair start\r\n"},
      {0x005, "repair", "\\[DATE TIME:\\d{3}\\]\\)<<<<repair start\r\n"},
      {0x007, "repair", "\\[DATE TIME:\\d{3}\\]\\)<<<<repair start\r\n"},
      {0x001, "repair", "\\[DATE\\]\\)<<<<repair start\r\n"},
      {0x002, "repair", "\\[TIME\\]\\)<<<<repair start\r\n"},
      {0x008, "a/b/repair_service",
       " file:repair_service\\)<<<<repair start\r\n"},
      {0x010, "repair", " line: 95\\)<<<<repair start\r\n"},
      {0x000, "repair", "\\)<<<<repair start\r\n"},
      {0x020, "repair", "\\) \\{2\\}\r\n<<<<repair start\r\n"},
      {0x060, "repair", "\\) \\{2:[^}\r\n]+\\}\r\n<<<<repair start\r\n"},
      {0x01B, nullptr, "repair start\r\n"},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << c.flags);
    DescriptorLog sink(c.flags);
    errno = 2;
    sink.log().Write(12, c.source, 95, "repair %s", "start");
    std::string pattern = c.pattern;
    pattern = std::regex_replace(pattern, std::regex("DATE"), date);
    pattern = std::regex_replace(pattern, std::regex("TIME"), time);
    std::string line = sink.Contents();
    EXPECT_TRUE(std::regex_match(line, std::regex(pattern))) << line;
  }
}

TEST(LogHeader, SourceFileField) {
  const std::pair<const char*, const char*> cases[] = {
      {"src\\tftp_client", "tftp_client"},
      {"src/tftp_client", "tftp_client"},
      {"repair", ""},
      {"dir\\", ""},
      {"\\x", ""},
      {"", ""}};
  for (const auto& [source, shown] : cases) {
    DescriptorLog sink(kLogSourceFile);
    sink.log().Write(1, source, 1, "m");
    EXPECT_EQ(sink.Contents(), std::string(" file:") + shown + ")<<<<m\r\n")
        << source;
  }
}

TEST(LogLevels, LevelAboveConfiguredIsNotWritten) {
  DescriptorLog sink(0);
  sink.log().SetLevel(6);
  sink.log().Write(8, "repair", 1, "lookup failed");
  sink.log().Write(6, "repair", 2, "operation failed");
  sink.log().Write(0, "repair", 3, "important");
  EXPECT_EQ(sink.Contents(), ")<<<<operation failed\r\n)<<<<important\r\n");
}

TEST(LogMessage, CutAt32767Characters) {
  DescriptorLog sink(0);
  std::string huge(40000, 'x');
  sink.log().Write(0, nullptr, 0, "%s", huge.c_str());
  EXPECT_EQ(sink.Contents(), std::string(32767, 'x') + "\r\n");

  DescriptorLog exact(0);
  std::string fits(32767, 'y');
  exact.log().Write(0, nullptr, 0, "%s", fits.c_str());
  EXPECT_EQ(exact.Contents(), fits + "\r\n");
}

TEST(LogFile, AppendsToNamedFileInPathDirectory) {
  TempDir dir;
  Log_Impl log;
  log.SetLogPath((dir.dir() + "old.txt").c_str());  // the file part is ignored
  log.SetLogName("REPAIR");
  log.AddFlags(kLogNoDatePrefix);
  log.SetLevel(12);
  log.RemoveFlags(0x07F);
  log.Write(12, "repair", 95, "repair start");
  log.Write(6, "repair", 96, "second %d", 2);
  EXPECT_EQ(ReadFile(dir.path() / "REPAIR.log"),
            ")<<<<repair start\r\n)<<<<second 2\r\n");
  EXPECT_FALSE(fs::exists(dir.path() / "old.txt"));
}

TEST(LogFile, DatePrefixAndEmptyName) {
  TempDir dir;
  Log_Impl log;
  log.SetLogPath(dir.dir().c_str());
  log.SetLogName("REPAIR");
  std::string path;
  ASSERT_TRUE(log.ComposeLogFilePath(path));
  CalendarTime today = ToLocalCalendarTime(WallClockNow());
  std::string expected = FormatString("%04d%02d%02d_REPAIR.log", today.year,
                                      today.month, today.day);
  EXPECT_EQ(path, dir.dir() + expected);

  log.SetLogName("");
  log.AddFlags(kLogNoDatePrefix);
  ASSERT_TRUE(log.ComposeLogFilePath(path));
  EXPECT_EQ(path, dir.dir() + ".log");
}

TEST(LogFile, PathWithoutSeparatorDropsEveryLine) {
  Log_Impl log;
  log.SetLogPath("justaname");
  log.SetLogName("dropped-log-line");
  log.AddFlags(kLogNoDatePrefix);
  log.SetLevel(12);
  std::string path;
  EXPECT_FALSE(log.ComposeLogFilePath(path));
  log.Write(0, "repair", 1, "nowhere");
  EXPECT_FALSE(fs::exists("dropped-log-line.log"));
  EXPECT_FALSE(fs::exists("justadropped-log-line.log"));
}

TEST(LogFile, UnopenableFileDropsTheLineQuietly) {
  TempDir dir;
  Log_Impl log;
  log.SetLogPath((dir.dir() + "missing/sub/").c_str());
  log.SetLogName("REPAIR");
  log.SetLevel(12);
  log.Write(0, "repair", 1, "dropped");
  EXPECT_FALSE(fs::exists(dir.path() / "missing"));
}

// A name in the log's folder that leads to another file (someone else's
// link) takes no line and leaves that file as it was; so does a name that is
// not a plain file, and opening it does not wait on it.
TEST(LogFile, NamesThatLeadElsewhereTakeNoLine) {
  struct Case {
    const char* what;
    void (*make)(const fs::path& name, const fs::path& victim);
    LogFileRefusal refusal;
  };
  const Case cases[] = {
      {"a new file", [](const fs::path&, const fs::path&) {},
       LogFileRefusal::kNone},
      {"a hard link",
       [](const fs::path& name, const fs::path& victim) {
         fs::create_hard_link(victim, name);
       },
       LogFileRefusal::kOtherNames},
#ifndef _WIN32
      {"a symbolic link",
       [](const fs::path& name, const fs::path& victim) {
         fs::create_symlink(victim, name);
       },
       LogFileRefusal::kLink},
      {"a symbolic link to nothing yet",
       [](const fs::path& name, const fs::path& victim) {
         fs::create_symlink(victim.parent_path() / "planted", name);
       },
       LogFileRefusal::kLink},
      {"a pipe",
       [](const fs::path& name, const fs::path&) {
         ASSERT_EQ(mkfifo(name.c_str(), 0600), 0);
       },
       LogFileRefusal::kNotAFile},
#endif
  };
  const std::string victim_bytes(1000001, 'v');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const fs::path victim = dir.path() / "victim.bin";
    std::ofstream(victim, std::ios::binary) << victim_bytes;
    const fs::path name = dir.path() / "REPAIR.log";
    c.make(name, victim);
    const std::string path = dir.dir() + "REPAIR.log";
    for (LogFileAccess access :
         {LogFileAccess::kAppend, LogFileAccess::kReadWrite}) {
      LogFileOpening opening = OpenLogFile(path.c_str(), access);
      EXPECT_EQ(opening.refusal, c.refusal);
      EXPECT_EQ(opening.handle == kNoLogFile,
                c.refusal != LogFileRefusal::kNone);
      if (opening.handle != kNoLogFile) CloseLogFile(opening.handle);
    }
    Log_Impl log;
    WriteBareLines(log, dir);
    log.Write(12, nullptr, 0, "line");
    EXPECT_EQ(ReadFile(victim), victim_bytes);
    EXPECT_FALSE(fs::exists(dir.path() / "planted"));
    if (c.refusal == LogFileRefusal::kNone) {
      EXPECT_EQ(ReadFile(name), "line\r\n");
    }
  }
}

// Many threads append to one file at once: every line arrives whole, once.
TEST(LogFile, ConcurrentWritersNeverInterleave) {
  TempDir dir;
  Log_Impl log;
  log.SetLogPath(dir.dir().c_str());
  log.SetLogName("REPAIR");
  log.AddFlags(kLogNoDatePrefix);
  log.SetLevel(12);
  constexpr int kThreads = 6;
  constexpr int kLines = 300;
  const std::string padding(200, '.');
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&log, &padding, t] {
      for (int n = 0; n < kLines; ++n)
        log.Write(12, "repair", n, "t%d n%d %s", t, n, padding.c_str());
    });
  }
  for (std::thread& writer : writers) writer.join();

  std::string text = ReadFile(dir.path() / "REPAIR.log");
  const std::regex line_pattern(
      "\\[[-0-9: ]+\\] file: line: (\\d+)\\)<<<<t(\\d+) n(\\d+) \\.{200}");
  std::set<std::pair<int, int>> seen;
  size_t start = 0;
  int lines = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos) << "unterminated last line";
    std::string line = text.substr(start, end - start);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, line_pattern)) << line;
    EXPECT_EQ(match[1], match[3]);
    seen.emplace(std::stoi(match[2]), std::stoi(match[3]));
    ++lines;
    start = end + 2;
  }
  EXPECT_EQ(lines, kThreads * kLines);
  EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLines));
}

// A device with room for `space` more bytes, taking at most `per_call`
// bytes in one write call.
struct FakeDevice {
  static constexpr size_t kUnlimited = SIZE_MAX;
  static inline size_t space = kUnlimited;
  static inline size_t per_call = kUnlimited;

  FakeDevice() { SetLogWriteLimiterForTesting(&Take); }
  ~FakeDevice() {
    SetLogWriteLimiterForTesting(nullptr);
    space = per_call = kUnlimited;
  }
  static size_t Take(size_t requested) {
    size_t allowed = std::min({requested, space, per_call});
    if (space != kUnlimited) space -= allowed;
    return allowed;
  }
};

struct DeviceStep {
  size_t space;  // room on the device from this write on; kKeep leaves it
  const char* message;
};
constexpr size_t kKeep = SIZE_MAX - 1;

// Lines are "alpha\r\n" (7 bytes) and so on: no header, to read the bytes
// on the device exactly.
TEST(LogFullDevice, NoLineIsGluedOntoAFragmentAndLossesAreCounted) {
  constexpr size_t kFree = FakeDevice::kUnlimited;
  struct Case {
    const char* label;
    size_t per_call;
    std::vector<DeviceStep> steps;
    const char* expected;
  } cases[] = {
      {"short writes are continued",
       3,
       {{kFree, "alpha"}, {kKeep, "bravo"}},
       "alpha\r\nbravo\r\n"},
      {"device fills inside a line",
       FakeDevice::kUnlimited,
       {{10, "alpha"},
        {kKeep, "bravo"},
        {kKeep, "charlie"},
        {kFree, "delta"},
        {kKeep, "echo"}},
       "alpha\r\nbra\r\ndelta [log: 2 earlier lines lost]\r\necho\r\n"},
      {"device fills at a line end",
       4,
       {{7, "alpha"}, {kKeep, "bravo"}, {kFree, "charlie"}},
       "alpha\r\ncharlie [log: 1 earlier line lost]\r\n"},
      {"space returns for part of a line only",
       FakeDevice::kUnlimited,
       {{9, "alpha"}, {kKeep, "bravo"}, {3, "charlie"}, {kFree, "delta"}},
       "alpha\r\nbr\r\nc\r\ndelta [log: 2 earlier lines lost]\r\n"},
  };
  for (bool descriptor_mode : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.label) +
                   (descriptor_mode ? ", descriptor" : ", file"));
      FakeDevice device;
      FakeDevice::per_call = c.per_call;
      DescriptorLog sink(0);
      TempDir dir;
      Log_Impl& log = sink.log();
      if (!descriptor_mode) {
        log.SetLogPath(dir.dir().c_str());
        log.SetLogName("REPAIR");
        log.AddFlags(kLogNoDatePrefix);
      }
      for (const DeviceStep& step : c.steps) {
        if (step.space != kKeep) FakeDevice::space = step.space;
        log.Write(12, nullptr, 0, "%s", step.message);
      }
      EXPECT_EQ(descriptor_mode ? sink.Contents()
                                : ReadFile(dir.path() / "REPAIR.log"),
                c.expected);
    }
  }

  // Lines lost to one target are not reported in another.
  FakeDevice device;
  DescriptorLog sink(0);
  FakeDevice::space = 0;
  sink.log().Write(12, nullptr, 0, "lost");
  FakeDevice::space = FakeDevice::kUnlimited;
  TempDir dir;
  sink.log().SetLogPath(dir.dir().c_str());
  sink.log().SetLogName("REPAIR");
  sink.log().AddFlags(kLogNoDatePrefix);
  sink.log().Write(12, nullptr, 0, "fresh");
  EXPECT_EQ(ReadFile(dir.path() / "REPAIR.log"), "fresh\r\n");
}

#ifndef _WIN32
// The same with a real short write: the file size limit stops the write
// inside the second line (EFBIG), as a full disk would.
TEST(LogFullDevice, FileSizeLimitInsideALine) {
  struct Restore {
    rlimit saved{};
    void (*handler)(int) = nullptr;
    Restore() {
      getrlimit(RLIMIT_FSIZE, &saved);
      handler =
          signal(SIGXFSZ, SIG_IGN);  // the default action ends the process
    }
    ~Restore() {
      setrlimit(RLIMIT_FSIZE, &saved);
      signal(SIGXFSZ, handler);
    }
  } restore;
  TempDir dir;
  Log_Impl log;
  WriteBareLines(log, dir);

  rlimit limit = restore.saved;
  limit.rlim_cur = 10;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  log.Write(12, nullptr, 0, "alpha");
  log.Write(12, nullptr, 0, "bravo");
  log.Write(12, nullptr, 0, "charlie");
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &restore.saved), 0);
  log.Write(12, nullptr, 0, "delta");
  EXPECT_EQ(ReadFile(dir.path() / "REPAIR.log"),
            "alpha\r\nbra\r\ndelta [log: 2 earlier lines lost]\r\n");
}
#endif

// Callers log between a failing call and reading its error.
TEST(LogErrors, WritingLeavesTheCallersErrorAsItWas) {
  TempDir dir;
  DescriptorLog sink(kLogErrnoText);
  Log_Impl to_file;
  to_file.SetLogPath(dir.dir().c_str());
  to_file.SetLevel(12);
  Log_Impl unopenable;
  unopenable.SetLogPath((dir.dir() + "missing/").c_str());
  unopenable.SetLevel(12);
  FakeDevice device;
  struct Target {
    const char* label;
    Log_Impl* log;
    size_t space;
  } targets[] = {{"descriptor", &sink.log(), FakeDevice::kUnlimited},
                 {"file", &to_file, FakeDevice::kUnlimited},
                 {"unopenable file", &unopenable, FakeDevice::kUnlimited},
                 {"full device", &to_file, 0},
                 {"torn line", &sink.log(), 4}};
  for (const Target& target : targets) {
    SCOPED_TRACE(target.label);
    FakeDevice::space = target.space;
    errno = EDOM;
#ifdef _WIN32
    SetLastError(ERROR_INVALID_FUNCTION);
#endif
    target.log->Write(6, "repair", 1, "failed");
    EXPECT_EQ(errno, EDOM);
#ifdef _WIN32
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
#endif
  }
  EXPECT_NE(sink.Contents().find(FormatString(" {%d:", EDOM)),
            std::string::npos);
}

TEST(LogPrintf, UsesTheProcessWideInstance) {
  LogInterface* log = GetLog();
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(GetLog(), log);
  TempDir dir;
  log->SetLogPath(dir.dir().c_str());
  log->SetLogName("REPAIR");
  log->AddFlags(kLogNoDatePrefix);
  log->RemoveFlags(0x07F);
  log->SetLevel(8);
  LogPrintf(12, "repair", 1, "suppressed %d", 1);
  LogPrintf(8, "repair", 2, "Get Default adpter failed %d", 232);
  EXPECT_EQ(ReadFile(dir.path() / "REPAIR.log"),
            ")<<<<Get Default adpter failed 232\r\n");
  log->SetLevel(0);
}

}  // namespace
}  // namespace basekit
