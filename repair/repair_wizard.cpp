#include "repair/repair_wizard.h"

#include <algorithm>
#include <utility>

#include "basekit/log/log.h"
#include "repair/text_encoding.h"
#include "repair/wizard_texts.h"

namespace repair {

namespace {

constexpr const char* kLogSource = "repair";

// A procedure step's place in the bar: the ceiling after its report is
// (place + 1) * 100. The link wait has no place of its own.
int PlaceOf(int32_t step) {
  switch (step) {
    case kStepQuery:
      return 0;
    case kStepFirewall:
      return 1;
    case kStepBackup:
      return 2;
    case kStepModify:
      return 3;
    case kStepUpload:
      return 4;
    case kStepRestore:
      return 5;
    default:
      return -1;
  }
}

}  // namespace

RepairWizard::RepairWizard(RepairService* service, AdapterChooser* chooser, RepairStepChain::StepPoster poster)
    : service_(service), poster_(poster), chain_(service, chooser, std::move(poster)) {}

void RepairWizard::Open() {
  phase_ = Phase::kOpening;
  view_ = WizardView();
  view_.notice = RecoveringNotice();
  poster_(&RepairService::RecoverPendingChanges);
}

bool RepairWizard::Start() {
  if (phase_ != Phase::kReady && phase_ != Phase::kFailed) return false;
  if (!chain_.Start()) return false;
  phase_ = Phase::kRunning;
  view_.page = WizardPage::kRepair;
  view_.start_enabled = false;
  view_.failure_face = false;
  view_.heading = RunningHeading();
  view_.progress = 0;
  view_.amount.clear();
  view_.cause.clear();
  view_.next_step.clear();
  ceiling_ = kProgressPerStep;
  uploading_ = false;
  upload_value_ = 0;
  ShowStage(RepairStage::kPreparing, 0);
  return true;
}

bool RepairWizard::OnStepReported(int32_t result, int32_t step) {
  if (step == kStepRecover) {
    if (phase_ == Phase::kOpening) OnRecovered();
    return false;
  }
  if (phase_ != Phase::kRunning && phase_ != Phase::kCleaningUp) return false;
  const RepairStepChain::State state = chain_.OnStepReported(result, step);
  switch (state) {
    case RepairStepChain::State::kRunning:
      FollowChain(step);
      return false;
    case RepairStepChain::State::kCleaningUp:
      if (phase_ != Phase::kCleaningUp) {
        BASEKIT_LOG(Progress, "repair failed (%s), restoring the network settings", CauseName(failure().cause));
      }
      phase_ = Phase::kCleaningUp;
      view_.status = CleanUpText();
      view_.amount.clear();  // the cause says how far it got
      return false;
    case RepairStepChain::State::kComplete:
      // The restore's report lifts the ceiling to the end; the timer
      // completes the bar and shows page 3.
      phase_ = Phase::kFinishing;
      ceiling_ = kProgressMax;
      view_.status = StageText(RepairStage::kRestoring, 0);
      return false;
    case RepairStepChain::State::kFailed:
      EnterFailed();
      return true;
    case RepairStepChain::State::kIdle:
      break;
  }
  return false;
}

void RepairWizard::FollowChain(int32_t reported_step) {
  const int place = PlaceOf(reported_step);
  if (place >= 0) ceiling_ = std::max(ceiling_, (place + 1) * kProgressPerStep);
  switch (reported_step) {
    case kStepBackup:
      ShowStage(RepairStage::kSettingAddress, 0);
      break;
    case kStepModify:
      uploading_ = true;
      upload_value_ = ceiling_;
      ShowStage(RepairStage::kConnecting, 1);
      break;
    case kStepUpload:
      uploading_ = false;
      ShowStage(RepairStage::kRestoring, 0);
      break;
    default:
      break;
  }
}

void RepairWizard::OnStatus(RepairStage stage, int32_t attempt) {
  if (phase_ != Phase::kRunning) return;
  ShowStage(stage, attempt);
}

void RepairWizard::OnUploadProgress(uint32_t acknowledged, uint32_t total) {
  if (phase_ != Phase::kRunning || !uploading_ || total == 0 || acknowledged > total) return;
  const int base = PlaceOf(kStepUpload) * kProgressPerStep;
  const int value = base + static_cast<int>(static_cast<uint64_t>(acknowledged) * kProgressPerStep / total);
  if (value < upload_value_) return;  // never backwards
  upload_value_ = value;
  view_.amount = AmountText(acknowledged, total);
  view_.status = StageText(RepairStage::kTransferring, 0);
  view_.progress = std::max(view_.progress, std::min(value, Ceiling()));
}

bool RepairWizard::OnTick() {
  if (!timer_wanted()) return false;
  view_.progress = std::min(view_.progress + kProgressPerTick, std::max(view_.progress, Ceiling()));
  if (view_.progress >= kProgressMax) {
    phase_ = Phase::kDone;
    view_.page = WizardPage::kDone;
    return false;
  }
  return true;
}

int RepairWizard::Ceiling() const {
  if (uploading_ && phase_ == Phase::kRunning) return std::max(ceiling_, upload_value_);
  return ceiling_;
}

void RepairWizard::OnRecovered() {
  const RecoveryOutcome outcome = service_->last_recovery();
  phase_ = Phase::kReady;
  view_.start_enabled = true;
  view_.notice_warning = outcome.result == RecoveryResult::kFailed;
  switch (outcome.result) {
    case RecoveryResult::kNothing:
      view_.notice.clear();
      break;
    case RecoveryResult::kRestored:
      view_.notice = RestoredNotice();
      break;
    case RecoveryResult::kFailed:
      view_.notice = RestoreFailedNotice(outcome.manual);
      break;
  }
  if (!view_.notice.empty()) BASEKIT_LOG(Progress, "wizard notice: %s", WideToGbk(view_.notice).c_str());
}

void RepairWizard::EnterFailed() {
  phase_ = Phase::kFailed;
  view_.failure_face = true;
  view_.heading = FailureHeading(failure().cause);
  view_.cause = CauseText(failure());
  view_.next_step = NextStepText(failure());
  view_.status.clear();
  view_.amount.clear();
  // The window logs what it shows.
  BASEKIT_LOG(Progress, "wizard shows: %s %s %s", WideToGbk(view_.heading).c_str(), WideToGbk(view_.cause).c_str(),
              WideToGbk(view_.next_step).c_str());
}

void RepairWizard::ShowStage(RepairStage stage, int32_t attempt) { view_.status = StageText(stage, attempt); }

}  // namespace repair
