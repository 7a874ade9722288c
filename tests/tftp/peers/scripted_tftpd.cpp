// The scripted test server as a program, for the peer tests that run it in a
// network namespace of its own: it takes one upload and, when stopped
// (SIGTERM or SIGINT), writes what it received to a file.
//
//   scripted_tftpd --listen ADDR:PORT --out FILE [--reply-from-listening-port]
//
// --reply-from-listening-port answers from the well-known port itself, as
// small embedded servers do. Prints "ready" on standard error once it
// listens, and "received N bytes" when it ends. Exit code 0, or 2 for bad
// arguments or a failed start.

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "tests/tftp/scripted_tftp_server.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: scripted_tftpd --listen ADDR:PORT --out FILE [--reply-from-listening-port]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string address;
  int port = -1;
  std::string out;
  bool from_listener = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--listen" && has_value) {
      const std::string value = argv[++i];
      const size_t colon = value.rfind(':');
      if (colon == std::string::npos) return Usage();
      address = value.substr(0, colon);
      port = std::atoi(value.c_str() + colon + 1);
    } else if (arg == "--out" && has_value) {
      out = argv[++i];
    } else if (arg == "--reply-from-listening-port") {
      from_listener = true;
    } else {
      return Usage();
    }
  }
  if (address.empty() || port <= 0 || out.empty()) return Usage();

  // The server's thread inherits the blocked signals, so that only sigwait
  // below takes them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  ScriptedTftpServer server(address.c_str(), port, address.c_str());
  if (!server.ready()) {
    std::fprintf(stderr, "scripted_tftpd: cannot listen on %s:%d\n", address.c_str(), port);
    return 2;
  }
  server.setReplyFromListeningPort(from_listener);
  server.start();
  std::fprintf(stderr, "ready\n");
  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);
  server.stop();

  std::ofstream file(out, std::ios::binary | std::ios::trunc);
  file.write(server.file().data(), static_cast<std::streamsize>(server.file().size()));
  std::fprintf(stderr, "received %zu bytes in %d blocks%s\n", server.file().size(), server.blocksAccepted(),
               server.complete() ? ", complete" : "");
  return file ? 0 : 2;
}
