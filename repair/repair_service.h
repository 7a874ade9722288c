#pragma once

// The repair procedure: the steps that prepare the PC's wired adapter,
// upload the firmware image to the box and put the adapter back. Each step
// runs as one posted task on the "repair thread" and ends by reporting a
// RepairServiceCallbackParam through the callback of kind
// kRepairCallbackStepFinished; a failed step leaves its cause in
// last_failure(). While a step runs it may report what it is doing (and
// the upload's progress) through the callback of kind
// kRepairCallbackStatus. The service does not chain its steps: the caller
// posts the next one when a report arrives (see RepairStepChain).
//
// Every change to the machine is recorded in a journal (RepairJournal)
// before it is made, and the journal is deleted only after a verified
// restore; RecoverPendingChanges undoes what an unfinished earlier run left.
//
// Thread affinity:
//   UI thread: GetInstance, StartThread, Shutdown, RegisterCallback,
//     StartRepair, PostStep, SelectAdapter, the accessors, and UndoChanges
//     once the repair thread has stopped. Adapter data is touched only
//     between two steps, after a report.
//   Repair thread: OnStartRepair and the steps; the callbacks are invoked
//     there.
//   Any thread: last_failure, last_recovery, has_pending_changes.
// The hand-over is by posted tasks one way and by reports the other.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "basekit/thread/thread.h"
#include "repair/adapter_discovery.h"
#include "repair/adapter_info.h"
#include "repair/commands.h"
#include "repair/repair_failure.h"
#include "repair/repair_journal.h"
#include "repair/service.h"
#include "repair/system_seams.h"

namespace repair {

// Step ids. 0 to 5 are the procedure's steps; the values are fixed (the
// window indexes its chain and progress by them).
enum RepairStep : int32_t {
  kStepFirewall = 0,
  kStepQuery = 1,
  kStepBackup = 2,
  kStepModify = 3,
  kStepUpload = 4,
  kStepRestore = 5,
  kStepLink = 6,     // waits until the chosen adapter has a link
  kStepCleanUp = 7,  // undoes what a failed repair left changed
  kStepRecover = 8,  // at start: undoes what an unfinished run left changed
};

// The callback kinds: a step has finished; what the running step is doing.
inline constexpr int32_t kRepairCallbackStepFinished = 1;
inline constexpr int32_t kRepairCallbackStatus = 2;

// Timings of the procedure.
inline constexpr uint32_t kConnectRetryPauseMs = 5000;
inline constexpr int kConnectAttempts = 3;
// The recovery address must be in place and usable within this long; once
// it is, a short settle lets the system finish bringing it up.
inline constexpr uint32_t kAddressWaitMs = 15000;
inline constexpr uint32_t kAddressSettleMs = 1000;
// Without a way to look at the adapter, the old fixed pause.
inline constexpr uint32_t kBlindAddressWaitMs = 5000;
// A restore must show on the adapter within this long.
inline constexpr uint32_t kRestoreWaitMs = 15000;
inline constexpr uint32_t kAdapterPollMs = 100;
inline constexpr uint32_t kLinkPollMs = 250;
// Upload progress goes to the window at most this often (the last one
// always).
inline constexpr uint32_t kProgressIntervalMs = 50;

inline constexpr char kRecoveryAddress[] = "192.168.1.111";
inline constexpr int kRecoveryPrefixLength = 24;

class RepairServiceCallbackParam : public ServiceCallbackParam {
 public:
  RepairServiceCallbackParam(int32_t result_value, int32_t step_value) : result(result_value), step(step_value) {}

  int32_t result;  // 1 = the step succeeded, 0 = it failed
  int32_t step;    // a RepairStep
};

// What the running step is doing, for the window's status line.
enum class RepairStage : int32_t {
  kPreparing = 0,
  kWaitingForCable = 1,
  kSettingAddress = 2,
  kConnecting = 3,    // `attempt` counts connection attempts and requests sent
  kTransferring = 4,  // `acknowledged` of `total` bytes
  kRestoring = 5,
};

class RepairStatusParam : public ServiceCallbackParam {
 public:
  RepairStatusParam(RepairStage stage_value, int32_t attempt_value, uint32_t acknowledged_value, uint32_t total_value)
      : stage(stage_value), attempt(attempt_value), acknowledged(acknowledged_value), total(total_value) {}

  RepairStage stage;
  int32_t attempt;
  uint32_t acknowledged;
  uint32_t total;
};

// What the start-up recovery found and did.
enum class RecoveryResult {
  kNothing,   // no journal, or nothing in it to undo
  kRestored,  // everything it recorded was put back and checked
  kFailed,    // something could not be put back; the journal is kept
};

struct RecoveryOutcome {
  RecoveryResult result = RecoveryResult::kNothing;
  // kFailed: the adapter left changed and its settings from before
  // (cause kRestoreFailed), for the user to set by hand.
  RepairFailure manual;
};

class RepairService : public Service {
 public:
  // The process-wide service on the product's platform, created on the
  // first call (make that on the UI thread) and destroyed at exit.
  static RepairService* GetInstance();

  // A service on the given platform seams (they must outlive it). The
  // repair thread is created but not started.
  explicit RepairService(const RepairPlatform& platform);
  // Stops the repair thread if it still runs.
  ~RepairService() override;

