#pragma once

// Why a repair did not end in success, as the engine saw it: one cause and
// the few facts the user needs to act on it. Carried from the step that
// failed to the wizard, which turns it into a sentence and a next step.

#include <cstddef>
#include <cstdint>
#include <string>

#include "tftp/upload_result.h"

namespace repair {

enum class RepairCause {
  kNone,
  kNoWiredAdapter,          // the adapter query found no candidate
  kNoAdapterChosen,         // several candidates, the picker was closed
  kJournalNotWritten,       // the change could not be recorded first, so it was not made
  kFirewallRuleNotAdded,    // no rule could be added (netsh did not start)
  kRecoveryAddressNotSet,   // 192.168.1.111 never took on the adapter
  kBoxNotAnswering,         // no answer to the write request
  kConnectionLost,          // the box went quiet during the upload
  kCableUnplugged,          // the upload failed while the adapter had no link
  kBoxRefused,              // the box ended the upload with a TFTP error
  kLastBlockUnconfirmed,    // all sent, the last block's ACK never came
  kFirmwareMissing,         // the program carries no usable image
  kNetworkUnavailable,      // the socket library could not start
  kRestoreFailed,           // the network settings could not be put back
  kFirewallRuleNotDeleted,  // the rule could not be deleted (netsh did not start or end)
  kCancelled,               // the window was closed during a wait
};

// The settings an adapter had before the repair changed it.
struct AdapterSettings {
  bool dhcp = true;
  std::string address;  // dotted quads; empty for DHCP
  std::string mask;
  std::string gateway;  // empty or "0.0.0.0" when there was none
};

struct RepairFailure {
  RepairCause cause = RepairCause::kNone;
  int32_t step = -1;  // the step that failed (a RepairStep)
  // Upload causes: how far the box had acknowledged.
  size_t acknowledged = 0;
  size_t total = 0;
  // kBoxRefused: the box's error code and text (printable ASCII).
  uint16_t server_code = 0;
  std::string server_text;
  // kRestoreFailed: the adapter and what to set by hand. Both restore
  // causes: whether the image reached the box before.
  std::wstring connection_name;
  AdapterSettings settings;
  bool image_delivered = false;

  bool failed() const { return cause != RepairCause::kNone; }
  // Whole percent acknowledged, rounded down (0 with no total).
  int percent() const { return total == 0 ? 0 : static_cast<int>(acknowledged * 100 / total); }
};

// The cause of an upload that did not deliver. `link_up` is false when the
// adapter was seen without a link as the upload ended.
RepairCause CauseOfUpload(TftpOutcome outcome, bool link_up);

// A short name for the log ("no wired adapter", ...).
const char* CauseName(RepairCause cause);

}  // namespace repair
