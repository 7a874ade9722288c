#pragma once

// The process-wide log. Each call becomes one line, appended at once by the
// calling thread: an optional header (time, source file, source line, error
// number), the separator "<<<<", the printf-formatted message and "\r\n".
// In file mode the file is opened, appended to and closed for every line
// (never through a link at its name, see log_file.h); in descriptor mode the
// line goes to an already open runtime file descriptor.
//
// Thread affinity: Write/WriteV and LogPrintf from any thread. Configuration
// calls are not synchronised with concurrent writes; configure once at
// start-up, before other threads log. The first GetLog() must happen on one
// thread before any other thread logs.

#include <cstdarg>
#include <cstdint>
#include <mutex>
#include <string>

namespace basekit {

// Flag bits; their values are fixed (configurations and stored logs rely on
// them).
enum LogFlag : uint32_t {
  kLogDate = 0x001,        // "[yyyy-mm-dd"
  kLogTime = 0x002,        // "hh:mm:ss]"
  kLogTimeMs = 0x004,      // "[yyyy-mm-dd hh:mm:ss:mmm]", overrides date/time
  kLogSourceFile = 0x008,  // " file:<name>"
  kLogSourceLine = 0x010,  // " line: <n>"
  kLogErrno = 0x020,       // " {errno}\r\n"
  kLogErrnoText = 0x040,   // " {errno:text}\r\n", overrides kLogErrno
  kLogToDescriptor =
      0x100,  // descriptor mode; only via SetLogDescriptor/SetLogPath
  kLogNoDatePrefix =
      0x200,  // file "<name>.log" instead of "yyyymmdd_<name>.log"
};

// The levels in use. A line is written when its level is at most the
// configured one; the program configures kLogLevelProgress, so all are.
enum LogLevel : uint32_t {
  kLogLevelFailure = 6,    // an operation failed
  kLogLevelLookup = 8,     // a lookup found nothing
  kLogLevelProgress = 12,  // progress of the work
};

inline constexpr uint32_t kLogDefaultFlags =
    kLogDate | kLogTime | kLogSourceFile | kLogSourceLine;

class LogInterface {
 public:
  virtual const char* GetVersion() = 0;
  // Both ignore an argument that contains kLogToDescriptor.
  virtual void AddFlags(uint32_t flags) = 0;
  virtual void RemoveFlags(uint32_t flags) = 0;
  virtual void SetLevel(uint32_t level) = 0;
  virtual uint32_t GetLevel() = 0;
  // Null is ignored; does not leave descriptor mode.
  virtual void SetLogName(const char* name) = 0;
  // Null in descriptor mode. The pointer lives until the next SetLogPath or
  // SetLogDescriptor.
  virtual const char* GetLogPath() = 0;
  // Only the directory part (up to the last separator) is used; the path
  // is UTF-8 (on Windows too, so that any folder can hold the log). Leaves
  // descriptor mode; null is ignored.
  virtual void SetLogPath(const char* path) = 0;
  // Negative values are ignored; otherwise enters descriptor mode and forgets
  // path and name. The descriptor stays owned by the caller.
  virtual void SetLogDescriptor(int descriptor) = 0;
  virtual int GetLogDescriptor() = 0;
  // Writes one line when level <= GetLevel(). A null source file gives a
  // line without header. Never reports an error: failed opens and writes
  // drop the line, and the next line that gets through ends with the count
  // of lines lost since (since the target was last set, at most). Leaves
  // errno (and the thread's last system error) as they were.
  virtual void Write(uint32_t level, const char* source_file, int line,
                     const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 5, 6)))
#endif
      = 0;
  virtual void WriteV(uint32_t level, const char* source_file, int line,
                      const char* format, va_list args) = 0;
  virtual ~LogInterface() = default;
};

class Log_Impl : public LogInterface {
 public:
  Log_Impl() = default;
  Log_Impl(const Log_Impl&) = delete;
  Log_Impl& operator=(const Log_Impl&) = delete;

  const char* GetVersion() override;
  void AddFlags(uint32_t flags) override;
  void RemoveFlags(uint32_t flags) override;
  void SetLevel(uint32_t level) override;
  uint32_t GetLevel() override;
  void SetLogName(const char* name) override;
  const char* GetLogPath() override;
  void SetLogPath(const char* path) override;
  void SetLogDescriptor(int descriptor) override;
  int GetLogDescriptor() override;
  void Write(uint32_t level, const char* source_file, int line,
             const char* format, ...) override;
  void WriteV(uint32_t level, const char* source_file, int line,
              const char* format, va_list args) override;

  uint32_t GetFlags() const { return flags_; }
  const std::string& GetLogName() const { return log_name_; }

  // The file a line written now goes to in file mode; false when the log
  // path has no directory part (the line is then dropped).
  bool ComposeLogFilePath(std::string& out) const;

 private:
  std::string BuildHeader(const char* source_file, int line,
                          int error_number) const;
  // Writes the line (without its terminator) to the configured target.
  void Emit(std::string line);
  // A new target starts a new count of lost lines.
  void ForgetLostLines();

  uint32_t flags_ = kLogDefaultFlags;
  uint32_t level_ = 0;
  std::string log_path_;
  std::string log_name_;
  int descriptor_ = -1;

  // What a full device did to earlier lines, guarded by output_mutex_:
  // lines lost since the last one that got through whole, and the target
  // (file path or descriptor) that ends in part of a line.
  std::mutex output_mutex_;
  unsigned long long lost_lines_ = 0;
  bool torn_ = false;
  std::string torn_target_;
};

// The process-wide instance, created on first use and never destroyed.
LogInterface* GetLog();

// Writes through GetLog() when level <= GetLog()->GetLevel(); the level test
// comes before any formatting.
void LogPrintf(uint32_t level, const char* source_file, int line,
               const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;

}  // namespace basekit

// Writes one log line at a named level (Failure, Lookup or Progress) with
// the source name `kLogSource`, which each file that logs defines for
// itself, and the calling line:
//   BASEKIT_LOG(Progress, "start upload firmware");
#define BASEKIT_LOG(level, ...)                                           \
  ::basekit::LogPrintf(::basekit::kLogLevel##level, kLogSource, __LINE__, \
                       __VA_ARGS__)
