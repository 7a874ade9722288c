#pragma once

// Recording fakes of the repair's platform seams, and a capture of the log.

#include <cstdint>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "basekit/log/log.h"
#include "repair/adapter_info.h"
#include "repair/repair_journal.h"
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
  // What a started command does and answers; by default it ends with 0
  // and prints nothing.
  std::function<ProcessExit(const std::wstring& command, std::string* output)> on_command;
  std::map<uintptr_t, std::pair<ProcessExit, std::string>> results;

  // Output files: the names already taken (by anything), the error every
  // creation fails with when not 0, the files created (path -> what the
  // commands wrote into them; a discarded one goes at its close), and the
  // file each started command wrote into (empty: none).
  std::set<std::wstring> taken;
  uint32_t create_error = 0;
  std::map<std::wstring, std::string> files;
  std::vector<std::wstring> output_files;
  std::set<uintptr_t> open_files;

  std::wstring SystemFolder() override { return system_folder; }
  bool CreateHiddenProcess(const std::wstring& application, wchar_t* command_line, const std::wstring& directory,
                           FileHandle output_file, ProcessHandle* process, uint32_t* error) override {
    applications.push_back(application);
    directories.push_back(directory);
    if (fail) {
      refused.push_back(command_line);
      *error = 2;
      return false;
    }
    started.push_back(command_line);
    std::string output;
    ProcessExit exit{true, 0};
    if (on_command) exit = on_command(command_line, &output);
    output_files.push_back(output_file ? PathOf(output_file) : std::wstring());
    if (output_file) {
      files[output_files.back()] += output;
      output.clear();
    }
    // The platform may write into the buffer: make sure nobody relies on it.
    command_line[0] = L'#';
    uintptr_t handle = 0x1000 + started.size();
    open_handles.insert(handle);
    results[handle] = {exit, output};
    *process = reinterpret_cast<ProcessHandle>(handle);
    return true;
  }
  bool CreateOutputFile(const std::wstring& path, FileHandle* file, uint32_t* error) override {
    if (create_error != 0 || taken.count(path) || files.count(path)) {
      *error = create_error != 0 ? create_error : kNameTaken;
      return false;
    }
    files[path];
    created_paths_.push_back(path);
    open_files.insert(created_paths_.size());
    *file = reinterpret_cast<FileHandle>(created_paths_.size());
    return true;
  }
  bool DiscardOutputFile(FileHandle file) override {
    discarded_.insert(reinterpret_cast<uintptr_t>(file));
    return true;
  }
  void CloseFile(FileHandle file) override {
    const auto handle = reinterpret_cast<uintptr_t>(file);
    if (open_files.erase(handle) == 0) ++closes_of_unknown_handles;
    if (discarded_.count(handle)) files.erase(PathOf(file));
  }
  ProcessExit WaitForProcess(ProcessHandle process, uint32_t timeout_ms) override {
    waits.push_back(timeout_ms);
    return results[reinterpret_cast<uintptr_t>(process)].first;
  }
  std::string ReadOutput(ProcessHandle process) override {
    return results[reinterpret_cast<uintptr_t>(process)].second;
  }
  void CloseProcess(ProcessHandle process) override {
    auto it = open_handles.find(reinterpret_cast<uintptr_t>(process));
    if (it == open_handles.end()) {
      ++closes_of_unknown_handles;
    } else {
      open_handles.erase(it);
    }
  }

 private:
  std::wstring PathOf(FileHandle file) const { return created_paths_.at(reinterpret_cast<uintptr_t>(file) - 1); }

  std::vector<std::wstring> created_paths_;  // handle n is created_paths_[n - 1]
  std::set<uintptr_t> discarded_;
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

class FakeClock : public Clock {
 public:
  uint64_t now_ms = 1000000;
  uint64_t NowMs() override { return now_ms; }
};

// Sleeping moves the fake clock on; nothing really waits.
class FakeSleeper : public Sleeper {
 public:
  explicit FakeSleeper(FakeClock* clock) : clock_(clock) {}
  std::vector<uint32_t> sleeps;
  std::function<void()> on_sleep;  // after the clock has moved
  void Sleep(uint32_t milliseconds) override {
    sleeps.push_back(milliseconds);
    clock_->now_ms += milliseconds;
    if (on_sleep) on_sleep();
  }
  // The sleeps of one length, for tests that look past the polling.
  size_t Count(uint32_t milliseconds) const {
    size_t n = 0;
    for (uint32_t s : sleeps) n += s == milliseconds;
    return n;
  }

