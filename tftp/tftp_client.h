#pragma once

// Upload-only TFTP client (RFC 1350 write request, octet mode, 512-byte
// blocks) that sends the firmware image to the box.
//
// Lock-step transfer: every packet (the write request and each DATA block)
// is sent and then its acknowledgement awaited for the reply time-out
// (2 seconds). Without a reply the same packet is sent again, kMaxAttempts
// sends in all; then the upload fails. Only the acknowledgement of the block
// just sent counts: older and duplicate ACKs are traced and ignored. The
// first reply fixes the server's transfer identifier (address and port);
// datagrams from any other source are answered with ERROR 5 ("Unknown
// transfer ID") and otherwise ignored. An ERROR packet from the server ends
// the upload. sendBuffer returns true only after the last block (a short or
// empty one) has been acknowledged.
//
// The connection set-up, every retransmission and the reason of a failure go
// to the application log (source "tftp_client"); the packet trace goes to
// standard output.
//
// Thread affinity: a TftpClient is used by one thread (the repair worker);
// every call blocks it, sendBuffer for the whole transfer. The progress
// observer runs on that same thread.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "tftp/tftp_packet.h"
#include "tftp/udp_socket.h"

// Raised by the constructor when the platform socket library cannot start.
class ETFTPSocketInitialize : public std::exception {
 public:
  const char* what() const noexcept override { return "Unable to find socket library"; }
};

class TftpClient {
 public:
  enum WaitResult {
    WaitTimeout = 0,       // nothing arrived within the wait
    WaitSelectError = 1,   // the readiness wait itself failed
    WaitClosed = 2,        // an empty datagram arrived
    WaitReceiveError = 3,  // the receive failed
    WaitPacket = 4,        // a datagram was received into the packet
  };

  static constexpr const char* kServerAddress = "192.168.1.6";
  static constexpr int kServerPort = 69;
  static constexpr int kReplyTimeoutMs = 2000;
  static constexpr int kMaxAttempts = 5;
  static constexpr size_t kBlockSize = 512;

  // (bytes acknowledged so far, total bytes of the upload).
  using ProgressObserver = std::function<void(size_t acknowledged, size_t total)>;

  // The box at 192.168.1.6, port 69, 2-second replies. Throws
  // ETFTPSocketInitialize when the socket library cannot start.
  TftpClient();
  // Tests and benchmarks only: another server, port and reply time-out.
  TftpClient(const char* server_address, int server_port, int reply_timeout_ms);
  TftpClient(const TftpClient&) = delete;
  TftpClient& operator=(const TftpClient&) = delete;
  virtual ~TftpClient();

  // Creates the control socket (connected to the server's port, sends the
  // write request) and the transfer socket (same local address and port,
  // receives the replies and sends the DATA blocks). False, with both
  // sockets closed and the reason logged, when any step fails; it may be
  // called again.
  virtual bool connectToServer();

  // Uploads length bytes from data as the firmware file. True once the last
  // block has been acknowledged; false (reason logged) for no data or a
  // length of 0 or less, when not connected, on an ERROR reply, or when a
  // packet stayed unanswered after kMaxAttempts sends.
  virtual bool sendBuffer(const char* data, int32_t length);

  // Called after each acknowledged DATA block; may be empty.
  void setProgressObserver(ProgressObserver observer) { progress_ = std::move(observer); }

  bool isConnected() const { return control_.IsOpen() && transfer_.IsOpen(); }

 protected:
  // Waits for the acknowledgement of the packet just sent; expected is the
  // number of the next block to be sent (1 after the write request, n + 1
  // after block n), as the trace lines show it, so the ACK that counts is
  // expected - 1. Sends the last packet again on each time-out. False on an
  // ERROR reply, a failed wait, or when the attempts are used up.
  bool waitForAck(uint32_t expected);
  // Waits for one datagram on the transfer socket for the reply time-out.
  WaitResult waitForPacket(TftpPacket& packet);
  // Prints the ERROR packet's code and its text and closes both sockets.
  void reportError(const TftpPacket& packet);

 private:
  enum class ReplyOutcome { kAcknowledged, kTimedOut, kFailed };

  WaitResult waitForPacket(TftpPacket& packet, int timeout_ms);
  ReplyOutcome awaitAck(uint32_t expected);
  bool acceptSource(const tftp::Endpoint& source);
  void rejectForeignSource(const tftp::Endpoint& source);
  void sendLastPacket();
  std::string describeLastPacket(uint32_t block) const;
  void closeSockets();
  void failConnect();

  std::string server_address_;
  int server_port_;
  int reply_timeout_ms_;
  bool library_started_ = false;

  tftp::UdpSocket control_;
  tftp::UdpSocket transfer_;
  tftp::Endpoint server_endpoint_;  // address and the well-known port
  tftp::Endpoint reply_address_;    // source of the most recent datagram
  tftp::Endpoint server_tid_;       // the server's transfer identifier
  bool server_tid_known_ = false;
  int last_wait_error_ = 0;  // platform code of the last failed wait or receive

  TftpPacket last_sent_;
  bool last_sent_is_request_ = false;
  ProgressObserver progress_;
};
