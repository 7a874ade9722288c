#include "repair/repair_failure.h"

namespace repair {

RepairCause CauseOfUpload(TftpOutcome outcome, bool link_up) {
  switch (outcome) {
    case TftpOutcome::kDelivered:
      return RepairCause::kNone;
    case TftpOutcome::kNotStarted:
    case TftpOutcome::kRequestUnanswered:
      return RepairCause::kBoxNotAnswering;
    case TftpOutcome::kNoReply:
    case TftpOutcome::kWaitFailed:
      return link_up ? RepairCause::kConnectionLost : RepairCause::kCableUnplugged;
    case TftpOutcome::kLastBlockUnconfirmed:
      return RepairCause::kLastBlockUnconfirmed;
    case TftpOutcome::kServerError:
      return RepairCause::kBoxRefused;
  }
  return RepairCause::kConnectionLost;
}

const char* CauseName(RepairCause cause) {
  switch (cause) {
    case RepairCause::kNone:
      return "none";
    case RepairCause::kNoWiredAdapter:
      return "no wired adapter";
    case RepairCause::kNoAdapterChosen:
      return "no adapter chosen";
    case RepairCause::kJournalNotWritten:
      return "journal not written";
    case RepairCause::kFirewallRuleNotAdded:
      return "firewall rule not added";
    case RepairCause::kRecoveryAddressNotSet:
      return "recovery address not set";
    case RepairCause::kBoxNotAnswering:
      return "the box did not answer the write request";
    case RepairCause::kConnectionLost:
      return "connection lost during the upload";
    case RepairCause::kCableUnplugged:
      return "no link during the upload";
    case RepairCause::kBoxRefused:
      return "the box refused the upload";
    case RepairCause::kLastBlockUnconfirmed:
      return "last block unconfirmed";
    case RepairCause::kFirmwareMissing:
      return "no usable firmware image";
    case RepairCause::kNetworkUnavailable:
      return "socket library unavailable";
    case RepairCause::kRestoreFailed:
      return "network settings not restored";
    case RepairCause::kFirewallRuleNotDeleted:
      return "firewall rule not deleted";
    case RepairCause::kCancelled:
      return "closed by the user";
  }
  return "unknown";
}

}  // namespace repair
