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

namespace repair {

namespace {

constexpr const char* kLogSource = "repair_service";

}  // namespace

RepairService* RepairService::GetInstance() {
  static RepairService service(DefaultRepairPlatform());
  return &service;
}

RepairService::RepairService(const RepairPlatform& platform) : platform_(platform), repair_thread_("repair thread") {}

RepairService::~RepairService() { Shutdown(); }

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
    BASEKIT_LOG(Failure, "start repair thread failed");
  }
  return started;
}

void RepairService::StartRepair() { PostStep(&RepairService::OnStartRepair); }

bool RepairService::PostStep(void (RepairService::*step)()) {
  basekit::MessageLoop* loop = repair_thread_.thread_id() != 0 ? repair_thread_.message_loop() : nullptr;
  if (!loop) {
    BASEKIT_LOG(Failure, "repair thread not running, step not posted");
    return false;
  }
  loop->PostTask(basekit::MakeRunnableMethod(this, step));
  return true;
}

void RepairService::OnStartRepair() { PostStep(&RepairService::AddFirewallRule); }

void RepairService::AddFirewallRule() {
  BASEKIT_LOG(Progress, "start mofify firewall settings");
  std::wstring program_path = platform_.module->ModuleFileName();
  int32_t result = 0;
  if (program_path.empty()) {
    // A rule with an empty program does not name this program and may be
    // taken for all of them: add none, and end the repair before anything
    // has changed.
    BASEKIT_LOG(Failure, "program path unknown, no firewall rule added");
  } else {
    result = RunLoggedCommand(AddFirewallRuleCommand(program_path)) ? 1 : 0;
  }
  Report(result, kStepFirewall);
  BASEKIT_LOG(Progress, "end mofify firewall settings");
}

void RepairService::QueryNetworkSettings() {
  BASEKIT_LOG(Progress, "start query network settings");
  // A failed enumeration is logged by EnumerateAdapters; the step goes on
  // with whatever the table holds.
  EnumerateAdapters(*platform_.adapters, adapters_, &adapter_count_);
  Report(1, kStepQuery);
  BASEKIT_LOG(Progress, "end query network settings");
}

void RepairService::BackupNetworkSettings() {
  BASEKIT_LOG(Progress, "start backup network settings");
  if (selected_.DhcpEnabled == 0) {
    // Built from the wide module path: a narrow path converted as code page
    // 936 names the wrong directory on systems with another code page.
    std::wstring module_path = platform_.module->ModuleFileName();
    if (module_path.empty()) {
      BASEKIT_LOG(Failure, "program directory unknown, no backup written");
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
  BASEKIT_LOG(Progress, "end backup network settings");
}

void RepairService::ModifyNetworkSettings() {
  BASEKIT_LOG(Progress, "start mofify network settings");
  FindIfNameByIntanceId();
  int32_t result = RunLoggedCommand(SetRecoveryAddressCommand(connection_name_)) ? 1 : 0;
  platform_.sleeper->Sleep(kSettleAfterModifyMs);
  BASEKIT_LOG(Progress, "wait 5 seconds");
  if (result == 0) {
    // The chain stops after this report and undoes nothing, so the inbound
    // rule of step 0 would stay behind for good.
    DeleteFirewallRule();
  }
  Report(result, kStepModify);
  BASEKIT_LOG(Progress, "end mofify network settings");
}

void RepairService::UploadFirmware() {
  BASEKIT_LOG(Progress, "start upload firmware");
  int32_t result = 0;
  const uint8_t* image = nullptr;
  size_t image_size = 0;
  if (platform_.firmware->Load(&image, &image_size)) {
    BASEKIT_LOG(Progress, "uploading firmware to %s, name %s", TftpClient::kServerAddress,
                TftpPacket::kFirmwareFileName);
    result = SendFirmware(image, image_size) ? 1 : 0;
  }
  Report(result, kStepUpload);
  BASEKIT_LOG(Progress, "end upload firmware");
}

bool RepairService::SendFirmware(const uint8_t* data, size_t size) {
  if (size > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    BASEKIT_LOG(Failure, "firmware image too large: %lu bytes", static_cast<unsigned long>(size));
    BASEKIT_LOG(Progress, "uploading firmware failed");
    return false;
  }
  std::unique_ptr<TftpSession> session;
  try {
    session = platform_.tftp->Create();
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    // The socket library could not start: an upload failure like any other.
    BASEKIT_LOG(Failure, "tftp client unavailable: %s", e.what());
  }
  TftpUploadResult result;
  if (session) {
    bool connected = false;
    for (int attempt = 1; attempt <= kConnectAttempts && !connected; ++attempt) {
      BASEKIT_LOG(Progress, "try connect %d time", attempt);
      connected = session->Connect();
      if (!connected) {
        BASEKIT_LOG(Progress, "connect error wait 5 seconds retry");
        platform_.sleeper->Sleep(kConnectRetryPauseMs);
      }
    }
    if (connected) {
      result = session->Send(data, static_cast<int32_t>(size));
    }
  }
  if (result.outcome == TftpOutcome::kLastBlockUnconfirmed) {
    // Not a plain failure: the box may hold the whole image.
    BASEKIT_LOG(Progress, "uploading firmware unconfirmed: last block sent, its acknowledgement never came");
  } else if (!result.delivered()) {
    BASEKIT_LOG(Progress, "uploading firmware failed");
  }
  return result.delivered();
}

void RepairService::RestoreNetworkSettings() {
  BASEKIT_LOG(Progress, "start restore network settings");
  int32_t result = DeleteRuleAndRestoreAdapter() ? 1 : 0;
  Report(result, kStepRestore);
  BASEKIT_LOG(Progress, "end restore network settings");
}

void RepairService::RestoreNetworkSettings2() {
  BASEKIT_LOG(Progress, "start restore network settings 2");
  DeleteRuleAndRestoreAdapter();
  BASEKIT_LOG(Progress, "end restore network settings 2");
}

void RepairService::DeleteFirewallRule() {
  BASEKIT_LOG(Progress, "start delete firewall settings");
  RunLoggedCommand(DeleteFirewallRuleCommand());
  BASEKIT_LOG(Progress, "end delete firewall settings");
}

bool RepairService::DeleteRuleAndRestoreAdapter() {
  DeleteFirewallRule();
  std::wstring command;
  if (selected_.DhcpEnabled != 0) {
    command = RestoreDhcpCommand(connection_name_);
  } else {
    command = RestoreStaticCommand(connection_name_, GbkToWide(FieldText(selected_.IpAddressList.IpAddress.String)),
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
    BASEKIT_LOG(Failure, "adapter %d not selected, table holds %d", static_cast<int>(index),
                static_cast<int>(adapter_count_));
    return false;
  }
  selected_ = adapters_[index];
  return true;
}

void RepairService::Report(int32_t result, RepairStep step) {
  DispatchCallback(kRepairCallbackStepFinished, std::make_unique<RepairServiceCallbackParam>(result, step));
}

bool RepairService::RunLoggedCommand(const std::wstring& command) {
  BASEKIT_LOG(Progress, "cmd : %s", WideToGbk(command).c_str());
  return RunCommandAndWait(*platform_.processes, command);
}

}  // namespace repair
