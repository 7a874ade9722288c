#pragma once

// Recording fakes of the repair's platform seams, and a capture of the log.

#include <cstdint>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "basekit/log/log.h"
#include "repair/adapter_info.h"
#include "repair/system_seams.h"
#include "tftp/tftp_client.h"

namespace repair::fakes {

// An adapter record with the fields the repair reads.
inline IP_ADAPTER_INFO MakeAdapter(const char* name, const char* description, std::vector<uint8_t> mac,
                                   uint32_t dhcp = 1, const char* ip = "0.0.0.0", const char* mask = "0.0.0.0",
                                   const char* gateway = "0.0.0.0") {
  IP_ADAPTER_INFO a = {};
  std::strncpy(a.AdapterName, name, sizeof(a.AdapterName) - 1);
  std::strncpy(a.Description, description, sizeof(a.Description) - 1);
  a.AddressLength = static_cast<decltype(a.AddressLength)>(mac.size());
  std::memcpy(a.Address, mac.data(), mac.size() < 8 ? mac.size() : 8);
  a.DhcpEnabled = dhcp;
  std::strncpy(a.IpAddressList.IpAddress.String, ip, 15);
  std::strncpy(a.IpAddressList.IpMask.String, mask, 15);
  std::strncpy(a.GatewayList.IpAddress.String, gateway, 15);
  return a;
}

inline const std::vector<uint8_t> kMac1 = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};

// Lays the records out like the platform: one block, linked through Next.
class FakeAdapterSource : public AdapterSource {
 public:
  std::vector<IP_ADAPTER_INFO> records;
  uint32_t error = 0;          // returned instead of the list when not 0
  uint32_t empty_error = 232;  // the platform's "no data" for an empty list
  uint32_t overflow_size = 0;  // when set, a buffer overflow reports this size
  std::vector<uint32_t> sizes_offered;

  uint32_t GetAdaptersInfo(IP_ADAPTER_INFO* buffer, uint32_t* size) override {
    sizes_offered.push_back(*size);
    if (error != 0) return error;
    if (records.empty()) return empty_error;
    uint32_t needed = static_cast<uint32_t>(records.size() * sizeof(IP_ADAPTER_INFO));
    if (*size < needed) {
      *size = overflow_size ? overflow_size : needed;
      return kAdapterEnumBufferOverflow;
    }
    for (size_t i = 0; i < records.size(); ++i) {
      buffer[i] = records[i];
      buffer[i].Next = i + 1 < records.size() ? &buffer[i + 1] : nullptr;
    }
    return 0;
  }
};

class FakeRegistry : public RegistryReader {
 public:
  // key path -> value; a key with no entry in `values` has no usable value.
  std::set<std::string> keys;
  std::map<std::string, std::wstring> values;

  void AddConnection(const std::string& adapter_name, const std::wstring& connection_name) {
    std::string path = std::string(
                           "SYSTEM\\CurrentControlSet\\Control\\Network\\"
                           "{4D36E972-E325-11CE-BFC1-08002BE10318}\\") +
                       adapter_name + "\\Connection";
    keys.insert(path);
    values[path] = connection_name;
  }

  RegistryReadResult ReadString(const char* key_path, const wchar_t* value_name, std::wstring* value) override {
    if (!keys.count(key_path)) return RegistryReadResult::kKeyMissing;
    auto it = values.find(key_path);
    if (it == values.end() || std::wstring(value_name) != L"Name") {
      return RegistryReadResult::kValueUnusable;
    }
    *value = it->second;
    return RegistryReadResult::kOk;
  }
};

class FakeProcessRunner : public ProcessRunner {
 public:
  std::wstring system_folder = L"C:\\Windows\\system32";  // empty: the platform cannot tell
  bool fail = false;                                      // every start fails
  std::vector<std::wstring> started;                      // command lines
  std::vector<std::wstring> refused;
  // What each start, refused or not, named as the program file and its
  // current folder.
  std::vector<std::wstring> applications;
  std::vector<std::wstring> directories;
  std::vector<uint32_t> waits;
  std::multiset<uintptr_t> open_handles;
  int closes_of_unknown_handles = 0;

  std::wstring SystemFolder() override { return system_folder; }
  bool CreateHiddenProcess(const std::wstring& application, wchar_t* command_line, const std::wstring& directory,
                           ProcessHandle* process, uint32_t* error) override {
    applications.push_back(application);
    directories.push_back(directory);
    if (fail) {
      refused.push_back(command_line);
      *error = 2;
      return false;
    }
    started.push_back(command_line);
    // The platform may write into the buffer: make sure nobody relies on it.
    command_line[0] = L'#';
    uintptr_t handle = 0x1000 + started.size();
    open_handles.insert(handle);
    *process = reinterpret_cast<ProcessHandle>(handle);
    return true;
  }
  void WaitForProcess(ProcessHandle, uint32_t timeout_ms) override { waits.push_back(timeout_ms); }
  void CloseProcess(ProcessHandle process) override {
    auto it = open_handles.find(reinterpret_cast<uintptr_t>(process));
    if (it == open_handles.end()) {
      ++closes_of_unknown_handles;
    } else {
      open_handles.erase(it);
    }
  }
};

