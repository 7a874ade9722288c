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
#include <vector>

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
using FileHandle = void*;

// The platform's error code for a name that is already taken (by a file, a
// folder or a link of any kind).
inline constexpr uint32_t kNameTaken = 80;

// How a waited-for process ended.
struct ProcessExit {
  bool exited = false;     // false: still running when the wait ended
  uint32_t exit_code = 0;  // valid when exited
};

class ProcessRunner {
 public:
  virtual ~ProcessRunner() = default;
  // The folder of the system's own tools, without a trailing backslash.
  // Empty, and the cause logged, when the platform cannot tell.
  virtual std::wstring SystemFolder() = 0;
  // Starts the program file `application` (a full path, never searched
  // for) as a hidden process with `command_line` (NUL-terminated; the
  // platform may write into it) and the current folder `directory`. Its
  // standard error, and its standard output unless `output` is given (a
  // file of CreateOutputFile, which stays the caller's), are captured. On
  // success the thread handle is already closed and *process receives the
  // process, which the caller must close; on failure *process is untouched
  // and *error receives the platform's error code.
  virtual bool CreateHiddenProcess(const std::wstring& application, wchar_t* command_line,
                                   const std::wstring& directory, FileHandle output, ProcessHandle* process,
                                   uint32_t* error) = 0;
  // Waits at most timeout_ms for the process to end; never kills it.
  virtual ProcessExit WaitForProcess(ProcessHandle process, uint32_t timeout_ms) = 0;
  // What the process has written so far (at most a few kilobytes, the
  // system's narrow code page), without blocking.
  virtual std::string ReadOutput(ProcessHandle process) = 0;
  virtual void CloseProcess(ProcessHandle process) = 0;

  // Creates a new, empty file at `path` for a process's output, in one
  // step that fails when anything at all has that name: nothing can be put
  // there between a look and the creation, and nothing is ever written
  // through a link. On success *file receives it, which the caller must
  // close with CloseFile; on failure *error receives the platform's error
  // code, kNameTaken when the name is taken. The caller logs the failure.
  virtual bool CreateOutputFile(const std::wstring& path, FileHandle* file, uint32_t* error) = 0;
  // Has a file of CreateOutputFile deleted once every handle to it is
  // closed (a process still writing into it included). False, and the
  // cause logged, when the platform refuses.
  virtual bool DiscardOutputFile(FileHandle file) = 0;
  virtual void CloseFile(FileHandle file) = 0;
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

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds of a monotonic clock (any origin). Sleeping the Sleeper
  // advances it.
  virtual uint64_t NowMs() = 0;
};

// An adapter as it can be found again, also after a restart: its instance
// identifier (a GUID in braces) and its hardware address
// ("00-1A-2B-3C-4D-5E").
struct AdapterIdentity {
  std::string guid;
  std::string mac;
};

struct Ipv4Address {
  std::string address;  // dotted quad
  int prefix_length = 0;
  // False while the system still checks the address for duplicates
  // (tentative) or has found a duplicate: it cannot carry traffic yet.
  bool usable = true;
};

// An adapter's state as the system reports it now.
struct AdapterState {
  AdapterIdentity identity;
  std::wstring friendly_name;  // the connection name shown to the user
  bool link_up = false;        // operational, media connected
  bool dhcp_enabled = false;
  std::vector<Ipv4Address> addresses;
  std::vector<std::string> gateways;
};

enum class AdapterLookup {
  kFound,
  kNotFound,     // no adapter of that identity
  kUnavailable,  // the system could not be asked (logged)
};

class AdapterMonitor {
 public:
  virtual ~AdapterMonitor() = default;
  // Finds the adapter by its GUID or, failing that, by its hardware
  // address, and fills *state on kFound.
  virtual AdapterLookup Find(const AdapterIdentity& identity, AdapterState* state) = 0;
};

enum class JournalRead {
  kRead,     // *bytes holds the journal
  kMissing,  // there is none
  kFailed,   // it exists but could not be read (logged)
  kForeign,  // found in a place the program did not make for itself, where
             // others could have written it: never to be acted on. The
             // store has logged it and put a place of its own in its stead
             // (or logged why it could not; Write then fails).
};

// The one record of what a repair has changed on this machine until it has
// been put back. Only the program may write it: a journal is a list of
// settings the program, with administrator rights, will put on the PC.
// Each method logs its own failure.
class JournalStore {
 public:
  virtual ~JournalStore() = default;
  // Where the journal lives, for the log.
  virtual std::wstring Location() = 0;
  // *bytes holds at most RepairJournal::kMaxBytes + 1 bytes: a larger
  // journal is not read, and that many bytes stand for it (its parser
  // refuses them as too large).
  virtual JournalRead Read(std::string* bytes) = 0;
  // Replaces the journal so that a crash at any instant leaves either the
  // old or the new one whole. False when the store cannot take it (it
  // cannot be made the program's own, or refuses the write): the change the
  // journal was to record must then not be made.
  virtual bool Write(const std::string& bytes) = 0;
  // Deletes the journal; true when none is left.
  virtual bool Remove() = 0;
  // Keeps the journal under its name followed by "." and `suffix`,
  // replacing an earlier one of that name, so that it is not read again.
  virtual bool SetAside(const char* suffix) = 0;
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
  // (attempt number, from 2) each time the write request goes out again
  // because the box has not answered it.
  using RequestRetryObserver = std::function<void(int attempt)>;

  // Called before Send; may be empty.
  virtual void SetProgressObserver(ProgressObserver observer) = 0;
  virtual void SetRequestRetryObserver(RequestRetryObserver observer) = 0;
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
  ModuleInfo* module = nullptr;
  FirmwareSource* firmware = nullptr;
  Sleeper* sleeper = nullptr;
  TftpSessionFactory* tftp = nullptr;
  Clock* clock = nullptr;
  AdapterMonitor* monitor = nullptr;
  JournalStore* journal = nullptr;
};

// The product's implementations for this build, created on first use and
// never destroyed. On Windows they are the Win32 ones; elsewhere every
// facility that would change the machine or reach the network reports
// failure, so a native run of the procedure can never touch a real setting.
const RepairPlatform& DefaultRepairPlatform();

}  // namespace repair