 private:
  FakeClock* clock_;
};

// The PC's adapters and firewall as netsh would change them, and as the
// system's adapter list shows them. Commands are carried out like the
// end-to-end broker does; an address change shows only after `show_after`
// looks at the adapter list.
class FakeNetwork : public AdapterMonitor {
 public:
  struct Adapter {
    AdapterState state;
    std::wstring connection;
    Ipv4Address lease{"10.20.30.40", 24, true};  // what DHCP hands out
    std::string lease_gateway = "10.20.30.1";
  };

  std::vector<Adapter> adapters;
  std::vector<std::wstring> rules;
  // Commands that contain one of these texts end with exit code 1 and
  // change nothing.
  std::vector<std::wstring> refused;
  int show_after = 0;
  bool unavailable = false;
  int finds = 0;
  // A change that is not visible yet.
  struct Pending {
    std::string guid;
    AdapterState state;
    int visible_at = 0;
  };
  std::vector<Pending> pending;

  Adapter& Add(const IP_ADAPTER_INFO& record, const std::wstring& connection) {
    Adapter adapter;
    adapter.state.identity = {FieldText(record.AdapterName), FormatMac(record)};
    adapter.state.friendly_name = connection;
    adapter.state.link_up = true;
    adapter.state.dhcp_enabled = record.DhcpEnabled != 0;
    adapter.connection = connection;
    if (record.DhcpEnabled) {
      adapter.state.addresses = {adapter.lease};
      adapter.state.gateways = {adapter.lease_gateway};
    } else {
      adapter.state.addresses = {{FieldText(record.IpAddressList.IpAddress.String),
                                  MaskPrefixLength(FieldText(record.IpAddressList.IpMask.String)), true}};
      std::string gateway = FieldText(record.GatewayList.IpAddress.String);
      if (!gateway.empty() && gateway != "0.0.0.0") adapter.state.gateways = {gateway};
    }
    adapters.push_back(adapter);
    return adapters.back();
  }

  Adapter* ByGuid(const std::string& guid) {
    for (Adapter& a : adapters) {
      if (a.state.identity.guid == guid) return &a;
    }
    return nullptr;
  }

  AdapterLookup Find(const AdapterIdentity& identity, AdapterState* state) override {
    ++finds;
    if (unavailable) return AdapterLookup::kUnavailable;
    for (auto it = pending.begin(); it != pending.end();) {
      if (finds >= it->visible_at) {
        if (Adapter* a = ByGuid(it->guid)) a->state = it->state;
        it = pending.erase(it);
      } else {
        ++it;
      }
    }
    // The GUID first; the hardware address only when no GUID matches.
    for (int pass = 0; pass < 2; ++pass) {
      for (Adapter& a : adapters) {
        const bool match = pass == 0 ? a.state.identity.guid == identity.guid : SameAdapter(a.state.identity, identity);
        if (match) {
          *state = a.state;
          return AdapterLookup::kFound;
        }
      }
    }
    return AdapterLookup::kNotFound;
  }

  ProcessExit Apply(const std::wstring& command, std::string* output) {
    for (const std::wstring& text : refused) {
      if (command.find(text) != std::wstring::npos) {
        *output = "The requested operation requires elevation (Run as administrator).\r\n";
        return {true, 1};
      }
    }
    const std::wstring add_rule = L"netsh advfirewall firewall add rule name=\"";
    const std::wstring delete_rule = L"netsh advfirewall firewall delete rule name=\"";
    const std::wstring set_address = L"netsh interface ip set address name=\"";
    if (command.rfind(add_rule, 0) == 0) {
      rules.push_back(Quoted(command, add_rule.size()));
      *output = "Ok.\r\n";
      return {true, 0};
    }
    if (command.rfind(delete_rule, 0) == 0) {
      const std::wstring name = Quoted(command, delete_rule.size());
      const size_t before = rules.size();
      rules.erase(std::remove(rules.begin(), rules.end(), name), rules.end());
      if (rules.size() == before) {
        *output = "No rules match the specified criteria.\r\n";
        return {true, 1};
      }
      *output = "\r\nDeleted 1 rule(s).\r\nOk.\r\n";
      return {true, 0};
    }
    if (command.rfind(set_address, 0) == 0) return SetAddress(command, set_address.size(), output);
    if (command == L"netsh interface ip dump") *output = kDump;
    return {true, 0};
  }

