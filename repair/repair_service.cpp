#include "repair/repair_service.h"

#include <cstdint>
#include <exception>
#include <limits>
#include <memory>
#include <new>

#include "basekit/log/log.h"
#include "basekit/task/task.h"
#include "repair/commands.h"
#include "repair/text_encoding.h"
#include "tftp/tftp_client.h"
#include "tftp/tftp_packet.h"

#define SERVICE_LOG(level, ...) basekit::LogPrintf(level, "repair_service", __LINE__, __VA_ARGS__)

namespace repair {

RepairService* RepairService::GetInstance() {
  static RepairService service(DefaultRepairPlatform());
  return &service;
}

RepairService::RepairService(const RepairPlatform& platform)
    : platform_(platform), repair_thread_("repair thread") {}

RepairService::~RepairService() {
  Shutdown();
}

bool RepairService::Shutdown() {
  if (repair_thread_.thread_id() != 0) {
    repair_thread_.Stop();
  }
  return true;
}

bool RepairService::StartThread() {
  if (repair_thread_.thread_id() != 0) {
    return true;
  }
  bool started = repair_thread_.Start(basekit::kLoopTypeDefault);
  if (!started) {
    SERVICE_LOG(6, "start repair thread failed");
  }
  return started;
}

void RepairService::StartRepair() {
  PostStep(&RepairService::OnStartRepair);
}

bool RepairService::PostStep(void (RepairService::*step)()) {
  basekit::MessageLoop* loop =
      repair_thread_.thread_id() != 0 ? repair_thread_.message_loop() : nullptr;
  if (!loop) {
    SERVICE_LOG(6, "repair thread not running, step not posted");
    return false;
  }
  loop->PostTask(basekit::MakeRunnableMethod(this, step));
  return true;
}

void RepairService::OnStartRepair() {
  PostStep(&RepairService::AddFirewallRule);
}

void RepairService::AddFirewallRule() {
  SERVICE_LOG(12, "start mofify firewall settings");
  std::wstring program_path = platform_.module->ModuleFileName();
  int32_t result = 0;
  if (program_path.empty()) {
    // A rule with an empty program does not name this program and may be
    // taken for all of them: add none, and end the repair before anything
    // has changed.
    SERVICE_LOG(6, "program path unknown, no firewall rule added");
  } else {
    result = RunLoggedCommand(AddFirewallRuleCommand(program_path)) ? 1 : 0;
  }
  Report(result, kStepFirewall);
  SERVICE_LOG(12, "end mofify firewall settings");
}

void RepairService::QueryNetworkSettings() {
  SERVICE_LOG(12, "start query network settings");
  // A failed enumeration is logged by EnumerateAdapters; the step goes on
  // with whatever the table holds.
  EnumerateAdapters(*platform_.adapters, adapters_, &adapter_count_);
  Report(1, kStepQuery);
  SERVICE_LOG(12, "end query network settings");
}

void RepairService::BackupNetworkSettings() {
  SERVICE_LOG(12, "start backup network settings");
  if (selected_.DhcpEnabled == 0) {
    // Built from the wide module path: a narrow path converted as code page
    // 936 names the wrong directory on systems with another code page.
    std::wstring module_path = platform_.module->ModuleFileName();
    if (module_path.empty()) {
      SERVICE_LOG(6, "program directory unknown, no backup written");
    } else {
      std::wstring backup_path = BackupPathForModule(module_path);
      // An existing backup is never overwritten: it holds the settings from
      // before the first repair.
      if (!platform_.files->Exists(backup_path)) {
        RunCommandAndWait(*platform_.processes, DumpCommand(backup_path));
      }
    }
  }
  Report(1, kStepBackup);
  SERVICE_LOG(12, "end backup network settings");
}

void RepairService::ModifyNetworkSettings() {
  SERVICE_LOG(12, "start mofify network settings");
  FindIfNameByIntanceId();
  int32_t result = RunLoggedCommand(SetRecoveryAddressCommand(connection_name_)) ? 1 : 0;
  platform_.sleeper->Sleep(kSettleAfterModifyMs);
  SERVICE_LOG(12, "wait 5 seconds");
  if (result == 0) {
    // The chain stops after this report and undoes nothing, so the inbound
    // rule of step 0 would stay behind for good.
    DeleteFirewallRule();
  }
  Report(result, kStepModify);
  SERVICE_LOG(12, "end mofify network settings");
}

void RepairService::UploadFirmware() {
  SERVICE_LOG(12, "start upload firmware");
  int32_t result = 0;
  const uint8_t* image = nullptr;
  size_t image_size = 0;
  if (platform_.firmware->Load(&image, &image_size)) {
    SERVICE_LOG(12, "uploading firmware to %s, name %s", TftpClient::kServerAddress,
                TftpPacket::kFirmwareFileName);
    result = SendFirmware(image, image_size) ? 1 : 0;
  }
  Report(result, kStepUpload);
  SERVICE_LOG(12, "end upload firmware");
}

bool RepairService::SendFirmware(const uint8_t* data, size_t size) {
  if (size > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    SERVICE_LOG(6, "firmware image too large: %lu bytes", static_cast<unsigned long>(size));
    SERVICE_LOG(12, "uploading firmware failed");
    return false;
  }
  std::unique_ptr<TftpSession> session;
  try {
    session = platform_.tftp->Create();
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    // The socket library could not start: an upload failure like any other.
    SERVICE_LOG(6, "tftp client unavailable: %s", e.what());
  }
  bool sent = false;
  if (session) {
    bool connected = false;
    for (int attempt = 1; attempt <= kConnectAttempts && !connected; ++attempt) {
      SERVICE_LOG(12, "try connect %d time", attempt);
      connected = session->Connect();
      if (!connected) {
        SERVICE_LOG(12, "connect error wait 5 seconds retry");
        platform_.sleeper->Sleep(kConnectRetryPauseMs);
      }
    }
    sent = connected && session->Send(data, static_cast<int32_t>(size));
  }
  if (!sent) {
    SERVICE_LOG(12, "uploading firmware failed");
  }
  return sent;
}

void RepairService::RestoreNetworkSettings() {
  SERVICE_LOG(12, "start restore network settings");
  int32_t result = DeleteRuleAndRestoreAdapter() ? 1 : 0;
  Report(result, kStepRestore);
  SERVICE_LOG(12, "end restore network settings");
}

void RepairService::RestoreNetworkSettings2() {
  SERVICE_LOG(12, "start restore network settings 2");
  DeleteRuleAndRestoreAdapter();
  SERVICE_LOG(12, "end restore network settings 2");
}

void RepairService::DeleteFirewallRule() {
  SERVICE_LOG(12, "start delete firewall settings");
  RunLoggedCommand(DeleteFirewallRuleCommand());
  SERVICE_LOG(12, "end delete firewall settings");
}

bool RepairService::DeleteRuleAndRestoreAdapter() {
  DeleteFirewallRule();
  std::wstring command;
  if (selected_.DhcpEnabled != 0) {
    command = RestoreDhcpCommand(connection_name_);
  } else {
    command = RestoreStaticCommand(connection_name_,
                                   GbkToWide(FieldText(selected_.IpAddressList.IpAddress.String)),
                                   GbkToWide(FieldText(selected_.IpAddressList.IpMask.String)),
                                   GbkToWide(FieldText(selected_.GatewayList.IpAddress.String)));
  }
  return RunLoggedCommand(command);
}

bool RepairService::FindIfNameByIntanceId() {
  return FindConnectionName(*platform_.registry, selected_, &connection_name_);
}

bool RepairService::SelectAdapter(int32_t index) {
  if (index < 0 || index >= adapter_count_ || index >= kAdapterTableSize) {
    SERVICE_LOG(6, "adapter %d not selected, table holds %d", static_cast<int>(index),
                static_cast<int>(adapter_count_));
    return false;
  }
  selected_ = adapters_[index];
  return true;
}

void RepairService::Report(int32_t result, RepairStep step) {
  DispatchCallback(kRepairCallbackStepFinished,
                   std::make_unique<RepairServiceCallbackParam>(result, step));
}

bool RepairService::RunLoggedCommand(const std::wstring& command) {
  SERVICE_LOG(12, "cmd : %s", WideToGbk(command).c_str());
  return RunCommandAndWait(*platform_.processes, command);
}

}  // namespace repair
