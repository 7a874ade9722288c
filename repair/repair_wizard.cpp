#include "repair/repair_wizard.h"

#include <algorithm>
#include <utility>

#include "basekit/log/log.h"
#include "repair/text_encoding.h"
#include "repair/wizard_texts.h"

namespace repair {

namespace {

constexpr const char* kLogSource = "repair";

}  // namespace

RepairWizard::RepairWizard(RepairService* service, AdapterChooser* chooser, RepairStepChain::StepPoster poster)
    : poster_(poster), chain_(service, chooser, std::move(poster)) {}

RepairWizard::Phase RepairWizard::phase() const {
  switch (chain_.state()) {
    case RepairStepChain::State::kIdle:
      return recovered_ ? Phase::kReady : Phase::kOpening;
    case RepairStepChain::State::kRunning:
      return Phase::kRunning;
    case RepairStepChain::State::kCleaningUp:
      return Phase::kCleaningUp;
    case RepairStepChain::State::kFailed:
      return Phase::kFailed;
    case RepairStepChain::State::kComplete:
      break;
  }
  return view_.page == WizardPage::kDone ? Phase::kDone : Phase::kFinishing;
}

void RepairWizard::Open() {
  recovered_ = false;
  view_ = WizardView();
  view_.notice = RecoveringNotice();
  poster_(kStepRecover);
}

bool RepairWizard::Start() {
  const Phase now = phase();
  if (now != Phase::kReady && now != Phase::kFailed) return false;
  if (!chain_.Start()) return false;
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

bool RepairWizard::OnStepReported(const RepairServiceCallbackParam& report) {
  const Phase before = phase();
  if (report.step == kStepRecover) {
    if (before == Phase::kOpening) OnRecovered(report);
    return false;
  }
  if (before != Phase::kRunning && before != Phase::kCleaningUp) return false;
  switch (chain_.OnStepReported(report)) {
    case RepairStepChain::State::kRunning:
      FollowChain(report.step);
      return false;
    case RepairStepChain::State::kCleaningUp:
      if (before != Phase::kCleaningUp) {
        BASEKIT_LOG(Progress, "repair failed (%s), restoring the network settings", CauseName(failure().cause));
      }
      view_.status = CleanUpText();
      view_.amount.clear();  // the cause says how far it got
      return false;
    case RepairStepChain::State::kComplete:
      // The restore's report lifts the ceiling to the end; the timer
      // completes the bar and shows page 3.
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
  // What the step that runs now does, until it says more itself.
  const RepairStep running = NextStep(reported_step);
  uploading_ = running == kStepUpload;
  switch (running) {
    case kStepModify:
      ShowStage(RepairStage::kSettingAddress, 0);
      break;
    case kStepUpload:
      upload_value_ = ceiling_;
      ShowStage(RepairStage::kConnecting, 1);
      break;
    case kStepRestore:
      ShowStage(RepairStage::kRestoring, 0);
      break;
    default:
      break;
  }
}

void RepairWizard::OnStatus(RepairStage stage, int32_t attempt) {
  if (phase() != Phase::kRunning) return;
  ShowStage(stage, attempt);
}

void RepairWizard::OnUploadProgress(uint32_t acknowledged, uint32_t total) {
  if (phase() != Phase::kRunning || !uploading_ || total == 0 || acknowledged > total) return;
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
    view_.page = WizardPage::kDone;
    return false;
  }
  return true;
}

int RepairWizard::Ceiling() const {
  if (uploading_ && phase() == Phase::kRunning) return std::max(ceiling_, upload_value_);
  return ceiling_;
}

void RepairWizard::OnRecovered(const RepairServiceCallbackParam& report) {
  recovered_ = true;
  view_.start_enabled = true;
  view_.notice_warning = report.recovery == RecoveryResult::kFailed;
  switch (report.recovery) {
    case RecoveryResult::kNothing:
      view_.notice.clear();
      break;
    case RecoveryResult::kRestored:
      view_.notice = RestoredNotice();
      break;
    case RecoveryResult::kIgnored:
      view_.notice = IgnoredNotice();
      break;
    case RecoveryResult::kFailed:
      view_.notice = RestoreFailedNotice(report.failure);
      break;
  }
  if (!view_.notice.empty()) BASEKIT_LOG(Progress, "wizard notice: %s", WideToGbk(view_.notice).c_str());
}

void RepairWizard::EnterFailed() {
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
