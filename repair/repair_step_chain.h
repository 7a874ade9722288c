#pragma once

// The step chain that drives a repair: on each step report it settles the
// adapter choice (after the adapter query), posts the step that follows in
// kRunOrder, or ends the procedure. A repair that ends without success
// while the journal still records changes first posts the clean-up to the
// repair thread and ends when it reports. It needs no window, so the whole
// procedure can be driven by any caller.
//
// Thread affinity: the thread that owns the adapter choice (the UI thread),
// one report at a time, while no step runs.

#include <functional>

#include "repair/repair_failure.h"
#include "repair/repair_procedure.h"
#include "repair/repair_service.h"

namespace repair {

class RepairStepChain {
 public:
  enum class State {
    kIdle,        // before the first Start
    kRunning,     // a step is posted or running
    kCleaningUp,  // the repair failed; the clean-up runs
    kComplete,    // the image is on the box and the PC is as before
    kFailed,      // ended without success; failure() says why
  };
  using StepPoster = std::function<void(RepairStep)>;

  // Posts every step to the service's repair thread.
  RepairStepChain(RepairService* service, AdapterChooser* chooser);
  // Hands every step to `poster` instead (a caller without a thread).
  RepairStepChain(RepairService* service, AdapterChooser* chooser, StepPoster poster);

  // Starts a repair from its first step; again after a failure, too. False
  // (logged) while a repair or its clean-up runs.
  bool Start();

  // Applies the chain to one report. Reports that arrive when no repair
  // runs are logged and ignored.
  State OnStepReported(const RepairServiceCallbackParam& report);

  State state() const { return state_; }
  // Why the repair ended without success (kFailed), as the step that ended
  // it reported (or the clean-up, when that failed too).
  const RepairFailure& failure() const { return failure_; }

 private:
  State EndWithFailure(const RepairFailure& failure);

  RepairService* service_;
  AdapterChooser* chooser_;
  StepPoster poster_;
  State state_ = State::kIdle;
  RepairFailure failure_;
};

}  // namespace repair