  // Ends the waits that may last (the cable, the recovery address), then
  // stops the repair thread, waiting for the step in progress; true.
  bool Shutdown() override;
  // Starts the repair thread; true at once when it already runs.
  virtual bool StartThread();

  // Posts OnStartRepair to the repair thread; does nothing (logged) when
  // the thread does not run.
  void StartRepair();
  // Posts `step` (a method of this service) to the repair thread. False,
  // logged, when the thread does not run.
  bool PostStep(void (RepairService::*step)());

  // Repair thread: posts QueryNetworkSettings, the first step.
  void OnStartRepair();

  // The steps, repair thread (or any single thread in tests). They run in
  // the order query, link, firewall, backup, modify, upload, restore.
  void QueryNetworkSettings();    // step 1: fill the adapter table
  void WaitForLink();             // step 6: the chosen adapter's cable
  void AddFirewallRule();         // step 0: inbound rule for this program
  void BackupNetworkSettings();   // step 2: "ip.bak" for a static adapter
  void ModifyNetworkSettings();   // step 3: recovery address, verified
  void UploadFirmware();          // step 4: the image to the box by TFTP
  void RestoreNetworkSettings();  // step 5: delete the rule, restore, verify
  // Step 7, after a failure: undoes what the journal records.
  void CleanUp();
  // Step 8, at start: undoes what an unfinished earlier run recorded.
  void RecoverPendingChanges();

  // Undoes what the journal records (rule deleted, adapters restored and
  // checked) and reports nothing; true when nothing is left changed. On the
  // UI thread only while the repair thread does not run.
  bool UndoChanges();
  // The Part's clean-up after a late failure: the same as UndoChanges.
  void RestoreNetworkSettings2();
  // Runs the rule-deletion command; true when it ran to its end.
  bool DeleteFirewallRule();
  // Fills the connection name of the selected adapter from the registry;
  // false (logged) leaves the name unchanged.
  bool FindIfNameByIntanceId();

  // Adapter data, UI thread between two steps.
  int32_t adapter_count() const { return adapter_count_; }
  const IP_ADAPTER_INFO* adapter_table() const { return adapters_; }
  // Copies table entry `index` into the selection; false (logged) for an
  // index outside the filled part of the table.
  bool SelectAdapter(int32_t index);
  const IP_ADAPTER_INFO& selected_adapter() const { return selected_; }
  const std::wstring& connection_name() const { return connection_name_; }

  // The cause of the last failed step (kNone after a success).
  RepairFailure last_failure() const;
  RecoveryOutcome last_recovery() const;
  // Whether the journal records changes not yet put back.
  bool has_pending_changes() const { return pending_changes_.load(); }

  basekit::FrameworkThread& repair_thread() { return repair_thread_; }

 private:
  enum class WaitResult { kMet, kTimedOut, kCancelled, kUnavailable };

  void Report(int32_t result, RepairStep step);
  void Fail(RepairStep step, RepairFailure failure);
  // True, with the step failed as cancelled, once Shutdown has begun.
  bool Closing(RepairStep step);
  void ReportStatus(RepairStage stage, int32_t attempt = 0, uint32_t acknowledged = 0, uint32_t total = 0);
  // Logs "cmd : ..." and runs the command, waiting at most 10 seconds.
  CommandOutcome RunLoggedCommand(const std::wstring& command);
  // Connects (three attempts) and sends the image; what went wrong, if
  // anything.
  RepairFailure SendFirmware(const uint8_t* data, size_t size);
  bool WaitForRecoveryAddress();
  // Polls the adapter until `met` holds, for at most bound_ms. Cancellable
  // waits end early when Shutdown has been called.
  template <typename Condition>
  WaitResult WaitForAdapter(const AdapterIdentity& identity, uint32_t bound_ms, uint32_t poll_ms, bool cancellable,
                            Condition met, uint32_t* waited_ms);
  bool LinkIsDown(const AdapterIdentity& identity);
  // The connection name of a journal entry's adapter now: the registry,
  // else the system's adapter list, else what the journal recorded.
  std::wstring ConnectionNameOf(const JournalAdapter& adapter);
  // Restores one adapter and checks it; false when it does not show.
  bool RestoreAdapter(const JournalAdapter& adapter, const std::wstring& connection_name);
  // Undoes the journal's records; fills *left with the first adapter that
  // could not be put back.
  bool UndoJournal(const char* start_line, const char* end_line, RepairFailure* left);
  void SaveJournal();
  AdapterIdentity SelectedIdentity() const;

  RepairPlatform platform_;
  basekit::FrameworkThread repair_thread_;
  IP_ADAPTER_INFO adapters_[kAdapterTableSize] = {};
  IP_ADAPTER_INFO selected_ = {};
  int32_t adapter_count_ = 0;
  std::wstring connection_name_;

  // Repair thread while it runs; the UI thread after it stopped.
  RepairJournal journal_;
  AdapterSettings restore_target_;  // what step 5 restores the adapter to
  std::wstring backup_path_;        // where step 2 put the dump, if it did
  bool image_delivered_ = false;

  std::atomic<bool> stopping_{false};
  std::atomic<bool> pending_changes_{false};
  mutable std::mutex outcome_lock_;
  RepairFailure last_failure_;
  RecoveryOutcome last_recovery_;
};

}  // namespace repair
