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
  bool CreateHiddenProcess(const std::wstring&, wchar_t*, const std::wstring&, ProcessHandle*,
                           uint32_t* error) override {
    *error = kNotSupported;
    return false;
  }
  void WaitForProcess(ProcessHandle, uint32_t) override {}
  void CloseProcess(ProcessHandle) override {}
};

class NoFiles : public FileProbe {
 public:
  bool Exists(const std::wstring&) override { return false; }
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
  static NoFiles files;
  static NoModule module;
  static NoFirmware firmware;
  static ThreadSleeper sleeper;
  static NoTftp tftp;
  static const RepairPlatform platform{&adapters, &registry, &processes, &files, &module, &firmware, &sleeper, &tftp};
  return platform;
}

}  // namespace repair
