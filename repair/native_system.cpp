// The product runs on Windows only. Natively the default platform exists so
// that GetInstance works in tests, but it can never change the machine or
// reach the network: the enumeration finds nothing, no process starts and
// there is no firmware to send.

#include <chrono>
#include <thread>

#include "basekit/log/log.h"
#include "repair/system_seams.h"

namespace repair {

namespace {

constexpr const char* kLogSource = "repair_service";

constexpr uint32_t kNotSupported = 50;

class NoAdapters : public AdapterSource {
 public:
  uint32_t GetAdaptersInfo(IP_ADAPTER_INFO*, uint32_t*) override { return kNotSupported; }
};

class NoRegistry : public RegistryReader {
 public:
  RegistryReadResult ReadString(const char*, const wchar_t*, std::wstring*) override {
    return RegistryReadResult::kKeyMissing;
  }
};

class NoProcesses : public ProcessRunner {
 public:
  std::wstring SystemFolder() override {
    BASEKIT_LOG(Failure, "system folder not available on this platform");
    return std::wstring();
  }
  bool CreateHiddenProcess(const std::wstring&, wchar_t*, const std::wstring&, FileHandle, ProcessHandle*,
                           uint32_t* error) override {
    *error = kNotSupported;
    return false;
  }
  ProcessExit WaitForProcess(ProcessHandle, uint32_t) override { return ProcessExit(); }
  std::string ReadOutput(ProcessHandle) override { return std::string(); }
  void CloseProcess(ProcessHandle) override {}
  bool CreateOutputFile(const std::wstring&, FileHandle*, uint32_t* error) override {
    *error = kNotSupported;
    return false;
  }
  bool DiscardOutputFile(FileHandle) override { return false; }
  void CloseFile(FileHandle) override {}
};

class NoModule : public ModuleInfo {
 public:
  std::wstring ModuleFileName() override {
    BASEKIT_LOG(Failure, "program path not available on this platform");
    return std::wstring();
  }
};

class NoFirmware : public FirmwareSource {
 public:
  bool Load(const uint8_t**, size_t*) override {
    BASEKIT_LOG(Failure, "firmware resource not available on this platform");
    return false;
  }
};

class ThreadSleeper : public Sleeper {
 public:
  void Sleep(uint32_t milliseconds) override { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
};

class SteadyClock : public Clock {
 public:
  uint64_t NowMs() override {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
  }
};

class NoMonitor : public AdapterMonitor {
 public:
  AdapterLookup Find(const AdapterIdentity&, AdapterState*) override { return AdapterLookup::kUnavailable; }
};

class NoJournal : public JournalStore {
 public:
  std::wstring Location() override { return L"(none on this platform)"; }
  JournalRead Read(std::string*) override { return JournalRead::kMissing; }
  bool Write(const std::string&) override {
    BASEKIT_LOG(Failure, "no journal on this platform");
    return false;
  }
  bool Remove() override { return true; }
  bool SetAside(const char*) override { return true; }
};

class NoTftp : public TftpSessionFactory {
 public:
  std::unique_ptr<TftpSession> Create() override {
    BASEKIT_LOG(Failure, "firmware upload not available on this platform");
    return nullptr;
  }
};

}  // namespace

const RepairPlatform& DefaultRepairPlatform() {
  static NoAdapters adapters;
  static NoRegistry registry;
  static NoProcesses processes;
  static NoModule module;
  static NoFirmware firmware;
  static ThreadSleeper sleeper;
  static NoTftp tftp;
  static SteadyClock clock;
  static NoMonitor monitor;
  static NoJournal journal;
  static const RepairPlatform platform{&adapters, &registry, &processes, &module,  &firmware,
                                       &sleeper,  &tftp,     &clock,     &monitor, &journal};
  return platform;
}

}  // namespace repair
