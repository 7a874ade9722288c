#pragma once

// The repair procedure: six steps that prepare the PC's wired adapter,
// upload the firmware image to the box and put the adapter back. Each step
// runs as one posted task on the "repair thread" and ends by reporting a
// RepairServiceCallbackParam through the callback of kind
// kRepairCallbackStepFinished. The service does not chain its steps: the
// caller posts the next one when a report arrives (see RepairStepChain).
//
// Thread affinity:
//   UI thread: GetInstance, StartThread, Shutdown, RegisterCallback,
//     StartRepair, SelectAdapter, RestoreNetworkSettings2, the accessors.
//     Adapter data is touched only between two steps, after a report.
//   Repair thread: OnStartRepair and the six steps; the callback is invoked
//     there.
// The hand-over is by posted tasks one way and by reports the other; no lock.

#include <cstdint>
#include <string>

#include "basekit/thread/thread.h"
#include "repair/adapter_discovery.h"
#include "repair/adapter_info.h"
#include "repair/service.h"
#include "repair/system_seams.h"

namespace repair {

// Step ids; fixed values (the window indexes its chain and progress by them).
enum RepairStep : int32_t {
  kStepFirewall = 0,
  kStepQuery = 1,
  kStepBackup = 2,
  kStepModify = 3,
  kStepUpload = 4,
  kStepRestore = 5,
};

// The callback kind of "a repair step has finished".
inline constexpr int32_t kRepairCallbackStepFinished = 1;

// Pauses of the procedure.
inline constexpr uint32_t kSettleAfterModifyMs = 5000;
inline constexpr uint32_t kConnectRetryPauseMs = 5000;
inline constexpr int kConnectAttempts = 3;

class RepairServiceCallbackParam : public ServiceCallbackParam {
 public:
  RepairServiceCallbackParam(int32_t result_value, int32_t step_value) : result(result_value), step(step_value) {}

  int32_t result;  // 1 = the step succeeded, 0 = it failed
  int32_t step;    // a RepairStep
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

  // Stops the repair thread (waiting for the step in progress); true.
  bool Shutdown() override;
  // Starts the repair thread; true at once when it already runs.
  virtual bool StartThread();

  // Posts OnStartRepair to the repair thread; does nothing (logged) when
  // the thread does not run.
  void StartRepair();
  // Posts `step` (a method of this service) to the repair thread. False,
  // logged, when the thread does not run.
  bool PostStep(void (RepairService::*step)());

  // Repair thread: posts AddFirewallRule to the repair thread's loop.
  void OnStartRepair();

  // The six steps, repair thread (or any single thread in tests).
  void AddFirewallRule();         // step 0: inbound rule for this program
  void QueryNetworkSettings();    // step 1: fill the adapter table
  void BackupNetworkSettings();   // step 2: "ip.bak" for a static adapter
  void ModifyNetworkSettings();   // step 3: recovery address
  void UploadFirmware();          // step 4: the image to the box by TFTP
  void RestoreNetworkSettings();  // step 5: delete the rule, restore

  // Clean-up after a failed upload or restore, on the UI thread while no
  // step runs: deletes the rule and restores the adapter; reports nothing.
  void RestoreNetworkSettings2();
  // Runs the rule-deletion command; the outcome is ignored.
  void DeleteFirewallRule();
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

  basekit::FrameworkThread& repair_thread() { return repair_thread_; }

 private:
  void Report(int32_t result, RepairStep step);
  // Logs "cmd : ..." and runs the command, waiting at most 10 seconds.
  bool RunLoggedCommand(const std::wstring& command);
  // Deletes the rule and restores the selected adapter; true when the
  // restore command could be started.
  bool DeleteRuleAndRestoreAdapter();
  // Connects (three attempts) and sends the image; true when sent.
  bool SendFirmware(const uint8_t* data, size_t size);

  RepairPlatform platform_;
  basekit::FrameworkThread repair_thread_;
  IP_ADAPTER_INFO adapters_[kAdapterTableSize] = {};
  IP_ADAPTER_INFO selected_ = {};
  int32_t adapter_count_ = 0;
  std::wstring connection_name_;
};

}  // namespace repair
