#include "repair/repair_step_chain.h"

#include <utility>

#include "basekit/log/log.h"

namespace repair {

namespace {

constexpr const char* kLogSource = "repair_service";

}  // namespace

RepairStepMethod NextRepairStep(int32_t step) {
  switch (step) {
    case kStepFirewall:
      return &RepairService::QueryNetworkSettings;
    case kStepQuery:
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

RepairStepChain::State RepairStepChain::OnStepReported(int32_t result, int32_t step) {
  if (state_ != State::kRunning) {
    BASEKIT_LOG(Lookup, "report (%d, %d) after the repair ended, ignored", static_cast<int>(result),
                static_cast<int>(step));
    return state_;
  }
  last_step_ = step;
  if (result == 0) {
    // The steps up to the recovery address undo what they need themselves;
    // after that the adapter is on the recovery subnet and must be put back.
    if (step > kStepModify) {
      service_->RestoreNetworkSettings2();
    }
    state_ = State::kFailed;
    return state_;
  }
  if (step == kStepQuery) {
    SettleAdapterChoice();
  }
  RepairStepMethod next = NextRepairStep(step);
  if (!next) {
    state_ = State::kComplete;
    return state_;
  }
  poster_(next);
  return state_;
}

void RepairStepChain::SettleAdapterChoice() {
  int32_t count = service_->adapter_count();
  if (count == 1) {
    service_->SelectAdapter(0);
  } else if (count >= 2) {
    int32_t count_shown = count < kAdapterTableSize ? count : kAdapterTableSize;
    int32_t chosen = chooser_ ? chooser_->ChooseAdapter(service_->adapter_table(), count_shown) : -1;
    if (chosen >= 0) {
      service_->SelectAdapter(chosen);
    } else {
      BASEKIT_LOG(Lookup, "no adapter chosen, the selection stays as it was");
    }
  }
}

}  // namespace repair
