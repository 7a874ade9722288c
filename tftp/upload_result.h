#pragma once

// The end of one upload as the TFTP client saw it, for the caller to tell
// the user what happened.

#include <cstddef>
#include <cstdint>
#include <string>

// How an upload ended, as far as the client can tell.
enum class TftpOutcome {
  kNotStarted,            // refused before anything was sent: no data, not connected
  kDelivered,             // every block acknowledged, the last one included
  kRequestUnanswered,     // the write request was never answered
  kNoReply,               // the server went quiet during the transfer
  kLastBlockUnconfirmed,  // every block but the last acknowledged, and the
                          // last one's acknowledgement never came: the server
                          // may hold the whole file
  kServerError,           // the server ended the upload with an ERROR packet
  kWaitFailed,            // waiting for a reply failed locally
};

struct TftpUploadResult {
  TftpOutcome outcome = TftpOutcome::kNotStarted;
  size_t acknowledged = 0;  // bytes the server has acknowledged
  size_t total = 0;         // bytes of the upload
  uint16_t error_code = 0;  // the server's ERROR code (kServerError)
  std::string error_text;   // its message, printable ASCII only (kServerError)

  bool delivered() const { return outcome == TftpOutcome::kDelivered; }
};
