#pragma once

// The repair procedure: the steps that prepare the PC's wired adapter,
// upload the firmware image to the box and put the adapter back. Each step
// runs as one posted task on the "repair thread" and ends by reporting a
// RepairServiceCallbackParam through the callback of kind
// kRepairCallbackStepFinished; the report of a failed step carries its
// cause. While a step runs it may report what it is doing (and the
// upload's progress) through the callback of kind kRepairCallbackStatus.
// The service does not chain its steps: the caller posts the next one when
// a report arrives (see RepairStepChain).
//
// Every change to the machine is recorded in a journal (RepairJournal)
// before it is made, and the journal is deleted only after a verified
// restore; RecoverPendingChanges undoes what an unfinished earlier run left.
//
// Thread affinity:
//   UI thread: GetInstance, StartThread, Shutdown, RegisterCallback,
//     PostStep, SettleAdapterChoice, SelectAdapter, the accessors, and
//     UndoChanges once the repair thread has stopped. Adapter data is
//     touched only between two steps, after a report.
//   Repair thread: the steps; the callbacks are invoked there.
//   Any thread: has_pending_changes.
// The hand-over is by posted tasks one way and by reports the other.

#include <atomic>
#include <cstdint>
#include <string>

#include "basekit/thread/thread.h"
#include "repair/adapter_discovery.h"
#include "repair/adapter_info.h"
#include "repair/commands.h"
#include "repair/repair_journal.h"
#include "repair/repair_procedure.h"
#include "repair/service.h"
#include "repair/system_seams.h"

namespace repair {

// Asks the user which adapter leads to the box (the adapter picker).
class AdapterChooser {
 public:
  virtual ~AdapterChooser() = default;
  // Asked only when there are two or more candidates. Returns the index of
  // the chosen table entry, or -1 when the user closed without choosing.
  virtual int32_t ChooseAdapter(const IP_ADAPTER_INFO* table, int32_t count) = 0;
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

  // Posts `step` to the repair thread. False, logged, when the thread does
  // not run.
  bool PostStep(RepairStep step);
  // Runs `step` on the calling thread (the repair thread, or any single
  // thread in tests); an id that is no step is logged and not run.
  void RunStep(RepairStep step);

  // The steps. They run in the order of kRunOrder.
  void QueryNetworkSettings();    // fills the adapter table
  void WaitForLink();             // the chosen adapter's cable
  void AddFirewallRule();         // inbound rule for this program
  void BackupNetworkSettings();   // "ip.bak" for a static adapter
  void ModifyNetworkSettings();   // recovery address, verified
  void UploadFirmware();          // the image to the box by TFTP
  void RestoreNetworkSettings();  // delete the rule, restore, verify
  // After a failure: undoes what the journal records.
  void CleanUp();
  // At start: undoes what an unfinished earlier run recorded.
  void RecoverPendingChanges();

  // After the adapter query's report: selects the adapter to repair
  // through, asking `chooser` (may be null) when there are several. The
  // failure, when there is none to take (kStepQuery; nothing has changed).
  RepairFailure SettleAdapterChoice(AdapterChooser* chooser);
  // Undoes what the journal records (rule deleted, adapters restored and
  // checked) and reports nothing; true when nothing is left changed. On the
  // UI thread only while the repair thread does not run.
  bool UndoChanges();

  // Adapter data, UI thread between two steps.
  int32_t adapter_count() const { return adapter_count_; }
  // Copies table entry `index` into the selection; false (logged) for an
  // index outside the filled part of the table.
  bool SelectAdapter(int32_t index);
  const IP_ADAPTER_INFO& selected_adapter() const { return selected_; }
  const std::wstring& connection_name() const { return connection_name_; }

  // Whether the journal records changes not yet put back.
  bool has_pending_changes() const { return pending_changes_.load(); }

  basekit::FrameworkThread& repair_thread() { return repair_thread_; }

 private:
  enum class WaitResult { kMet, kTimedOut, kCancelled, kUnavailable };

  void Succeed(RepairStep step);
  // Reports `step` failed; `failure` must name its cause.
  void Fail(RepairStep step, const RepairFailure& failure);
  void Fail(RepairStep step, RepairCause cause);
  void Report(const RepairServiceCallbackParam& report);
  // True, with the step failed as cancelled, once Shutdown has begun.
  bool Closing(RepairStep step);
  void ReportStatus(RepairStage stage, int32_t attempt = 0, uint32_t acknowledged = 0, uint32_t total = 0);
  // Logs "cmd : ..." and runs the command, waiting at most 10 seconds.
  CommandOutcome RunLoggedCommand(const std::wstring& command);
  // Runs the rule-deletion command; true when it ran to its end.
  bool DeleteFirewallRule();
  // Fills the connection name of the selected adapter from the registry;
  // false (logged) leaves the name unchanged.
  bool FindIfNameByIntanceId();
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
  // Undoes the journal's records; fills *left with what could not be put
  // back (an adapter before the rule: the PC without its network matters
  // most).
  bool UndoJournal(const char* start_line, const char* end_line, RepairFailure* left);
  // Puts the journal in memory into the store; false (logged) when the
  // store did not take it. After an undo that is only logged: the record
  // then lists more than is left, which a later start undoes again.
  bool SaveJournal();
  // Makes `next` the journal, in the store first: a change is recorded
  // before it is made. False, with the journal left as it was, when the
  // store does not take it; the change must then not be made.
  bool RecordBeforeChange(const RepairJournal& next);
  AdapterIdentity SelectedIdentity() const;

  RepairPlatform platform_;
  basekit::FrameworkThread repair_thread_;
  IP_ADAPTER_INFO adapters_[kAdapterTableSize] = {};
  IP_ADAPTER_INFO selected_ = {};
  int32_t adapter_count_ = 0;
  std::wstring connection_name_;

  // Repair thread while it runs; the UI thread after it stopped.
  RepairJournal journal_;
  AdapterSettings restore_target_;  // what the restore puts the adapter back to
  std::wstring backup_path_;        // where the backup put the dump, if it did
  bool image_delivered_ = false;

  std::atomic<bool> stopping_{false};
  std::atomic<bool> pending_changes_{false};
};

}  // namespace repair
