// Uploads one file with TftpClient and reports the outcome, the time and
// what the client met on the way:
//   tftp_upload FILE SERVER_IP PORT [REPLY_TIMEOUT_MS]
// Prints one line on standard output:
//   ok|failed|unconfirmed SECONDS outcome=NAME acknowledged=N resends=N quiet_waits=N
//       ignored_acks=N rtt_samples=N rtt_max_us=N timeout_ms=N
// Exit code 0 when delivered, 3 when only the last block's acknowledgement
// is missing, 1 for any other failure, 2 for bad arguments. With TFTP_LOG
// set, the client's log goes to upload.log in the current folder; its packet
// trace is discarded unless TFTP_TRACE is set (then it goes to standard
// error). Used by the
// peer tests and bench/tftp_bench.sh, against their own servers; built for
// both platforms.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "basekit/log/log.h"
#include "tftp/tftp_client.h"

namespace {

class DiscardTrace : public tftp::TraceSink {
 public:
  void Write(const char*, size_t) override {}
};

const char* OutcomeName(TftpOutcome outcome) {
  switch (outcome) {
    case TftpOutcome::kNotStarted:
      return "not-started";
    case TftpOutcome::kDelivered:
      return "delivered";
    case TftpOutcome::kRequestUnanswered:
      return "request-unanswered";
    case TftpOutcome::kNoReply:
      return "no-reply";
    case TftpOutcome::kLastBlockUnconfirmed:
      return "last-block-unconfirmed";
    case TftpOutcome::kServerError:
      return "server-error";
    case TftpOutcome::kWaitFailed:
      return "wait-failed";
  }
  return "?";
}

class StandardErrorTrace : public tftp::TraceSink {
 public:
  void Write(const char* data, size_t length) override { std::fwrite(data, 1, length, stderr); }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s FILE SERVER_IP PORT [REPLY_TIMEOUT_MS]\n", argv[0]);
    return 2;
  }
  // Read in one go: the product sends an image it already holds, so the
  // time of reading it should not weigh on the comparison.
  std::ifstream in(argv[1], std::ios::binary | std::ios::ate);
  std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
  std::vector<char> image(size > 0 ? static_cast<size_t>(size) : 0);
  if (size <= 0 || !in.seekg(0) || !in.read(image.data(), size)) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 2;
  }
  int port = std::atoi(argv[3]);
  int timeout_ms = argc > 4 ? std::atoi(argv[4]) : TftpClient::kReplyTimeoutMs;

  if (std::getenv("TFTP_LOG") != nullptr) {
    basekit::LogInterface* log = basekit::GetLog();
    log->SetLogPath("./");
    log->SetLogName("upload");
    log->AddFlags(basekit::kLogNoDatePrefix | basekit::kLogTimeMs);
    log->SetLevel(basekit::kLogLevelProgress);
  }

  DiscardTrace discard;
  StandardErrorTrace to_stderr;
  auto begin = std::chrono::steady_clock::now();
  TftpClient::Statistics statistics;
  TftpUploadResult result;
  {
    TftpClient client(argv[2], port, timeout_ms);
    client.setTraceSink(std::getenv("TFTP_TRACE") != nullptr ? static_cast<tftp::TraceSink*>(&to_stderr) : &discard);
    if (client.connectToServer()) {
      client.sendBuffer(image.data(), static_cast<int32_t>(image.size()));
    }
    statistics = client.statistics();
    result = client.lastResult();
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  const bool unconfirmed = result.outcome == TftpOutcome::kLastBlockUnconfirmed;
  std::printf(
      "%s %.3f outcome=%s acknowledged=%lu resends=%u quiet_waits=%u ignored_acks=%u rtt_samples=%u rtt_max_us=%lld "
      "timeout_ms=%d\n",
      result.delivered() ? "ok" : (unconfirmed ? "unconfirmed" : "failed"), seconds, OutcomeName(result.outcome),
      static_cast<unsigned long>(result.acknowledged), statistics.retransmissions, statistics.quiet_waits,
      statistics.ignored_acks, statistics.rtt_samples, static_cast<long long>(statistics.max_rtt_us),
      statistics.reply_timeout_ms);
  std::fflush(stdout);
  return result.delivered() ? 0 : (unconfirmed ? 3 : 1);
}