  static constexpr const char* kDump = "pushd interface ip\r\nset address name=\"Ethernet\" source=static\r\npopd\r\n";

 private:
  static std::string FormatMac(const IP_ADAPTER_INFO& record) {
    char text[18];
    std::snprintf(text, sizeof(text), "%02X-%02X-%02X-%02X-%02X-%02X", record.Address[0], record.Address[1],
                  record.Address[2], record.Address[3], record.Address[4], record.Address[5]);
    return text;
  }

  static std::wstring Quoted(const std::wstring& command, size_t start) {
    return command.substr(start, command.find(L'"', start) - start);
  }

  static std::vector<std::string> Words(const std::wstring& text) {
    std::vector<std::string> words;
    std::string word;
    for (wchar_t c : text) {
      if (c == L' ') {
        if (!word.empty()) words.push_back(word);
        word.clear();
      } else {
        word += static_cast<char>(c);
      }
    }
    if (!word.empty()) words.push_back(word);
    return words;
  }

  ProcessExit SetAddress(const std::wstring& command, size_t start, std::string* output) {
    const std::wstring name = Quoted(command, start);
    Adapter* adapter = nullptr;
    for (Adapter& a : adapters) {
      if (a.connection == name) adapter = &a;
    }
    if (adapter == nullptr) {
      *output = "The filename, directory name, or volume label syntax is incorrect.\r\n";
      return {true, 1};
    }
    const std::vector<std::string> words = Words(command.substr(start + name.size() + 1));
    AdapterState next = adapter->state;
    if (!words.empty() && words[0] == "dhcp") {
      if (adapter->state.dhcp_enabled) {
        *output = "DHCP is already enabled on this interface.\r\n";
        return {true, 1};
      }
      next.dhcp_enabled = true;
      next.addresses = {adapter->lease};
      next.gateways = {adapter->lease_gateway};
    } else if (words.size() >= 3 && words[0] == "static") {
      next.dhcp_enabled = false;
      next.addresses = {{words[1], MaskPrefixLength(words[2]), true}};
      next.gateways.clear();
      if (words.size() >= 4 && words[3] != "0.0.0.0" && !words[3].empty()) next.gateways = {words[3]};
    } else {
      *output = "The syntax supplied for this command is not valid.\r\n";
      return {true, 1};
    }
    pending.push_back({adapter->state.identity.guid, next, finds + show_after});
    if (show_after == 0) {
      adapter->state = next;
      pending.pop_back();
    }
    return {true, 0};
  }
};

class FakeJournalStore : public JournalStore {
 public:
  std::optional<std::string> file;
  std::map<std::string, std::string> set_aside;
  bool fail_reads = false;
  bool fail_writes = false;
  // The journal was found where others could have written it: read as
  // foreign, and the store then holds none.
  bool foreign = false;
  int writes = 0;

  std::wstring Location() override { return L"HKLM\\SOFTWARE\\DEzed Repair\\Journal"; }
  JournalRead Read(std::string* bytes) override {
    if (foreign && file) {
      file.reset();
      return JournalRead::kForeign;
    }
    if (fail_reads && file) return JournalRead::kFailed;
    if (!file) return JournalRead::kMissing;
    *bytes = *file;
    return JournalRead::kRead;
  }
  bool Write(const std::string& bytes) override {
    if (fail_writes) return false;
    ++writes;
    file = bytes;
    return true;
  }
  bool Remove() override {
    if (fail_writes) return false;
    file.reset();
    return true;
  }
  bool SetAside(const char* suffix) override {
    if (file) set_aside[suffix] = *file;
    file.reset();
    return true;
  }
};

