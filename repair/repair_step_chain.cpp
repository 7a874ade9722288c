#include "repair/repair_step_chain.h"

#include <utility>

#include "basekit/log/log.h"

namespace repair {

namespace {

constexpr const char* kLogSource = "repair_service";

}  // namespace

RepairStepMethod NextRepairStep(int32_t step) {
  switch (step) {
    case kStepQuery:
      return &RepairService::WaitForLink;
    case kStepLink:
      return &RepairService::AddFirewallRule;
    case kStepFirewall:
      return &RepairService::BackupNetworkSettings;
    case kStepBackup:
      return &RepairService::ModifyNetworkSettings;
    case kStepModify:
      return &RepairService::UploadFirmware;
    case kStepUpload:
      return &RepairService::RestoreNetworkSettings;
    default:
      return nullptr;
  }
}

RepairStepChain::RepairStepChain(RepairService* service, AdapterChooser* chooser)
    : RepairStepChain(service, chooser, [service](RepairStepMethod step) { service->PostStep(step); }) {}

RepairStepChain::RepairStepChain(RepairService* service, AdapterChooser* chooser, StepPoster poster)
    : service_(service), chooser_(chooser), poster_(std::move(poster)) {}

bool RepairStepChain::Start() {
  if (state_ == State::kRunning || state_ == State::kCleaningUp) {
    BASEKIT_LOG(Failure, "a repair is running, not started again");
    return false;
  }
  state_ = State::kRunning;
  last_step_ = 0;
  failure_ = RepairFailure();
  poster_(&RepairService::QueryNetworkSettings);
  return true;
}

RepairStepChain::State RepairStepChain::OnStepReported(int32_t result, int32_t step) {
  if (step == kStepCleanUp && state_ == State::kCleaningUp) {
    // A restore that failed and then succeeded on the second try leaves the
    // PC as it was and the image on the box.
    const bool restored_on_retry = result != 0 && failure_.cause == RepairCause::kRestoreFailed;
    if (result == 0) failure_ = service_->last_failure();
    state_ = restored_on_retry ? State::kComplete : State::kFailed;
    return state_;
  }
  if (state_ != State::kRunning || step == kStepCleanUp || step == kStepRecover) {
    BASEKIT_LOG(Lookup, "report (%d, %d) while no step runs, ignored", static_cast<int>(result),
                static_cast<int>(step));
    return state_;
  }
  if (step != kStepLink) last_step_ = step;
  if (result == 0) return EndWithFailure(service_->last_failure());
  if (step == kStepQuery) {
    RepairFailure failure;
    SettleAdapterChoice(&failure);
    if (failure.failed()) return EndWithFailure(failure);
  }
  RepairStepMethod next = NextRepairStep(step);
  if (!next) {
    state_ = State::kComplete;
    return state_;
  }
  poster_(next);
  return state_;
}

RepairStepChain::State RepairStepChain::EndWithFailure(const RepairFailure& failure) {
  failure_ = failure;
  if (!failure_.failed()) failure_.cause = RepairCause::kConnectionLost;  // a failed step always says why
  if (service_->has_pending_changes()) {
    state_ = State::kCleaningUp;
    poster_(&RepairService::CleanUp);
  } else {
    state_ = State::kFailed;
  }
  return state_;
}

void RepairStepChain::SettleAdapterChoice(RepairFailure* failure) {
  const int32_t count = service_->adapter_count();
  failure->step = kStepQuery;
  if (count == 0) {
    // Nothing has been changed yet, and nothing will be.
    BASEKIT_LOG(Failure, "no wired adapter found, nothing changed");
    failure->cause = RepairCause::kNoWiredAdapter;
  } else if (count == 1) {
    service_->SelectAdapter(0);
  } else {
    const int32_t count_shown = count < kAdapterTableSize ? count : kAdapterTableSize;
    const int32_t chosen = chooser_ ? chooser_->ChooseAdapter(service_->adapter_table(), count_shown) : -1;
    if (chosen < 0 || !service_->SelectAdapter(chosen)) {
      BASEKIT_LOG(Lookup, "no adapter chosen, nothing changed");
      failure->cause = RepairCause::kNoAdapterChosen;
    }
  }
}

}  // namespace repair
