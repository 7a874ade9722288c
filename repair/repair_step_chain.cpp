#include "repair/repair_step_chain.h"

#include <utility>

#include "basekit/log/log.h"

namespace repair {

namespace {

constexpr const char* kLogSource = "repair_service";

}  // namespace

RepairStepChain::RepairStepChain(RepairService* service, AdapterChooser* chooser)
    : RepairStepChain(service, chooser, [service](RepairStep step) { service->PostStep(step); }) {}

RepairStepChain::RepairStepChain(RepairService* service, AdapterChooser* chooser, StepPoster poster)
    : service_(service), chooser_(chooser), poster_(std::move(poster)) {}

bool RepairStepChain::Start() {
  if (state_ == State::kRunning || state_ == State::kCleaningUp) {
    BASEKIT_LOG(Failure, "a repair is running, not started again");
    return false;
  }
  state_ = State::kRunning;
  failure_ = RepairFailure();
  poster_(kRunOrder[0].step);
  return true;
}

RepairStepChain::State RepairStepChain::OnStepReported(const RepairServiceCallbackParam& report) {
  if (report.step == kStepCleanUp && state_ == State::kCleaningUp) {
    // A restore that failed and then succeeded on the second try leaves the
    // PC as it was and the image on the box.
    const bool restored_on_retry = report.result != 0 && failure_.step == kStepRestore;
    if (report.result == 0) {
      // What is still left changed is what the user must hear about; the
      // repair still ended at the step that failed.
      const int32_t ended_at = failure_.step;
      failure_ = report.failure;
      failure_.step = ended_at;
    }
    state_ = restored_on_retry ? State::kComplete : State::kFailed;
    return state_;
  }
  if (state_ != State::kRunning || report.step == kStepCleanUp || report.step == kStepRecover) {
    BASEKIT_LOG(Lookup, "report (%d, %d) while no step runs, ignored", static_cast<int>(report.result),
                static_cast<int>(report.step));
    return state_;
  }
  if (report.result == 0) return EndWithFailure(report.failure);
  if (report.step == kStepQuery) {
    const RepairFailure failure = service_->SettleAdapterChoice(chooser_);
    if (failure.failed()) return EndWithFailure(failure);
  }
  const RepairStep next = NextStep(report.step);
  if (next == kStepNone) {
    state_ = State::kComplete;
    return state_;
  }
  poster_(next);
  return state_;
}

RepairStepChain::State RepairStepChain::EndWithFailure(const RepairFailure& failure) {
  failure_ = failure;
  if (service_->has_pending_changes()) {
    state_ = State::kCleaningUp;
    poster_(kStepCleanUp);
  } else {
    state_ = State::kFailed;
  }
  return state_;
}

}  // namespace repair