class FakeTftp : public TftpSessionFactory {
 public:
  // Connect results in order; once used up, Connect succeeds.
  std::deque<bool> connect_results;
  bool send_result = true;
  TftpOutcome failed_outcome = TftpOutcome::kNoReply;  // of a send that fails
  // When set, Send ends this way instead (acknowledged from `acknowledged`).
  std::optional<TftpOutcome> outcome;
  size_t acknowledged = 0;
  uint16_t error_code = 0;
  std::string error_text;
  // Progress reported during Send (bytes acknowledged), each after
  // `progress_step_ms` of the fake clock; and write-request retries.
  std::vector<size_t> progress_steps;
  uint32_t progress_step_ms = 10;
  int request_retries = 0;
  FakeClock* clock = nullptr;
  std::function<void()> during_send;  // e.g. the cable pulled
  bool throw_on_create = false;
  int sessions_alive = 0;
  int connects = 0;
  std::vector<std::vector<uint8_t>> sent;
  std::vector<const uint8_t*> sent_addresses;
  TftpSession::ProgressObserver progress;
  TftpSession::RequestRetryObserver request_retry;

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
    void SetRequestRetryObserver(RequestRetryObserver observer) override {
      owner_->request_retry = std::move(observer);
    }
    TftpUploadResult Send(const uint8_t* data, int32_t length) override {
      owner_->sent.emplace_back(data, data + length);
      owner_->sent_addresses.push_back(data);
      for (int i = 2; i <= owner_->request_retries + 1; ++i) {
        if (owner_->request_retry) owner_->request_retry(i);
      }
      for (size_t step : owner_->progress_steps) {
        if (owner_->clock) owner_->clock->now_ms += owner_->progress_step_ms;
        if (owner_->progress) owner_->progress(step, static_cast<size_t>(length));
      }
      if (owner_->during_send) owner_->during_send();
      // A delivered upload always reports its last block.
      const bool delivered = owner_->outcome ? *owner_->outcome == TftpOutcome::kDelivered : owner_->send_result;
      const size_t total = static_cast<size_t>(length);
      if (delivered && owner_->progress && !owner_->progress_steps.empty() && owner_->progress_steps.back() != total) {
        owner_->progress(total, total);
      }
      TftpUploadResult result;
      result.total = static_cast<size_t>(length);
      if (owner_->outcome) {
        result.outcome = *owner_->outcome;
        result.acknowledged = owner_->acknowledged;
        result.error_code = owner_->error_code;
        result.error_text = owner_->error_text;
        return result;
      }
      result.outcome = owner_->send_result ? TftpOutcome::kDelivered : owner_->failed_outcome;
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

// One set of fakes wired into a RepairPlatform. netsh's commands act on
// the fake network.
struct FakeSystem {
  FakeSystem() {
    tftp.clock = &clock;
    HealCommands();
  }
  FakeSystem(const FakeSystem&) = delete;
  FakeSystem& operator=(const FakeSystem&) = delete;

  // An adapter the enumeration lists, with its connection name in the
  // registry and its state in the network.
  FakeNetwork::Adapter& AddAdapter(const IP_ADAPTER_INFO& record, const std::wstring& connection) {
    adapters.records.push_back(record);
    registry.AddConnection(FieldText(record.AdapterName), connection);
    return network.Add(record, connection);
  }

  FakeAdapterSource adapters;
  FakeRegistry registry;
  FakeProcessRunner processes;
  FakeModuleInfo module;
  FakeFirmware firmware;
  FakeClock clock;
  FakeSleeper sleeper{&clock};
  FakeTftp tftp;
  FakeNetwork network;
  FakeJournalStore journal;

  // netsh's commands act on the fake network again.
  void HealCommands() {
    processes.on_command = [this](const std::wstring& command, std::string* output) {
      return network.Apply(command, output);
    };
  }
  // netsh's rule deletion never ends (it is left running after the wait).
  void HangRuleDeletion() {
    processes.on_command = [this](const std::wstring& command, std::string* output) {
      const bool deletion = command.rfind(L"netsh advfirewall firewall delete rule", 0) == 0;
      return deletion ? ProcessExit{false, 0} : network.Apply(command, output);
    };
  }

  RepairPlatform platform() {
    return RepairPlatform{&adapters, &registry, &processes, &module,  &firmware,
                          &sleeper,  &tftp,     &clock,     &network, &journal};
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
