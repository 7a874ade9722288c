#pragma once

// The platform facilities the repair procedure reaches, each behind a small
// interface. The product fills them with the Win32 implementations
// (repair/win/win_system.h); tests fill them with fakes, so the procedure's
// logic runs natively and without real waits. Every method runs on the
// thread that calls it and keeps no state between calls unless stated.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "repair/adapter_info.h"
#include "tftp/upload_result.h"

namespace repair {

// Result codes of the adapter enumeration that the procedure tells apart
// (the values of the platform's error codes).
inline constexpr uint32_t kAdapterEnumOk = 0;
inline constexpr uint32_t kAdapterEnumBufferOverflow = 111;

class AdapterSource {
 public:
  virtual ~AdapterSource() = default;
  // GetAdaptersInfo: writes a linked list of records into `buffer` (*size
  // bytes). Returns 0 on success; kAdapterEnumBufferOverflow with the size
  // needed in *size when the buffer is too small; any other error code
  // otherwise (no adapters at all included).
  virtual uint32_t GetAdaptersInfo(IP_ADAPTER_INFO* buffer, uint32_t* size) = 0;
};

enum class RegistryReadResult {
  kOk,
  kKeyMissing,     // the key could not be opened for querying values
  kValueUnusable,  // missing, longer than 255 characters, or not REG_SZ
};

class RegistryReader {
 public:
  virtual ~RegistryReader() = default;
  // Reads a text value of the key `key_path` (narrow) under the machine
  // root. On kOk, *value is the text up to its first NUL; otherwise *value
  // is left alone.
  virtual RegistryReadResult ReadString(const char* key_path, const wchar_t* value_name, std::wstring* value) = 0;
};

using ProcessHandle = void*;

class ProcessRunner {
 public:
  virtual ~ProcessRunner() = default;
  // The folder of the system's own tools, without a trailing backslash.
  // Empty, and the cause logged, when the platform cannot tell.
  virtual std::wstring SystemFolder() = 0;
  // Starts the program file `application` (a full path, never searched
  // for) as a hidden process with `command_line` (NUL-terminated; the
  // platform may write into it) and the current folder `directory`. On
  // success the thread handle is already closed and *process receives the
  // process handle, which the caller must close; on failure *process is
  // untouched and *error receives the platform's error code.
  virtual bool CreateHiddenProcess(const std::wstring& application, wchar_t* command_line,
                                   const std::wstring& directory, ProcessHandle* process, uint32_t* error) = 0;
  // Waits at most timeout_ms for the process to end; never kills it.
  virtual void WaitForProcess(ProcessHandle process, uint32_t timeout_ms) = 0;
  virtual void CloseProcess(ProcessHandle process) = 0;
};

class FileProbe {
 public:
  virtual ~FileProbe() = default;
  // True when anything (file or directory) exists at `path`.
  virtual bool Exists(const std::wstring& path) = 0;
};

class ModuleInfo {
 public:
  virtual ~ModuleInfo() = default;
  // The program's own full path (at most 260 characters); empty, and the
  // cause logged, when the platform cannot tell.
  virtual std::wstring ModuleFileName() = 0;
};

class FirmwareSource {
 public:
  virtual ~FirmwareSource() = default;
  // The firmware image embedded in the program ("FIRMWARE" resource 133).
  // The bytes stay valid for the life of the process and are used in place.
  // False, with the cause logged, when it is missing, cannot be loaded or
  // is empty.
  virtual bool Load(const uint8_t** data, size_t* size) = 0;
};

class Sleeper {
 public:
  virtual ~Sleeper() = default;
  virtual void Sleep(uint32_t milliseconds) = 0;
};

// One upload of the firmware to the box: the life of one TFTP client.
class TftpSession {
 public:
  // (bytes the box has acknowledged, bytes of the upload), on the thread
  // that sends, after each acknowledged block.
  using ProgressObserver = std::function<void(size_t acknowledged, size_t total)>;

  virtual ~TftpSession() = default;
  // One connection attempt; may be repeated after a failure.
  virtual bool Connect() = 0;
  // Called before Send; may be empty.
  virtual void SetProgressObserver(ProgressObserver observer) = 0;
  // Sends the whole buffer; called at most once, after a successful Connect.
  // The upload succeeded when the result says it was delivered.
  virtual TftpUploadResult Send(const uint8_t* data, int32_t length) = 0;
};

class TftpSessionFactory {
 public:
  virtual ~TftpSessionFactory() = default;
  // Creates the client. Throws what the client's construction throws (a
  // socket library that cannot be started).
  virtual std::unique_ptr<TftpSession> Create() = 0;
};

// The seams the repair service works through; none is owned and all must
// outlive the service.
struct RepairPlatform {
  AdapterSource* adapters = nullptr;
  RegistryReader* registry = nullptr;
  ProcessRunner* processes = nullptr;
  FileProbe* files = nullptr;
  ModuleInfo* module = nullptr;
  FirmwareSource* firmware = nullptr;
  Sleeper* sleeper = nullptr;
  TftpSessionFactory* tftp = nullptr;
};

// The product's implementations for this build, created on first use and
// never destroyed. On Windows they are the Win32 ones; elsewhere every
// facility that would change the machine or reach the network reports
// failure, so a native run of the procedure can never touch a real setting.
const RepairPlatform& DefaultRepairPlatform();

}  // namespace repair
