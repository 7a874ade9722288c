// Uploads one file with TftpClient and reports the outcome and the time:
//   tftp_upload FILE SERVER_IP PORT [REPLY_TIMEOUT_MS]
// Prints "ok SECONDS" (exit 0) or "failed SECONDS" (exit 1) on standard
// output; the client's packet trace is discarded unless TFTP_TRACE is set.
// Used by tftp_bench.sh; run by hand only, against its own servers.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <unistd.h>
#include <vector>

#include "tftp/tftp_client.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s FILE SERVER_IP PORT [REPLY_TIMEOUT_MS]\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 2;
  }
  std::vector<char> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  int port = std::atoi(argv[3]);
  int timeout_ms = argc > 4 ? std::atoi(argv[4]) : TftpClient::kReplyTimeoutMs;

  // The client traces every packet on standard output; keep the report line
  // readable by sending the trace away unless asked for.
  FILE* report = fdopen(dup(1), "w");
  if (report == nullptr || (std::getenv("TFTP_TRACE") == nullptr &&
                            std::freopen("/dev/null", "w", stdout) == nullptr)) {
    std::fprintf(stderr, "cannot redirect the trace\n");
    return 2;
  }

  auto begin = std::chrono::steady_clock::now();
  bool ok = false;
  {
    TftpClient client(argv[2], port, timeout_ms);
    ok = client.connectToServer() && client.sendBuffer(image.data(), image.size());
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  std::fprintf(report, "%s %.3f\n", ok ? "ok" : "failed", seconds);
  std::fclose(report);
  return ok ? 0 : 1;
}
