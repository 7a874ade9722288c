#include "basekit/log/log.h"

#include <utility>

#include "basekit/files/file_path.h"
#include "basekit/log/log_file.h"
#include "basekit/strings/format.h"
#include "basekit/time/wall_clock.h"

namespace basekit {

namespace {

constexpr size_t kMessageChars =
    32768;  // the message is cut at 32,767 characters
constexpr size_t kErrorTextChars = 256;  // error text: at most 255 characters

LogInterface* g_log = nullptr;

}  // namespace

const char* Log_Impl::GetVersion() { return "basekit::Log_Impl::1.0"; }

void Log_Impl::AddFlags(uint32_t flags) {
  if (flags & kLogToDescriptor) return;
  flags_ |= flags;
}

void Log_Impl::RemoveFlags(uint32_t flags) {
  if (flags & kLogToDescriptor) return;
  flags_ &= ~flags;
}

void Log_Impl::SetLevel(uint32_t level) { level_ = level; }

uint32_t Log_Impl::GetLevel() { return level_; }

void Log_Impl::SetLogName(const char* name) {
  if (name == nullptr) return;
  log_name_ = name;
  ForgetLostLines();
}

const char* Log_Impl::GetLogPath() {
  if (flags_ & kLogToDescriptor) return nullptr;
  return log_path_.c_str();
}

void Log_Impl::SetLogPath(const char* path) {
  if (path == nullptr) return;
  log_path_ = path;
  flags_ &= ~kLogToDescriptor;
  ForgetLostLines();
}

void Log_Impl::SetLogDescriptor(int descriptor) {
  if (descriptor < 0) return;
  flags_ |= kLogToDescriptor;
  log_path_.clear();
  log_name_.clear();
  descriptor_ = descriptor;
  ForgetLostLines();
}

void Log_Impl::ForgetLostLines() {
  std::lock_guard<std::mutex> turn(output_mutex_);
  lost_lines_ = 0;
}

int Log_Impl::GetLogDescriptor() {
  return (flags_ & kLogToDescriptor) ? descriptor_ : -1;
}

void Log_Impl::Write(uint32_t level, const char* source_file, int line,
                     const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteV(level, source_file, line, format, args);
  va_end(args);
}

std::string Log_Impl::BuildHeader(const char* source_file, int line,
                                  int error_number) const {
  std::string header;
  if (source_file == nullptr) return header;

  if (flags_ & (kLogDate | kLogTime | kLogTimeMs)) {
    CalendarTime now = ToLocalCalendarTime(WallClockNow());
    if (flags_ & kLogTimeMs) {
      AppendFormat(header, "[%04d-%02d-%02d %02d:%02d:%02d:%03d]", now.year,
                   now.month, now.day, now.hour, now.minute, now.second,
                   now.millisecond);
    } else {
      header += '[';
      if (flags_ & kLogDate) {
        AppendFormat(header, "%04d-%02d-%02d", now.year, now.month, now.day);
      }
      if (flags_ & kLogTime) {
        if (flags_ & kLogDate) header += ' ';
        AppendFormat(header, "%02d:%02d:%02d", now.hour, now.minute,
                     now.second);
      }
      header += ']';
    }
  }
  if (flags_ & kLogSourceFile) {
    std::string name;
    ExtractFileName(source_file, name);
    header += " file:";
    header += name;
  }
  if (flags_ & kLogSourceLine) AppendFormat(header, " line: %d", line);
  header += ')';
  if (flags_ & kLogErrnoText) {
    char text[kErrorTextChars];
    ErrorText(error_number, text, sizeof text);
    AppendFormat(header, " {%d:%s}%s", error_number, text, "\r\n");
  } else if (flags_ & kLogErrno) {
    AppendFormat(header, " {%d}%s", error_number, "\r\n");
  }
  header += "<<<<";
  return header;
}

bool Log_Impl::ComposeLogFilePath(std::string& out) const {
  CalendarTime today = ToLocalCalendarTime(WallClockNow());
  std::string file_name;
  if (flags_ & kLogNoDatePrefix) {
    FormatStringInto(file_name, "%s.log", log_name_.c_str());
  } else {
    std::string prefix =
        FormatString("%04d%02d%02d_", today.year, today.month, today.day);
    FormatStringInto(file_name, "%s%s.log", prefix.c_str(), log_name_.c_str());
  }
  return ComposeFilePath(out, log_path_.c_str(), file_name.c_str());
}

void Log_Impl::WriteV(uint32_t level, const char* source_file, int line,
                      const char* format, va_list args) {
  // Taken first: everything below may change it.
  ErrorStateSaver saved_errors;
  if (level > level_) return;

  std::string text =
      BuildHeader(source_file, line, saved_errors.error_number());
  char message[kMessageChars];
  int count = FormatToBuffer(message, kMessageChars, format, args);
  if (count == -1) {
    count = static_cast<int>(kMessageChars - 1);  // cut at 32,767 characters
  } else if (count < 0) {
    count = 0;
  }
  text.append(message, static_cast<size_t>(count));
  Emit(std::move(text));
}

void Log_Impl::Emit(std::string line) {
  std::lock_guard<std::mutex> turn(output_mutex_);
  std::string target;
  if (flags_ & kLogToDescriptor) {
    if (descriptor_ < 0) return;
    target = FormatString("<descriptor %d>", descriptor_);
  } else if (!ComposeLogFilePath(target)) {
    return;  // no log directory configured: nothing is lost
  }

  if (lost_lines_ > 0) {
    AppendFormat(line, " [log: %llu earlier line%s lost]", lost_lines_,
                 lost_lines_ == 1 ? "" : "s");
  }
  line += "\r\n";
  // A full device may have kept part of an earlier line; this one must not
  // be glued onto that fragment.
  if (torn_ && target == torn_target_) line.insert(0, "\r\n");

  long long written;
  if (flags_ & kLogToDescriptor) {
    written = static_cast<long long>(
        WriteToLogDescriptor(descriptor_, line.data(), line.size()));
  } else {
    written = AppendToLogFile(target.c_str(), line.data(), line.size());
  }
  if (written == static_cast<long long>(line.size())) {
    lost_lines_ = 0;
    torn_ = false;
    return;
  }
  ++lost_lines_;
  if (written > 0) {
    torn_ = true;
    torn_target_ = std::move(target);
  }
}

LogInterface* GetLog() {
  if (g_log == nullptr) g_log = new Log_Impl();
  return g_log;
}

void LogPrintf(uint32_t level, const char* source_file, int line,
               const char* format, ...) {
  if (level > GetLog()->GetLevel()) return;
  va_list args;
  va_start(args, format);
  GetLog()->WriteV(level, source_file, line, format, args);
  va_end(args);
}

}  // namespace basekit
