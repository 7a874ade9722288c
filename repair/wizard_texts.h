#pragma once

// What the wizard says: the status line of each stage, the sentence and the
// next step of each cause, the notices about an unfinished earlier repair,
// and the amount beside the progress bar. Short, plain, in the product's
// tone. Names and values from outside go through DisplayText.
//
// Any thread; no state.

#include <cstddef>
#include <cstdint>
#include <string>

#include "repair/repair_failure.h"
#include "repair/repair_procedure.h"

namespace repair {

// The page-2 heading while the repair runs, and after it failed.
std::wstring RunningHeading();
std::wstring FailureHeading(RepairCause cause);

// The status line of a stage; `attempt` counts connection attempts.
std::wstring StageText(RepairStage stage, int32_t attempt);
// The status line while the clean-up after a failure runs.
std::wstring CleanUpText();

// The cause in one sentence, and one concrete next step.
std::wstring CauseText(const RepairFailure& failure);
std::wstring NextStepText(const RepairFailure& failure);

// "37%  2.1 / 5.6 MB": whole percent and tenths of a megabyte (10^6
// bytes), both rounded down, so 100% shows only when all is acknowledged.
std::wstring AmountText(size_t acknowledged, size_t total);

// Page 1's notices about the journal found at start.
std::wstring RecoveringNotice();
std::wstring RestoredNotice();
// A journal the program did not write was found and left unused.
std::wstring IgnoredNotice();
// What could not be put back, and how to do it by hand (a kRestoreFailed
// or kFirewallRuleNotDeleted failure).
std::wstring RestoreFailedNotice(const RepairFailure& manual);

// Page 1's line when REPAIR.log was refused (a link, or not a plain file)
// and the program writes no log.
std::wstring LogRefusedNotice();

// The alert's message when the repair ends without success.
std::wstring AlertMessage(RepairCause cause);

}  // namespace repair
