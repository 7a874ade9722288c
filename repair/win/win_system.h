#pragma once

// The Win32 implementations of the repair's platform seams. A failing
// platform call logs its error code here, except the registry reads, whose
// outcome the caller logs.

#include <windows.h>

#include "repair/system_seams.h"

namespace repair {

class WinAdapterSource : public AdapterSource {
 public:
  uint32_t GetAdaptersInfo(IP_ADAPTER_INFO* buffer, uint32_t* size) override;
};

class WinRegistryReader : public RegistryReader {
 public:
  // Values are read under `root`; the product reads HKEY_LOCAL_MACHINE.
  explicit WinRegistryReader(HKEY root = HKEY_LOCAL_MACHINE) : root_(root) {}
  RegistryReadResult ReadString(const char* key_path, const wchar_t* value_name, std::wstring* value) override;

 private:
  HKEY root_;
};

class WinProcessRunner : public ProcessRunner {
 public:
  std::wstring SystemFolder() override;
  // Standard output and error go to a pipe of the runner's, read after the
  // wait; standard output to `output` instead when given.
  bool CreateHiddenProcess(const std::wstring& application, wchar_t* command_line, const std::wstring& directory,
                           FileHandle output, ProcessHandle* process, uint32_t* error) override;
  ProcessExit WaitForProcess(ProcessHandle process, uint32_t timeout_ms) override;
  std::string ReadOutput(ProcessHandle process) override;
  void CloseProcess(ProcessHandle process) override;
  bool CreateOutputFile(const std::wstring& path, FileHandle* file, uint32_t* error) override;
  bool DiscardOutputFile(FileHandle file) override;
  void CloseFile(FileHandle file) override;
};

class WinModuleInfo : public ModuleInfo {
 public:
  std::wstring ModuleFileName() override;
};

// A resource of the program's own module, used in place.
class WinResourceFirmware : public FirmwareSource {
 public:
  // The product's image: type "FIRMWARE", id 133.
  WinResourceFirmware() : WinResourceFirmware(L"FIRMWARE", 133) {}
  WinResourceFirmware(const wchar_t* type, int id) : type_(type), id_(id) {}
  bool Load(const uint8_t** data, size_t* size) override;

 private:
  const wchar_t* type_;
  int id_;
};

class WinSleeper : public Sleeper {
 public:
  void Sleep(uint32_t milliseconds) override;
};

}  // namespace repair
