#pragma once

// The step chain that drives a repair: on each step report it settles the
// adapter choice (after the adapter query), posts the step that follows, or
// ends the procedure. A repair that ends without success while the journal
// still records changes first posts the clean-up to the repair thread and
// ends when it reports. It needs no window, so the whole procedure can be
// driven by any caller.
//
// The order: query, (adapter choice), link, firewall, backup, modify,
// upload, restore. The adapter is known and connected before anything on
// the machine changes.
//
// Thread affinity: the thread that owns the adapter choice (the UI thread),
// one report at a time, while no step runs.

#include <cstdint>
#include <functional>

#include "repair/adapter_info.h"
#include "repair/repair_failure.h"
#include "repair/repair_service.h"

namespace repair {

class AdapterChooser {
 public:
  virtual ~AdapterChooser() = default;
  // Asked only when there are two or more candidates. Returns the index of
  // the chosen table entry, or -1 when the user closed without choosing.
  virtual int32_t ChooseAdapter(const IP_ADAPTER_INFO* table, int32_t count) = 0;
};

using RepairStepMethod = void (RepairService::*)();

// The step posted after a successful report of `step`; null after the last
// step and for any other value.
RepairStepMethod NextRepairStep(int32_t step);

class RepairStepChain {
 public:
  enum class State {
    kIdle,        // before the first Start
    kRunning,     // a step is posted or running
    kCleaningUp,  // the repair failed; the clean-up runs
    kComplete,    // the image is on the box and the PC is as before
    kFailed,      // ended without success; failure() says why
  };
  using StepPoster = std::function<void(RepairStepMethod)>;

  // Posts every step to the service's repair thread.
  RepairStepChain(RepairService* service, AdapterChooser* chooser);
  // Hands every step to `poster` instead (a caller without a thread).
  RepairStepChain(RepairService* service, AdapterChooser* chooser, StepPoster poster);

  // Starts a repair from its first step; again after a failure, too. False
  // (logged) while a repair or its clean-up runs.
  bool Start();

  // Applies the chain to one report (result 1 or 0, step id). Reports that
  // arrive when no repair runs are logged and ignored.
  State OnStepReported(int32_t result, int32_t step);

  State state() const { return state_; }
  // The last reported procedure step, 0 before any report.
  int32_t last_step() const { return last_step_; }
  // Why the repair ended without success (kFailed).
  const RepairFailure& failure() const { return failure_; }

 private:
  void SettleAdapterChoice(RepairFailure* failure);
  State EndWithFailure(const RepairFailure& failure);

  RepairService* service_;
  AdapterChooser* chooser_;
  StepPoster poster_;
  State state_ = State::kIdle;
  int32_t last_step_ = 0;
  RepairFailure failure_;
};

}  // namespace repair
