#pragma once

// The repair wizard without its window: which page shows, where the
// progress bar stands, what the status line and the failure face say,
// whether the repair can be started (again), and what a close must undo.
// Fed with the engine's step reports, status reports (stage and upload
// progress), the progress timer's ticks and the user's presses; the window
// only shows view() and does what the return values ask.
//
// The bar has a scale of 600, 100 per procedure step: it climbs by 10 a
// tick up to the ceiling of the step that runs (100 until the adapter query
// and the link wait have reported, then 200, ...), and during the upload
// from 400 to 500 in proportion to the bytes the box has acknowledged. It
// never moves backwards and never passes the ceiling. At 600 page 3 shows.
//
// Thread affinity: the UI thread.

#include <cstdint>
#include <string>

#include "repair/repair_failure.h"
#include "repair/repair_procedure.h"
#include "repair/repair_service.h"
#include "repair/repair_step_chain.h"

namespace repair {

enum class WizardPage { kStart = 1, kRepair = 2, kDone = 3 };

struct WizardView {
  WizardPage page = WizardPage::kStart;
  // Page 1.
  bool start_enabled = false;
  std::wstring notice;          // about an unfinished earlier repair; may be empty
  bool notice_warning = false;  // the notice asks the user to act
  // Page 2: the progress face, or the failure face.
  bool failure_face = false;
  std::wstring heading;
  std::wstring status;
  int progress = 0;     // 0..kProgressMax
  std::wstring amount;  // beside the bar during and after the upload
  std::wstring cause;
  std::wstring next_step;
};

// The bar's scale: a number here, for the roads' screenshot reader too.
inline constexpr int kProgressMax = 600;
inline constexpr int kProgressPerStep = 100;
inline constexpr int kProgressPerTick = 10;
static_assert(kProgressMax == kRunPlaces * kProgressPerStep, "a place on the bar for every step of the run");

class RepairWizard {
 public:
  // Where the wizard stands. From the start to the end of a repair this is
  // the step chain's state; the wizard adds only what is its own: the
  // opening, page 1, and the bar completing after the last report.
  enum class Phase {
    kOpening,     // the start-up recovery runs; "下一步" waits for it
    kReady,       // page 1
    kRunning,     // page 2, steps running
    kCleaningUp,  // page 2, the clean-up after a failure runs
    kFailed,      // page 2's failure face
    kFinishing,   // the last report is in; the bar completes
    kDone,        // page 3
  };

  RepairWizard(RepairService* service, AdapterChooser* chooser, RepairStepChain::StepPoster poster);

  // The window is up; `poster` gets the start-up recovery.
  void Open();
  // "下一步" on page 1, or "重试" on the failure face: the repair from its
  // first step. False when it cannot start now.
  bool Start();
  // A step report. True when the repair has just ended without success:
  // the window shows the alert (AlertMessage) over the failure face.
  bool OnStepReported(const RepairServiceCallbackParam& report);
  void OnStatus(RepairStage stage, int32_t attempt);
  void OnUploadProgress(uint32_t acknowledged, uint32_t total);
  // The progress timer. False once it is no longer needed (the bar froze
  // at a failure, or page 3 is shown).
  bool OnTick();
  // After a close has stopped the repair thread: whether what the journal
  // still records must be undone now (a repair was running). After a
  // failure the clean-up has already tried; what it left waits for the
  // next start.
  bool ShouldUndoOnClose() const { return phase() == Phase::kRunning; }

  Phase phase() const;
  const WizardView& view() const { return view_; }
  const RepairFailure& failure() const { return chain_.failure(); }
  bool timer_wanted() const { return phase() == Phase::kRunning || phase() == Phase::kFinishing; }

 private:
  void OnRecovered(const RepairServiceCallbackParam& report);
  void EnterFailed();
  void ShowStage(RepairStage stage, int32_t attempt);
  // The step the chain posted last, from the last report.
  void FollowChain(int32_t reported_step);
  int Ceiling() const;

  RepairStepChain::StepPoster poster_;
  RepairStepChain chain_;
  bool recovered_ = false;  // the start-up recovery has reported
  WizardView view_;
  int ceiling_ = kProgressPerStep;
  bool uploading_ = false;
  int upload_value_ = 0;
};

}  // namespace repair