class FakeFileProbe : public FileProbe {
 public:
  std::set<std::wstring> existing;
  bool Exists(const std::wstring& path) override { return existing.count(path) != 0; }
};

class FakeModuleInfo : public ModuleInfo {
 public:
  std::wstring path = L"C:\\Tools\\repair.exe";
  std::wstring ModuleFileName() override { return path; }
};

class FakeFirmware : public FirmwareSource {
 public:
  std::vector<uint8_t> image = std::vector<uint8_t>(1300, 0x5A);
  bool available = true;
  size_t reported_size = 0;  // when set, reported instead of the image's size
  bool Load(const uint8_t** data, size_t* size) override {
    if (!available) return false;
    *data = image.data();
    *size = reported_size ? reported_size : image.size();
    return true;
  }
};

class FakeSleeper : public Sleeper {
 public:
  std::vector<uint32_t> sleeps;
  void Sleep(uint32_t milliseconds) override { sleeps.push_back(milliseconds); }
};

class FakeTftp : public TftpSessionFactory {
 public:
  // Connect results in order; once used up, Connect succeeds.
  std::deque<bool> connect_results;
  bool send_result = true;
  TftpOutcome failed_outcome = TftpOutcome::kNoReply;  // of a send that fails
  bool throw_on_create = false;
  int sessions_alive = 0;
  int connects = 0;
  std::vector<std::vector<uint8_t>> sent;
  std::vector<const uint8_t*> sent_addresses;
  TftpSession::ProgressObserver progress;

  class Session : public TftpSession {
   public:
    explicit Session(FakeTftp* owner) : owner_(owner) { ++owner_->sessions_alive; }
    ~Session() override { --owner_->sessions_alive; }
    bool Connect() override {
      ++owner_->connects;
      if (owner_->connect_results.empty()) return true;
      bool result = owner_->connect_results.front();
      owner_->connect_results.pop_front();
      return result;
    }
    void SetProgressObserver(ProgressObserver observer) override { owner_->progress = std::move(observer); }
    TftpUploadResult Send(const uint8_t* data, int32_t length) override {
      owner_->sent.emplace_back(data, data + length);
      owner_->sent_addresses.push_back(data);
      TftpUploadResult result;
      result.outcome = owner_->send_result ? TftpOutcome::kDelivered : owner_->failed_outcome;
      result.total = static_cast<size_t>(length);
      result.acknowledged = owner_->send_result ? result.total : 0;
      return result;
    }

   private:
    FakeTftp* owner_;
  };

  std::unique_ptr<TftpSession> Create() override {
    if (throw_on_create) throw ETFTPSocketInitialize();
    return std::make_unique<Session>(this);
  }
};

// One set of fakes wired into a RepairPlatform.
struct FakeSystem {
  FakeAdapterSource adapters;
  FakeRegistry registry;
  FakeProcessRunner processes;
  FakeFileProbe files;
  FakeModuleInfo module;
  FakeFirmware firmware;
  FakeSleeper sleeper;
  FakeTftp tftp;

  RepairPlatform platform() {
    return RepairPlatform{&adapters, &registry, &processes, &files, &module, &firmware, &sleeper, &tftp};
  }
};

// Sends the process-wide log to a file of its own for the life of the
// object and reads back the messages (the text after the header).
class LogCapture {
 public:
  LogCapture() {
    static int counter = 0;
    dir_ = std::filesystem::temp_directory_path() /
           ("repair_log_" + std::to_string(reinterpret_cast<uintptr_t>(this)) + "_" + std::to_string(++counter));
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);  // left over by a run that crashed
    std::filesystem::create_directories(dir_);
    basekit::LogInterface* log = basekit::GetLog();
    log->SetLogName("REPAIR");
    log->AddFlags(basekit::kLogNoDatePrefix);
    log->SetLevel(basekit::kLogLevelProgress);
    log->SetLogPath((dir_.string() + "/").c_str());
  }
  ~LogCapture() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // Every message written so far, in order.
  // (The header's file field is empty for the bare source names in use, so
  // lines cannot be told apart by source.)
  std::vector<std::string> Messages() const { return Read(); }
  bool Contains(const std::string& message) const {
    for (const std::string& m : Messages()) {
      if (m == message) return true;
    }
    return false;
  }

 private:
  std::vector<std::string> Read() const {
    std::ifstream in(dir_ / "REPAIR.log", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::vector<std::string> out;
    std::string all = text.str();
    size_t start = 0;
    while (start < all.size()) {
      size_t end = all.find("\r\n", start);
      if (end == std::string::npos) end = all.size();
      std::string line = all.substr(start, end - start);
      size_t sep = line.find("<<<<");
      out.push_back(sep == std::string::npos ? line : line.substr(sep + 4));
      start = end + 2;
    }
    return out;
  }

  std::filesystem::path dir_;
};

}  // namespace repair::fakes
