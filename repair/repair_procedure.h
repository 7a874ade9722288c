#pragma once

// The words of the repair procedure, shared by the engine (RepairService),
// the step chain and the wizard: the steps and the order they run in, the
// stages a running step reports, the report of a finished step (which
// carries the cause of a failure), the procedure's timings and the
// recovery address.
//
// Any thread; constants and plain records only.

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "repair/repair_failure.h"
#include "repair/service.h"

namespace repair {

// Step ids. The values are fixed (the log says "step 4 failed: ...") and
// are not the run order: see kRunOrder.
enum RepairStep : int32_t {
  kStepNone = -1,  // no step: what follows the last one
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

// The repair's steps in the order they run: the adapter is known and
// connected before anything on the machine changes. Each takes the next
// place on the progress bar when it reports, except the link wait, which
// shares the adapter query's (it is over at once when the cable is in).
struct RunStep {
  RepairStep step;
  bool own_place;
};
inline constexpr RunStep kRunOrder[] = {
    {kStepQuery, true},     // the candidates; then the user's choice
    {kStepLink, false},     // the chosen adapter's cable
    {kStepFirewall, true},  // the inbound rule: the first change
    {kStepBackup, true},    // "ip.bak" of a static adapter
    {kStepModify, true},    // the recovery address
    {kStepUpload, true},    // the image to the box
    {kStepRestore, true},   // the rule deleted, the adapter put back
};

// The step that runs after `step`: kStepNone after the last one and for a
// step outside the run (the clean-up, the recovery).
constexpr RepairStep NextStep(int32_t step) {
  for (size_t i = 0; i + 1 < std::size(kRunOrder); ++i) {
    if (kRunOrder[i].step == step) return kRunOrder[i + 1].step;
  }
  return kStepNone;
}

// The place of `step` on the progress bar, from 0; -1 for a step outside
// the run.
constexpr int PlaceOf(int32_t step) {
  int place = -1;
  for (const RunStep& entry : kRunOrder) {
    if (entry.own_place) ++place;
    if (entry.step == step) return place;
  }
  return -1;
}
inline constexpr int kRunPlaces = PlaceOf(kRunOrder[std::size(kRunOrder) - 1].step) + 1;

// What the running step is doing, for the window's status line.
enum class RepairStage : int32_t {
  kPreparing = 0,
  kWaitingForCable = 1,
  kSettingAddress = 2,
  kConnecting = 3,    // `attempt` counts connection attempts and requests sent
  kTransferring = 4,  // `acknowledged` of `total` bytes
  kRestoring = 5,
};

// What the start-up recovery found and did.
enum class RecoveryResult {
  kNothing,   // no journal, or nothing in it to undo
  kRestored,  // everything it recorded was put back and checked
  kFailed,    // something could not be put back; the journal is kept
  kIgnored,   // a journal the program did not write: not acted on
};

// The callback kinds: a step has finished; what the running step is doing.
inline constexpr int32_t kRepairCallbackStepFinished = 1;
inline constexpr int32_t kRepairCallbackStatus = 2;

// The report of a finished step. A copy may travel to another thread: it
// holds no pointers.
class RepairServiceCallbackParam : public ServiceCallbackParam {
 public:
  RepairServiceCallbackParam(int32_t result_value, int32_t step_value) : result(result_value), step(step_value) {}
  // A failed step's report; the failure takes the step's id.
  RepairServiceCallbackParam(int32_t step_value, const RepairFailure& failure_value)
      : result(0), step(step_value), failure(failure_value) {
    failure.step = step_value;
  }

  int32_t result;  // 1 = the step succeeded, 0 = it failed
  int32_t step;    // a RepairStep
  // Result 0: why. A failed step always says why; kNone only after a
  // success. For the recovery, what could not be put back.
  RepairFailure failure;
  // kStepRecover only.
  RecoveryResult recovery = RecoveryResult::kNothing;
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

// The PC's address on the box's recovery subnet.
inline constexpr char kRecoveryAddress[] = "192.168.1.111";
inline constexpr int kRecoveryPrefixLength = 24;

}  // namespace repair
