#pragma once

// The step chain that drives a repair: on each step report it settles the
// adapter choice (after the adapter query), posts the step that follows, or
// ends the procedure, running the clean-up after a failed upload or restore.
// The wizard window applies it to every report message; it needs no window,
// so the whole procedure can be driven by any caller.
//
// Thread affinity: the thread that owns the adapter choice (the UI thread),
// one report at a time, while no step runs.

#include <cstdint>
#include <functional>

#include "repair/adapter_info.h"
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
// step and for any unknown value.
RepairStepMethod NextRepairStep(int32_t step);

class RepairStepChain {
 public:
  enum class State { kRunning, kComplete, kFailed };
  using StepPoster = std::function<void(RepairStepMethod)>;

  // Posts every next step to the service's repair thread.
  RepairStepChain(RepairService* service, AdapterChooser* chooser);
  // Hands every next step to `poster` instead (a caller without a thread).
  RepairStepChain(RepairService* service, AdapterChooser* chooser, StepPoster poster);

  // Applies the chain to one report (result 1 or 0, step id). Reports that
  // arrive after the procedure has ended are logged and ignored.
  State OnStepReported(int32_t result, int32_t step);

  State state() const { return state_; }
  // The last reported step, 0 before any report.
  int32_t last_step() const { return last_step_; }

 private:
  void SettleAdapterChoice();

  RepairService* service_;
  AdapterChooser* chooser_;
  StepPoster poster_;
  State state_ = State::kRunning;
  int32_t last_step_ = 0;
};

}  // namespace repair
