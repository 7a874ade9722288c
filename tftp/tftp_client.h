#pragma once

// Upload-only TFTP client (RFC 1350 write request, octet mode, 512-byte
// blocks) that sends the firmware image to the box.
//
// One UDP socket carries the write request and everything after it, so
// replies reach it whatever port they come from: the server's answer to the
// write request from its address, an ACK of block 0 or an ERROR, fixes the
// server's transfer identifier (its address and port, which may be the
// well-known port itself). Whatever comes before it (from another host or
// port, DATA, an ACK of another block, an unknown opcode, a short datagram)
// is ignored without an answer and logged once per kind.
//
// Lock-step transfer: every packet (the write request and each DATA block)
// is sent and its acknowledgement awaited, and sent again when the wait runs
// out, on this schedule:
//  - the first kQuickSends sends of a packet wait on the adaptive timer: it
//    follows the round trips measured on packets that went out once
//    (tftp::RetransmitTimer), lies between kMinReplyTimeoutMs above the
//    estimate and the reply time-out (2 seconds), starts at the reply
//    time-out and doubles on each consecutive time-out;
//  - every later send waits kQuietWaitTimeouts reply time-outs (6 s), longer
//    than the 5-second re-send timer common in servers: a server that
//    answers a repeated block only once, and otherwise re-sends its ACK only
//    after that long a silence from the client, is heard then;
//  - the upload fails once a packet has had no answer that counts for
//    kPatienceTimeouts reply time-outs (20 s) since its first send.
// On a LAN (30 ms first wait) that means repeats at about 0.03, 0.09, 0.21,
// 0.45 and 0.93 s, then at 6.9, 12.9 and 18.9 s, and the end at 20 s.
//
// Only the acknowledgement of the block just sent counts: older and
// duplicate ACKs are traced and ignored and never cause a resend.
// Datagrams too short for their opcode are ignored. Once the transfer
// identifier is known, other sources are answered with ERROR 5 ("Unknown
// transfer ID"), unless what they sent is itself an ERROR, and otherwise
// ignored. An
// ERROR packet from the server ends the upload. sendBuffer returns true only
// after the last block (a short or empty one) has been acknowledged; when
// every block but the last was, and the last one's acknowledgement never
// came, the result says so (kLastBlockUnconfirmed): the server may well hold
// the whole file.
//
// The connection set-up, every retransmission and the reason of a failure go
// to the application log (source "tftp_client"); the packet trace goes to a
// tftp::TraceSink, standard output unless another is set.
//
// Thread affinity: a TftpClient is used by one thread (the repair worker);
// every call blocks it, sendBuffer for the whole transfer. The progress
// observer and the trace sink run on that same thread.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "tftp/retransmit_timer.h"
#include "tftp/tftp_packet.h"
#include "tftp/trace_sink.h"
#include "tftp/upload_result.h"
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
  // The longest wait for a reply, and the first one, before any round trip
  // has been measured.
  static constexpr int kReplyTimeoutMs = 2000;
  // The least margin of a wait above the measured round trip. A clean LAN
  // transfer stalls now and then (scheduling, the server's writes); such
  // stalls reached 22 ms on a loaded machine, and a wait shorter than a
  // stall sends a block for nothing. Each lost packet costs about this
  // margin, against the whole reply time-out of a fixed wait.
  static constexpr int kMinReplyTimeoutMs = 30;
  // Sends of one packet that wait on the adaptive timer; the ones after
  // them wait kQuietWaitTimeouts reply time-outs each.
  static constexpr int kQuickSends = 5;
  static constexpr int kQuietWaitTimeouts = 3;
  // Patience: a packet without an answer that counts for this many reply
  // time-outs since its first send fails the upload.
  static constexpr int kPatienceTimeouts = 10;
  static constexpr size_t kBlockSize = 512;

  // (bytes acknowledged so far, total bytes of the upload).
  using ProgressObserver = std::function<void(size_t acknowledged, size_t total)>;

  // What the last sendBuffer met on the way (reset by each sendBuffer).
  struct Statistics {
    unsigned retransmissions = 0;  // packets sent again after a time-out
    unsigned quiet_waits = 0;      // packets that went into the quiet waits
    unsigned ignored_acks = 0;     // older or duplicate acknowledgements
    unsigned rtt_samples = 0;      // round trips measured
    int64_t max_rtt_us = 0;        // the longest of them
    int reply_timeout_ms = 0;      // the adaptive wait at the end
  };

  // The box at 192.168.1.6, port 69, 2-second replies. Throws
  // ETFTPSocketInitialize when the socket library cannot start.
  TftpClient();
  // Tests and benchmarks only: another server, port and reply time-out (the
  // ceiling of the adaptive wait; the quiet wait and the patience keep their
  // proportion to it).
  TftpClient(const char* server_address, int server_port, int reply_timeout_ms);
  TftpClient(const TftpClient&) = delete;
  TftpClient& operator=(const TftpClient&) = delete;
  virtual ~TftpClient();

  // Creates the upload's socket and checks that the system has a route to
  // the server (by connecting the socket to the server's port, then
  // disconnecting it so that it hears the server's transfer identifier).
  // False, with the socket closed and the reason logged, when any step
  // fails; it may be called again.
  virtual bool connectToServer();

  // Uploads length bytes from data as the firmware file. True once the last
  // block has been acknowledged; false (reason logged, lastResult() tells
  // which) for no data or a length of 0 or less, when not connected, on an
  // ERROR reply, or when a packet stayed unanswered for the whole patience.
  virtual bool sendBuffer(const char* data, int32_t length);

  // Called after each acknowledged DATA block; may be empty.
  void setProgressObserver(ProgressObserver observer) { progress_ = std::move(observer); }
  // Called with the attempt number (2, 3, ...) each time the write request
  // goes out again unanswered; may be empty.
  void setRequestRetryObserver(std::function<void(int attempt)> observer) { request_retry_ = std::move(observer); }
  // Where the packet trace goes; null restores standard output. The sink
  // must outlive its use by this client.
  void setTraceSink(tftp::TraceSink* sink) { trace_ = sink != nullptr ? sink : &tftp::StandardOutputTrace(); }

  bool isConnected() const { return socket_.IsOpen(); }
  const Statistics& statistics() const { return statistics_; }
  // How the last sendBuffer ended; sendBuffer returned true exactly when it
  // was delivered.
  const TftpUploadResult& lastResult() const { return result_; }

 protected:
  // Waits for the acknowledgement of the packet just sent; expected is the
  // number of the next block to be sent (1 after the write request, n + 1
  // after block n), as the trace lines show it, so the ACK that counts is
  // expected - 1. Sends the last packet again on each time-out. False on an
  // ERROR reply, a failed wait, or when the patience has run out.
  bool waitForAck(uint32_t expected);
  // Waits for one datagram on the socket for the reply time-out.
  WaitResult waitForPacket(TftpPacket& packet);
  // Prints the ERROR packet's code and its text and closes the socket.
  void reportError(const TftpPacket& packet);

 private:
  using Clock = std::chrono::steady_clock;
  enum class ReplyOutcome { kAcknowledged, kTimedOut, kFailed };

  WaitResult waitForPacket(TftpPacket& packet, Clock::time_point deadline);
  ReplyOutcome awaitAck(uint32_t expected, Clock::time_point deadline);
  // A datagram before the transfer identifier: traced, logged once per
  // kind (a small number below 32), not answered.
  void ignoreEarly(unsigned kind, const char* what, int size);
  void rejectForeignSource(const tftp::Endpoint& source, const TftpReply& reply);
  void sendLastPacket();
  // How long to wait after the send-th send of the packet (1 for the first).
  std::chrono::milliseconds waitAfterSend(int send) const;
  std::string describeLastPacket(uint32_t block) const;
  // Closes the socket; false, for the failed connection attempt.
  bool failConnect();

  std::string server_address_;
  int server_port_;
  int reply_timeout_ms_;
  bool library_started_ = false;

  tftp::UdpSocket socket_;
  tftp::Endpoint server_endpoint_;  // address and the well-known port
  tftp::Endpoint reply_address_;    // source of the most recent datagram
  tftp::Endpoint server_tid_;       // the server's transfer identifier
  bool server_tid_known_ = false;
  unsigned early_kinds_logged_ = 0;  // bits of the early kinds logged so far
  int last_wait_error_ = 0;          // platform code of the last failed wait or receive

  TftpPacket last_sent_;
  bool last_sent_is_request_ = false;
  Clock::time_point last_sent_at_;
  Clock::time_point last_received_at_;
  tftp::RetransmitTimer timer_;
  Statistics statistics_;
  TftpUploadResult result_;
  ProgressObserver progress_;
  std::function<void(int attempt)> request_retry_;
  tftp::TraceSink* trace_ = &tftp::StandardOutputTrace();
};
