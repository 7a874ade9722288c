#include "repair/repair_service.h"

#include <cstdint>
#include <exception>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include "basekit/log/log.h"
#include "basekit/task/task.h"
#include "repair/adapter_watch.h"
#include "repair/commands.h"
#include "repair/text_encoding.h"
#include "tftp/tftp_client.h"
#include "tftp/tftp_packet.h"

namespace repair {

namespace {

constexpr const char* kLogSource = "repair_service";

AdapterSettings SettingsOf(const IP_ADAPTER_INFO& adapter) {
  AdapterSettings settings;
  settings.dhcp = adapter.DhcpEnabled != 0;
  if (!settings.dhcp) {
    settings.address = FieldText(adapter.IpAddressList.IpAddress.String);
    settings.mask = FieldText(adapter.IpAddressList.IpMask.String);
    settings.gateway = FieldText(adapter.GatewayList.IpAddress.String);
  }
  return settings;
}

std::wstring RestoreCommand(const std::wstring& connection_name, const AdapterSettings& before) {
  if (before.dhcp) return RestoreDhcpCommand(connection_name);
  return RestoreStaticCommand(connection_name, GbkToWide(before.address), GbkToWide(before.mask),
                              GbkToWide(before.gateway));
}

}  // namespace

RepairService* RepairService::GetInstance() {
  static RepairService service(DefaultRepairPlatform());
  return &service;
}

RepairService::RepairService(const RepairPlatform& platform) : platform_(platform), repair_thread_("repair thread") {}

RepairService::~RepairService() { Shutdown(); }

bool RepairService::Shutdown() {
  stopping_ = true;
  if (repair_thread_.thread_id() != 0) {
    repair_thread_.Stop();
  }
  return true;
}

bool RepairService::StartThread() {
  if (repair_thread_.thread_id() != 0) {
    return true;
  }
  stopping_ = false;
  bool started = repair_thread_.Start(basekit::kLoopTypeDefault);
  if (!started) {
    BASEKIT_LOG(Failure, "start repair thread failed");
  }
  return started;
}

bool RepairService::PostStep(RepairStep step) {
  basekit::MessageLoop* loop = repair_thread_.thread_id() != 0 ? repair_thread_.message_loop() : nullptr;
  if (!loop) {
    BASEKIT_LOG(Failure, "repair thread not running, step not posted");
    return false;
  }
  loop->PostTask(basekit::MakeRunnableMethod(this, &RepairService::RunStep, step));
  return true;
}

void RepairService::RunStep(RepairStep step) {
  switch (step) {
    case kStepQuery:
      return QueryNetworkSettings();
    case kStepLink:
      return WaitForLink();
    case kStepFirewall:
      return AddFirewallRule();
    case kStepBackup:
      return BackupNetworkSettings();
    case kStepModify:
      return ModifyNetworkSettings();
    case kStepUpload:
      return UploadFirmware();
    case kStepRestore:
      return RestoreNetworkSettings();
    case kStepCleanUp:
      return CleanUp();
    case kStepRecover:
      return RecoverPendingChanges();
    case kStepNone:
      break;
  }
  BASEKIT_LOG(Failure, "no step %d, nothing run", static_cast<int>(step));
}

void RepairService::QueryNetworkSettings() {
  BASEKIT_LOG(Progress, "start query network settings");
  ReportStatus(RepairStage::kPreparing);
  // A repair started again in the same process looks at the adapters anew.
  for (IP_ADAPTER_INFO& entry : adapters_) entry = IP_ADAPTER_INFO{};
  adapter_count_ = 0;
  selected_ = IP_ADAPTER_INFO{};
  connection_name_.clear();
  backup_path_.clear();
  image_delivered_ = false;
  // A failed enumeration is logged by EnumerateAdapters; the step goes on
  // with whatever the table holds.
  EnumerateAdapters(*platform_.adapters, adapters_, &adapter_count_);
  Succeed(kStepQuery);
  BASEKIT_LOG(Progress, "end query network settings");
}

void RepairService::WaitForLink() {
  BASEKIT_LOG(Progress, "start wait for link");
  const AdapterIdentity identity = SelectedIdentity();
  AdapterState state;
  const AdapterLookup found = platform_.monitor->Find(identity, &state);
  if (found == AdapterLookup::kFound && !state.link_up) {
    BASEKIT_LOG(Progress, "adapter %s has no link, waiting for the cable", identity.guid.c_str());
    ReportStatus(RepairStage::kWaitingForCable);
    uint32_t waited = 0;
    const WaitResult result = WaitForAdapter(
        identity, 0, kLinkPollMs, true, [](const AdapterState& s) { return s.link_up; }, &waited);
    if (result == WaitResult::kCancelled) {
      BASEKIT_LOG(Progress, "wait for link ended after %u ms: the repair was closed", static_cast<unsigned>(waited));
      Fail(kStepLink, RepairCause::kCancelled);
      BASEKIT_LOG(Progress, "end wait for link");
      return;
    }
    BASEKIT_LOG(Progress, "link up after %u ms", static_cast<unsigned>(waited));
    ReportStatus(RepairStage::kPreparing);
  } else if (found != AdapterLookup::kFound) {
    BASEKIT_LOG(Lookup, "link of adapter %s unknown, going on", identity.guid.c_str());
  }
  Succeed(kStepLink);
  BASEKIT_LOG(Progress, "end wait for link");
}

void RepairService::AddFirewallRule() {
  BASEKIT_LOG(Progress, "start mofify firewall settings");
  if (Closing(kStepFirewall)) {
    BASEKIT_LOG(Progress, "end mofify firewall settings");
    return;
  }
  std::wstring program_path = platform_.module->ModuleFileName();
  if (program_path.empty()) {
    // A rule with an empty program does not name this program and may be
    // taken for all of them: add none, and end the repair before anything
    // has changed.
    BASEKIT_LOG(Failure, "program path unknown, no firewall rule added");
    Fail(kStepFirewall, RepairCause::kFirewallRuleNotAdded);
    BASEKIT_LOG(Progress, "end mofify firewall settings");
    return;
  }
  // Recorded before it is made: a crash right after the command must find it.
  RepairJournal with_rule = journal_;
  with_rule.firewall_rule = true;
  if (!RecordBeforeChange(with_rule)) {
    Fail(kStepFirewall, RepairCause::kJournalNotWritten);
    BASEKIT_LOG(Progress, "end mofify firewall settings");
    return;
  }
  const CommandOutcome outcome = RunLoggedCommand(AddFirewallRuleCommand(program_path));
  if (!outcome.started) {
    journal_.firewall_rule = false;
    SaveJournal();
    Fail(kStepFirewall, RepairCause::kFirewallRuleNotAdded);
  } else {
    Succeed(kStepFirewall);
  }
  BASEKIT_LOG(Progress, "end mofify firewall settings");
}

void RepairService::BackupNetworkSettings() {
  BASEKIT_LOG(Progress, "start backup network settings");
  ReportStatus(RepairStage::kPreparing);
  if (selected_.DhcpEnabled == 0) {
    // Built from the wide module path: a narrow path converted as code page
    // 936 names the wrong directory on systems with another code page.
    std::wstring module_path = platform_.module->ModuleFileName();
    if (module_path.empty()) {
      BASEKIT_LOG(Failure, "program directory unknown, no backup written");
    } else {
      std::wstring backup_path = BackupPathForModule(module_path);
      // An existing backup is never overwritten: it holds the settings from
      // before the first repair. A failed dump does not stop the repair.
      const OutputFileResult dump = RunCommandIntoNewFile(*platform_.processes, DumpCommand(), backup_path);
      if (dump == OutputFileResult::kWritten || dump == OutputFileResult::kNameTaken) backup_path_ = backup_path;
    }
  }
  Succeed(kStepBackup);
  BASEKIT_LOG(Progress, "end backup network settings");
}

void RepairService::ModifyNetworkSettings() {
  BASEKIT_LOG(Progress, "start mofify network settings");
  if (Closing(kStepModify)) {
    BASEKIT_LOG(Progress, "end mofify network settings");
    return;
  }
  ReportStatus(RepairStage::kSettingAddress);
  const AdapterIdentity identity = SelectedIdentity();
  if (!FindIfNameByIntanceId()) {
    AdapterState state;
    if (platform_.monitor->Find(identity, &state) == AdapterLookup::kFound &&
        IsSafeConnectionName(state.friendly_name)) {
      connection_name_ = state.friendly_name;
      BASEKIT_LOG(Progress, "connection name from the adapter list: %s", WideToGbk(connection_name_).c_str());
    }
  }
  if (!IsSafeConnectionName(connection_name_)) {
    // netsh would be asked to change a connection without a name.
    BASEKIT_LOG(Failure, "no connection name for adapter %s, its address is not changed", identity.guid.c_str());
    Fail(kStepModify, RepairCause::kRecoveryAddressNotSet);
    BASEKIT_LOG(Progress, "end mofify network settings");
    return;
  }
  RepairJournal with_adapter = journal_;
  if (JournalAdapter* carried = with_adapter.FindAdapter(identity)) {
    // An earlier repair left this adapter changed: what it had before that
    // repair is what the user wants back.
    BASEKIT_LOG(Progress, "adapter %s still carries an unfinished repair's changes; its earlier settings are kept",
                identity.guid.c_str());
    restore_target_ = carried->before;
    carried->connection_name = connection_name_;
  } else {
    restore_target_ = SettingsOf(selected_);
    with_adapter.adapters.push_back(JournalAdapter{identity, connection_name_, restore_target_, backup_path_});
  }
  if (!RecordBeforeChange(with_adapter)) {
    Fail(kStepModify, RepairCause::kJournalNotWritten);
    BASEKIT_LOG(Progress, "end mofify network settings");
    return;
  }
  const CommandOutcome outcome = RunLoggedCommand(SetRecoveryAddressCommand(connection_name_));
  if (outcome.started && WaitForRecoveryAddress()) {
    Succeed(kStepModify);
  } else {
    Fail(kStepModify, stopping_ ? RepairCause::kCancelled : RepairCause::kRecoveryAddressNotSet);
  }
  BASEKIT_LOG(Progress, "end mofify network settings");
}

bool RepairService::WaitForRecoveryAddress() {
  uint32_t waited = 0;
  const WaitResult result = WaitForAdapter(
      SelectedIdentity(), kAddressWaitMs, kAdapterPollMs, true,
      [](const AdapterState& s) { return HoldsAddress(s, kRecoveryAddress, kRecoveryPrefixLength, true); }, &waited);
  switch (result) {
    case WaitResult::kMet:
      platform_.sleeper->Sleep(kAddressSettleMs);
      BASEKIT_LOG(Progress, "recovery address %s ready after %u ms, settled %u ms", kRecoveryAddress,
                  static_cast<unsigned>(waited), static_cast<unsigned>(kAddressSettleMs));
      return true;
    case WaitResult::kUnavailable:
      platform_.sleeper->Sleep(kBlindAddressWaitMs);
      BASEKIT_LOG(Progress, "adapter state unavailable, waited %u ms for the recovery address",
                  static_cast<unsigned>(kBlindAddressWaitMs));
      return true;
    case WaitResult::kCancelled:
      BASEKIT_LOG(Progress, "wait for the recovery address ended after %u ms: the repair was closed",
                  static_cast<unsigned>(waited));
      return false;
    case WaitResult::kTimedOut:
      break;
  }
  BASEKIT_LOG(Failure, "recovery address %s/%d not in place after %u ms", kRecoveryAddress, kRecoveryPrefixLength,
              static_cast<unsigned>(waited));
  return false;
}

void RepairService::UploadFirmware() {
  BASEKIT_LOG(Progress, "start upload firmware");
  if (Closing(kStepUpload)) {
    BASEKIT_LOG(Progress, "end upload firmware");
    return;
  }
  image_delivered_ = false;
  const uint8_t* image = nullptr;
  size_t image_size = 0;
  RepairFailure failure;
  if (!platform_.firmware->Load(&image, &image_size)) {
    failure.cause = RepairCause::kFirmwareMissing;
  } else {
    BASEKIT_LOG(Progress, "uploading firmware to %s, name %s", TftpClient::kServerAddress,
                TftpPacket::kFirmwareFileName);
    failure = SendFirmware(image, image_size);
  }
  if (failure.failed()) {
    Fail(kStepUpload, failure);
  } else {
    image_delivered_ = true;
    Succeed(kStepUpload);
  }
  BASEKIT_LOG(Progress, "end upload firmware");
}

RepairFailure RepairService::SendFirmware(const uint8_t* data, size_t size) {
  RepairFailure failure;
  failure.total = size;
  if (size > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    BASEKIT_LOG(Failure, "firmware image too large: %lu bytes", static_cast<unsigned long>(size));
    BASEKIT_LOG(Progress, "uploading firmware failed");
    failure.cause = RepairCause::kFirmwareMissing;
    return failure;
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
  if (!session) {
    BASEKIT_LOG(Progress, "uploading firmware failed");
    failure.cause = RepairCause::kNetworkUnavailable;
    return failure;
  }
  bool connected = false;
  for (int attempt = 1; attempt <= kConnectAttempts && !connected; ++attempt) {
    BASEKIT_LOG(Progress, "try connect %d time", attempt);
    ReportStatus(RepairStage::kConnecting, attempt);
    connected = session->Connect();
    if (!connected) {
      BASEKIT_LOG(Progress, "connect error wait 5 seconds retry");
      platform_.sleeper->Sleep(kConnectRetryPauseMs);
    }
  }
  if (!connected) {
    BASEKIT_LOG(Progress, "uploading firmware failed");
    failure.cause = RepairCause::kBoxNotAnswering;
    return failure;
  }
  session->SetRequestRetryObserver([this](int attempt) { ReportStatus(RepairStage::kConnecting, attempt); });
  // Progress goes to the window at most every kProgressIntervalMs, never
  // backwards, and the last one always.
  const uint64_t started_ms = platform_.clock->NowMs();
  uint64_t last_ms = 0;
  size_t last_acknowledged = 0;
  unsigned updates = 0;
  session->SetProgressObserver([&](size_t acknowledged, size_t total) {
    const uint64_t now = platform_.clock->NowMs();
    const bool last = acknowledged == total;
    if (acknowledged < last_acknowledged || (!last && updates > 0 && now - last_ms < kProgressIntervalMs)) return;
    last_ms = now;
    last_acknowledged = acknowledged;
    ++updates;
    ReportStatus(RepairStage::kTransferring, 0, static_cast<uint32_t>(acknowledged), static_cast<uint32_t>(total));
  });
  const TftpUploadResult result = session->Send(data, static_cast<int32_t>(size));
  session.reset();  // closes the sockets before anything else is looked at
  BASEKIT_LOG(Progress, "upload progress: %u updates to the window in %lu ms", updates,
              static_cast<unsigned long>(platform_.clock->NowMs() - started_ms));
  if (result.delivered()) {
    return failure;
  }
  if (result.outcome == TftpOutcome::kLastBlockUnconfirmed) {
    // Not a plain failure: the box may hold the whole image.
    BASEKIT_LOG(Progress, "uploading firmware unconfirmed: last block sent, its acknowledgement never came");
  } else {
    BASEKIT_LOG(Progress, "uploading firmware failed");
  }
  const bool link_up = result.outcome == TftpOutcome::kNoReply || result.outcome == TftpOutcome::kWaitFailed
                           ? !LinkIsDown(SelectedIdentity())
                           : true;
  failure.cause = CauseOfUpload(result.outcome, link_up);
  failure.acknowledged = result.acknowledged;
  failure.total = result.total != 0 ? result.total : size;
  failure.server_code = result.error_code;
  failure.server_text = result.error_text;
  return failure;
}

void RepairService::RestoreNetworkSettings() {
  BASEKIT_LOG(Progress, "start restore network settings");
  ReportStatus(RepairStage::kRestoring);
  RepairFailure left;
  if (UndoJournal(nullptr, nullptr, &left)) {
    Succeed(kStepRestore);
  } else {
    Fail(kStepRestore, left);
  }
  BASEKIT_LOG(Progress, "end restore network settings");
}

void RepairService::CleanUp() {
  ReportStatus(RepairStage::kRestoring);
  RepairFailure left;
  if (UndoJournal("start restore network settings 2", "end restore network settings 2", &left)) {
    Report(RepairServiceCallbackParam(1, kStepCleanUp));
  } else {
    Report(RepairServiceCallbackParam(kStepCleanUp, left));
  }
}

void RepairService::RecoverPendingChanges() {
  RepairServiceCallbackParam report(1, kStepRecover);
  const std::string location = WideToGbk(platform_.journal->Location());
  std::string bytes;
  const JournalRead read = platform_.journal->Read(&bytes);
  RepairJournal found;
  std::string why;
  const RepairJournal::ParseResult parsed =
      read == JournalRead::kRead ? RepairJournal::Parse(bytes, &found, &why) : RepairJournal::ParseResult::kEmpty;
  if (read == JournalRead::kMissing) {
    BASEKIT_LOG(Progress, "no unfinished repair (journal %s)", location.c_str());
  } else if (read == JournalRead::kForeign) {
    // The store has logged what it held. Whoever wrote it, the program does
    // not put settings on the PC because a record it did not make says so.
    BASEKIT_LOG(Failure, "journal %s not written by this program, not acted on", location.c_str());
    report.recovery = RecoveryResult::kIgnored;
  } else if (read == JournalRead::kFailed) {
    // Logged by the store; kept for a later start.
  } else if (parsed == RepairJournal::ParseResult::kEmpty ||
             (parsed == RepairJournal::ParseResult::kOk && found.empty())) {
    BASEKIT_LOG(Progress, "journal %s records nothing, removed", location.c_str());
    platform_.journal->Remove();
  } else if (parsed == RepairJournal::ParseResult::kDamaged) {
    BASEKIT_LOG(Failure, "journal %s is damaged (%s), set aside unread", location.c_str(), why.c_str());
    platform_.journal->SetAside("damaged");
  } else if (parsed == RepairJournal::ParseResult::kNewerFormat) {
    BASEKIT_LOG(Failure, "journal %s is of a newer program (%s), set aside unread", location.c_str(), why.c_str());
    platform_.journal->SetAside("newer");
  } else {
    BASEKIT_LOG(Progress, "start restore unfinished repair (journal %s)", location.c_str());
    journal_ = found;
    pending_changes_ = true;
    RepairFailure left;
    const bool restored = UndoJournal(nullptr, nullptr, &left);
    BASEKIT_LOG(Progress, "end restore unfinished repair: %s",
                restored ? "restored" : "not everything could be put back");
    if (restored) {
      report.recovery = RecoveryResult::kRestored;
    } else {
      report = RepairServiceCallbackParam(kStepRecover, left);
      report.recovery = RecoveryResult::kFailed;
    }
  }
  Report(report);
}

bool RepairService::UndoChanges() {
  RepairFailure left;
  return UndoJournal("start restore network settings 2", "end restore network settings 2", &left);
}

bool RepairService::DeleteFirewallRule() {
  BASEKIT_LOG(Progress, "start delete firewall settings");
  // Its exit code says nothing useful: netsh also fails when no rule of the
  // name exists. Ending is enough.
  const CommandOutcome outcome = RunLoggedCommand(DeleteFirewallRuleCommand());
  BASEKIT_LOG(Progress, "end delete firewall settings");
  return outcome.started && outcome.exited;
}

bool RepairService::UndoJournal(const char* start_line, const char* end_line, RepairFailure* left) {
  const bool adapters = !journal_.adapters.empty();
  if (journal_.empty()) return true;
  if (start_line && adapters) BASEKIT_LOG(Progress, "%s", start_line);
  bool all = true;
  if (journal_.firewall_rule) {
    if (DeleteFirewallRule()) {
      journal_.firewall_rule = false;
      SaveJournal();
    } else {
      left->cause = RepairCause::kFirewallRuleNotDeleted;
      left->image_delivered = image_delivered_;
      all = false;
    }
  }
  const std::vector<JournalAdapter> entries = journal_.adapters;
  for (const JournalAdapter& entry : entries) {
    const std::wstring name = ConnectionNameOf(entry);
    if (!name.empty() && RestoreAdapter(entry, name)) {
      journal_.RemoveAdapter(entry.identity);
      SaveJournal();
      continue;
    }
    if (left->cause != RepairCause::kRestoreFailed) {
      left->cause = RepairCause::kRestoreFailed;
      left->connection_name = name.empty() ? entry.connection_name : name;
      left->settings = entry.before;
      left->image_delivered = image_delivered_;
    }
    all = false;
  }
  if (start_line && adapters) BASEKIT_LOG(Progress, "%s", end_line);
  return all;
}

std::wstring RepairService::ConnectionNameOf(const JournalAdapter& entry) {
  AdapterState state;
  const AdapterLookup found = platform_.monitor->Find(entry.identity, &state);
  if (found == AdapterLookup::kNotFound) {
    BASEKIT_LOG(Failure, "adapter %s (%s) not found, its settings stay recorded", entry.identity.guid.c_str(),
                WideToGbk(entry.connection_name).c_str());
    return std::wstring();
  }
  // Found again by its identity: its name now, which the user may have
  // changed since.
  IP_ADAPTER_INFO record = {};
  const std::string guid = found == AdapterLookup::kFound ? state.identity.guid : entry.identity.guid;
  snprintf(record.AdapterName, sizeof(record.AdapterName), "%s", guid.c_str());
  std::wstring name;
  if (FindConnectionName(*platform_.registry, record, &name) && IsSafeConnectionName(name)) return name;
  if (found == AdapterLookup::kFound && IsSafeConnectionName(state.friendly_name)) return state.friendly_name;
  return entry.connection_name;
}

bool RepairService::RestoreAdapter(const JournalAdapter& entry, const std::wstring& connection_name) {
  const CommandOutcome outcome = RunLoggedCommand(RestoreCommand(connection_name, entry.before));
  if (!outcome.started) return false;
  uint32_t waited = 0;
  const AdapterSettings before = entry.before;
  const WaitResult result = WaitForAdapter(
      entry.identity, kRestoreWaitMs, kAdapterPollMs, false,
      [&before](const AdapterState& s) { return IsRestored(s, before); }, &waited);
  const std::string name = WideToGbk(connection_name);
  if (result == WaitResult::kMet) {
    BASEKIT_LOG(Progress, "network settings of %s restored, checked after %u ms", name.c_str(),
                static_cast<unsigned>(waited));
    return true;
  }
  if (result == WaitResult::kUnavailable) {
    BASEKIT_LOG(Lookup, "adapter state unavailable, netsh's exit code taken for %s", name.c_str());
    return outcome.succeeded();
  }
  BASEKIT_LOG(Failure, "network settings of %s not restored after %u ms", name.c_str(), static_cast<unsigned>(waited));
  return false;
}

template <typename Condition>
RepairService::WaitResult RepairService::WaitForAdapter(const AdapterIdentity& identity, uint32_t bound_ms,
                                                        uint32_t poll_ms, bool cancellable, Condition met,
                                                        uint32_t* waited_ms) {
  const uint64_t start = platform_.clock->NowMs();
  for (;;) {
    AdapterState state;
    const AdapterLookup found = platform_.monitor->Find(identity, &state);
    const uint64_t elapsed = platform_.clock->NowMs() - start;
    *waited_ms = static_cast<uint32_t>(elapsed);
    if (found == AdapterLookup::kUnavailable) return WaitResult::kUnavailable;
    if (found == AdapterLookup::kFound && met(state)) return WaitResult::kMet;
    if (cancellable && stopping_) return WaitResult::kCancelled;
    if (bound_ms != 0 && elapsed >= bound_ms) return WaitResult::kTimedOut;
    platform_.sleeper->Sleep(poll_ms);
  }
}

bool RepairService::LinkIsDown(const AdapterIdentity& identity) {
  AdapterState state;
  const bool down = platform_.monitor->Find(identity, &state) == AdapterLookup::kFound && !state.link_up;
  if (down) BASEKIT_LOG(Progress, "adapter %s has no link", identity.guid.c_str());
  return down;
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

RepairFailure RepairService::SettleAdapterChoice(AdapterChooser* chooser) {
  RepairFailure failure;
  failure.step = kStepQuery;
  if (adapter_count_ == 0) {
    // Nothing has been changed yet, and nothing will be.
    BASEKIT_LOG(Failure, "no wired adapter found, nothing changed");
    failure.cause = RepairCause::kNoWiredAdapter;
  } else if (adapter_count_ == 1) {
    SelectAdapter(0);
  } else {
    const int32_t count_shown = adapter_count_ < kAdapterTableSize ? adapter_count_ : kAdapterTableSize;
    const int32_t chosen = chooser ? chooser->ChooseAdapter(adapters_, count_shown) : -1;
    if (chosen < 0 || !SelectAdapter(chosen)) {
      BASEKIT_LOG(Lookup, "no adapter chosen, nothing changed");
      failure.cause = RepairCause::kNoAdapterChosen;
    }
  }
  return failure;
}

bool RepairService::SaveJournal() {
  pending_changes_ = !journal_.empty();
  const std::string location = WideToGbk(platform_.journal->Location());
  if (journal_.empty()) {
    if (!platform_.journal->Remove()) return false;
    BASEKIT_LOG(Progress, "journal %s removed: nothing left changed", location.c_str());
    return true;
  }
  if (!platform_.journal->Write(journal_.Serialize())) return false;
  BASEKIT_LOG(Progress, "journal %s written: firewall rule %d, adapters %d", location.c_str(),
              journal_.firewall_rule ? 1 : 0, static_cast<int>(journal_.adapters.size()));
  return true;
}

bool RepairService::RecordBeforeChange(const RepairJournal& next) {
  const RepairJournal before = journal_;
  journal_ = next;
  if (SaveJournal()) return true;
  // The store still holds what it held (a write replaces it whole or not
  // at all), and so does memory again.
  journal_ = before;
  pending_changes_ = !journal_.empty();
  BASEKIT_LOG(Failure, "journal %s not written: the change it was to record is not made",
              WideToGbk(platform_.journal->Location()).c_str());
  return false;
}

AdapterIdentity RepairService::SelectedIdentity() const {
  return AdapterIdentity{FieldText(selected_.AdapterName), FormatHardwareAddress(selected_)};
}

bool RepairService::Closing(RepairStep step) {
  if (!stopping_) return false;
  // A step posted before the window closed: nothing more is changed or
  // sent; what was changed is undone by the close.
  BASEKIT_LOG(Progress, "the repair was closed, step %d not run", static_cast<int>(step));
  Fail(step, RepairCause::kCancelled);
  return true;
}

void RepairService::Succeed(RepairStep step) { Report(RepairServiceCallbackParam(1, step)); }

void RepairService::Fail(RepairStep step, RepairCause cause) {
  RepairFailure failure;
  failure.cause = cause;
  Fail(step, failure);
}

void RepairService::Fail(RepairStep step, const RepairFailure& failure) {
  BASEKIT_LOG(Progress, "step %d failed: %s", static_cast<int>(step), CauseName(failure.cause));
  if (!failure.failed()) {
    // A programming error: every way a step can fail has its cause.
    BASEKIT_LOG(Failure, "step %d failed without a cause", static_cast<int>(step));
  }
  Report(RepairServiceCallbackParam(step, failure));
}

void RepairService::Report(const RepairServiceCallbackParam& report) {
  DispatchCallback(kRepairCallbackStepFinished, std::make_unique<RepairServiceCallbackParam>(report));
}

void RepairService::ReportStatus(RepairStage stage, int32_t attempt, uint32_t acknowledged, uint32_t total) {
  // Nobody listening is normal here (tests, the clean-up after a close).
  if (!HasCallback(kRepairCallbackStatus)) return;
  DispatchCallback(kRepairCallbackStatus, std::make_unique<RepairStatusParam>(stage, attempt, acknowledged, total));
}

CommandOutcome RepairService::RunLoggedCommand(const std::wstring& command) {
  BASEKIT_LOG(Progress, "cmd : %s", WideToGbk(command).c_str());
  return RunCommandAndWait(*platform_.processes, command);
}

}  // namespace repair
