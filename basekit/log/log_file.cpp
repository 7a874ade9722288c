#include "basekit/log/log_file.h"

namespace basekit {

LogFileRefusal JudgeLogFile(const LogFileFacts& facts) {
  if (facts.link) return LogFileRefusal::kLink;
  if (!facts.plain) return LogFileRefusal::kNotAFile;
  if (facts.names > 1) return LogFileRefusal::kOtherNames;
  return LogFileRefusal::kNone;
}

const char* DescribeLogFileRefusal(LogFileRefusal refusal) {
  switch (refusal) {
    case LogFileRefusal::kNone:
      return "a plain file";
    case LogFileRefusal::kLink:
      return "a symbolic link or reparse point";
    case LogFileRefusal::kOtherNames:
      return "a file with other names (hard links)";
    case LogFileRefusal::kNotAFile:
      return "not a plain file";
  }
  return "?";
}

}  // namespace basekit
