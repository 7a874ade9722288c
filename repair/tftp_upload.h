#pragma once

// The firmware upload through the TFTP client: each session is one
// TftpClient, created when the upload step begins and destroyed (closing its
// sockets) when the step ends.

#include <memory>
#include <string>

#include "repair/system_seams.h"

namespace repair {

class TftpClientSessionFactory : public TftpSessionFactory {
 public:
  // The box: the client's own fixed server, port and reply time-out.
  TftpClientSessionFactory();
  // Another server (tests only: a server of their own on loopback).
  TftpClientSessionFactory(std::string server_address, int server_port, int reply_timeout_ms);

  // Throws ETFTPSocketInitialize when the socket library cannot start.
  std::unique_ptr<TftpSession> Create() override;

 private:
  bool use_default_server_;
  std::string server_address_;
  int server_port_ = 0;
  int reply_timeout_ms_ = 0;
};

}  // namespace repair
