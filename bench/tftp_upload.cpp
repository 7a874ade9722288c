// Uploads one file with TftpClient and reports the outcome, the time and
// what the client met on the way:
//   tftp_upload FILE SERVER_IP PORT [REPLY_TIMEOUT_MS]
// Prints one line on standard output, exit 0 for "ok", 1 for "failed":
//   ok|failed SECONDS resends=N ignored_acks=N rtt_samples=N rtt_max_us=N timeout_ms=N
// The client's packet trace is discarded unless TFTP_TRACE is set (then it
// goes to standard error). Used by tftp_bench.sh; run by hand only, against
// its own servers.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "tftp/tftp_client.h"

namespace {

class DiscardTrace : public tftp::TraceSink {
 public:
  void Write(const char*, size_t) override {}
};

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

  DiscardTrace discard;
  StandardErrorTrace to_stderr;
  auto begin = std::chrono::steady_clock::now();
  bool ok = false;
  TftpClient::Statistics statistics;
  {
    TftpClient client(argv[2], port, timeout_ms);
    client.setTraceSink(std::getenv("TFTP_TRACE") != nullptr ? static_cast<tftp::TraceSink*>(&to_stderr) : &discard);
    ok = client.connectToServer() && client.sendBuffer(image.data(), static_cast<int32_t>(image.size()));
    statistics = client.statistics();
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  std::printf("%s %.3f resends=%u ignored_acks=%u rtt_samples=%u rtt_max_us=%lld timeout_ms=%d\n", ok ? "ok" : "failed",
              seconds, statistics.retransmissions, statistics.ignored_acks, statistics.rtt_samples,
              static_cast<long long>(statistics.max_rtt_us), statistics.reply_timeout_ms);
  return ok ? 0 : 1;
}
