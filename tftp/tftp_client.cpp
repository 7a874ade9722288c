#include "tftp/tftp_client.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "basekit/log/log.h"
#include "basekit/strings/format.h"

namespace {

constexpr const char* kLogSource = "tftp_client";
constexpr uint16_t kErrorUnknownTransferId = 5;

const char* ErrorCodeText(uint16_t code) {
  switch (code) {
    case 1:
      return "File not found";
    case 2:
      return "Access violation";
    case 3:
      return "Disk full or allocation exceeded";
    case 4:
      return "Illegal TFTP operation";
    case 5:
      return "Unknown transfer ID";
    case 6:
      return "File already exists";
    case 7:
      return "No such user";
    default:
      return "Not defined, see error message (if any)";
  }
}

// What a datagram that arrives before the server's transfer identifier is
// known amounts to. Only the server's answer to the write request (ACK 0)
// or its refusal (an ERROR) from the server's address may fix the
// identifier: anything else on the cable that answered first would
// otherwise take the transfer, and the server's own ACK would draw
// ERROR 5. The rest is ignored without an answer, since there is no
// transfer yet that it could disturb.
enum class EarlyDatagram {
  kFixesTransferId,
  kShort,
  kData,
  kUnknownOpcode,
  kOtherAck,
  kOtherHost,
};

EarlyDatagram ClassifyEarly(const TftpReply& reply, const tftp::Endpoint& from, uint32_t server_address) {
  if (from.address != server_address) return EarlyDatagram::kOtherHost;
  switch (reply.kind) {
    case TftpReply::Kind::kError:
      return EarlyDatagram::kFixesTransferId;
    case TftpReply::Kind::kAck:
      return *reply.block == 0 ? EarlyDatagram::kFixesTransferId : EarlyDatagram::kOtherAck;
    case TftpReply::Kind::kData:
      return EarlyDatagram::kData;
    case TftpReply::Kind::kOther:
      return EarlyDatagram::kUnknownOpcode;
    case TftpReply::Kind::kMalformed:
      return EarlyDatagram::kShort;
  }
  return EarlyDatagram::kShort;
}

const char* DescribeEarly(EarlyDatagram kind) {
  switch (kind) {
    case EarlyDatagram::kFixesTransferId:
      return "the server's answer";
    case EarlyDatagram::kShort:
      return "a datagram too short for its opcode";
    case EarlyDatagram::kData:
      return "a DATA packet";
    case EarlyDatagram::kUnknownOpcode:
      return "a packet of an unknown opcode";
    case EarlyDatagram::kOtherAck:
      return "an ACK of another block than 0";
    case EarlyDatagram::kOtherHost:
      return "a datagram from another host";
  }
  return "a datagram";
}

// A peer's text for the log: printable ASCII as it is, any other byte as '?'.
std::string Printable(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c < 0x20 || c > 0x7E) {
      c = '?';
    }
  }
  return out;
}

}  // namespace

TftpClient::TftpClient() : TftpClient(kServerAddress, kServerPort, kReplyTimeoutMs) {}

TftpClient::TftpClient(const char* server_address, int server_port, int reply_timeout_ms)
    : server_address_(server_address != nullptr ? server_address : ""),
      server_port_(server_port),
      reply_timeout_ms_(reply_timeout_ms > 0 ? reply_timeout_ms : kReplyTimeoutMs),
      timer_(kMinReplyTimeoutMs, reply_timeout_ms_) {
  if (!tftp::StartSocketLibrary()) {
    throw ETFTPSocketInitialize();
  }
  library_started_ = true;
}

TftpClient::~TftpClient() {
  socket_.Close();
  if (library_started_) {
    tftp::StopSocketLibrary();
  }
}

bool TftpClient::failConnect() {
  socket_.Close();
  return false;
}

bool TftpClient::connectToServer() {
  BASEKIT_LOG(Progress, "connectting to server %s, port %d", server_address_.c_str(), server_port_);
  socket_.Close();
  server_tid_known_ = false;

  uint32_t address = 0;
  if (!tftp::ParseIpv4Address(server_address_.c_str(), &address) || server_port_ <= 0 || server_port_ > 0xFFFF) {
    BASEKIT_LOG(Failure, "invalid server address %s, port %d", server_address_.c_str(), server_port_);
    return false;
  }
  server_endpoint_.address = address;
  server_endpoint_.port = static_cast<uint16_t>(server_port_);

  // Each failed socket step logs its own text with the socket error and
  // gives up the connection attempt.
  if (!socket_.Open()) {
    BASEKIT_LOG(Progress, "failed create socket1 %d", tftp::LastSocketError());
    return failConnect();
  }
  // Connecting fails while the system has no route to the server (the
  // adapter may not carry its new address yet), and names the local
  // address the packets will leave from.
  if (!socket_.Connect(server_endpoint_)) {
    BASEKIT_LOG(Progress, "failed connect to server %d", tftp::LastSocketError());
    return failConnect();
  }
  tftp::Endpoint local;
  if (!socket_.GetLocalEndpoint(&local)) {
    BASEKIT_LOG(Progress, "failed getsockname %d", tftp::LastSocketError());
    return failConnect();
  }
  // Connected, the socket would only hear the well-known port, and the
  // server answers from a port of its own choosing.
  if (!socket_.Disconnect()) {
    BASEKIT_LOG(Failure, "failed to disconnect socket1 %d", tftp::LastSocketError());
    return failConnect();
  }
  BASEKIT_LOG(Progress, "connect to server success");
  BASEKIT_LOG(Progress, "local address %s", tftp::FormatAddress(local.address).c_str());
  return true;
}

bool TftpClient::sendBuffer(const char* data, int32_t length) {
  result_ = TftpUploadResult();
  if (data == nullptr || length <= 0) {
    BASEKIT_LOG(Failure, "upload refused: no firmware data (%ld bytes)", static_cast<long>(length));
    return false;
  }
  if (!isConnected()) {
    BASEKIT_LOG(Failure, "upload refused: not connected");
    return false;
  }
  server_tid_known_ = false;
  early_kinds_logged_ = 0;
  timer_ = tftp::RetransmitTimer(kMinReplyTimeoutMs, reply_timeout_ms_);
  statistics_ = Statistics();
  result_.total = static_cast<size_t>(length);

  // 1. The write request, to the server's well-known port; the server
  //    acknowledges it as block 0 from its transfer identifier.
  last_sent_.createWriteRequest();
  last_sent_.dumpData(*trace_);
  last_sent_is_request_ = true;
  sendLastPacket();
  if (!waitForAck(1)) {
    BASEKIT_LOG(Failure, "upload failed: write request not accepted");
    return false;
  }

  // 2. The blocks, each acknowledged before the next goes out. The last one
  //    is short; a length that is a multiple of the block size ends with an
  //    empty block so that the server knows the file is complete.
  last_sent_is_request_ = false;
  const size_t total = static_cast<size_t>(length);
  size_t offset = 0;
  uint32_t block = 0;
  for (;;) {
    ++block;
    size_t remaining = total - offset;
    size_t chunk = remaining < kBlockSize ? remaining : kBlockSize;
    last_sent_.createData(block, data + offset, chunk);
    sendLastPacket();
    if (!waitForAck(block + 1)) {
      const bool last = chunk < kBlockSize;
      if (last && result_.outcome == TftpOutcome::kNoReply) {
        // The server may have stored the whole file and its last ACK been
        // lost, or the block never reached it: nobody can tell from here.
        result_.outcome = TftpOutcome::kLastBlockUnconfirmed;
        BASEKIT_LOG(Failure, "last block sent, its acknowledgement never came (%lu of %lu bytes acknowledged)",
                    static_cast<unsigned long>(offset), static_cast<unsigned long>(total));
        return false;
      }
      BASEKIT_LOG(Failure, "upload failed at block %u (%lu of %lu bytes acknowledged)", block,
                  static_cast<unsigned long>(offset), static_cast<unsigned long>(total));
      return false;
    }
    offset += chunk;
    result_.acknowledged = offset;
    if (progress_) {
      progress_(offset, total);
    }
    if (chunk < kBlockSize) {
      break;
    }
  }
  BASEKIT_LOG(Progress, "upload complete: %lu bytes in %u blocks acknowledged, %u sent again",
              static_cast<unsigned long>(total), block, statistics_.retransmissions);
  result_.outcome = TftpOutcome::kDelivered;
  return true;
}

std::string TftpClient::describeLastPacket(uint32_t block) const {
  return last_sent_is_request_ ? std::string("the write request")
                               : basekit::FormatString("block %u", static_cast<unsigned>(block));
}

void TftpClient::sendLastPacket() {
  last_sent_at_ = Clock::now();
  const tftp::Endpoint& to = last_sent_is_request_ ? server_endpoint_ : server_tid_;
  const bool sent = socket_.SendTo(last_sent_.getData(), static_cast<size_t>(last_sent_.getSize()), to);
  // A lost send is handled like a lost packet: the wait times out and the
  // packet goes again.
  if (!sent) {
    BASEKIT_LOG(Failure, "failed to send %s %d", last_sent_is_request_ ? "the write request" : "a data block",
                tftp::LastSocketError());
  }
}

std::chrono::milliseconds TftpClient::waitAfterSend(int send) const {
  if (send <= kQuickSends) {
    return timer_.timeout();
  }
  return std::chrono::milliseconds(reply_timeout_ms_) * kQuietWaitTimeouts;
}

bool TftpClient::waitForAck(uint32_t expected) {
  const uint32_t block = expected - 1;  // the packet just sent
  const Clock::time_point first_sent_at = last_sent_at_;
  const Clock::time_point give_up_at = first_sent_at + std::chrono::milliseconds(reply_timeout_ms_) * kPatienceTimeouts;
  for (int send = 1;; ++send) {
    const std::chrono::milliseconds wait = waitAfterSend(send);
    const Clock::time_point deadline = std::min(last_sent_at_ + wait, give_up_at);
    switch (awaitAck(expected, deadline)) {
      case ReplyOutcome::kAcknowledged:
        // Karn's rule: a packet that went out more than once gives no round
        // trip, since the reply may answer any of its copies.
        if (send == 1) {
          auto round_trip = std::chrono::duration_cast<std::chrono::microseconds>(last_received_at_ - first_sent_at);
          timer_.addSample(round_trip);
          ++statistics_.rtt_samples;
          statistics_.max_rtt_us = std::max<int64_t>(statistics_.max_rtt_us, round_trip.count());
        }
        statistics_.reply_timeout_ms = static_cast<int>(timer_.timeout().count());
        return true;
      case ReplyOutcome::kFailed:
        return false;
      case ReplyOutcome::kTimedOut:
        break;
    }
    // Decided by the deadline, not by the clock: a wait can end a fraction
    // of a millisecond early, and that must not buy one more send.
    if (deadline == give_up_at) {
      auto silent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - first_sent_at);
      BASEKIT_LOG(Failure, "no reply from server for %s after %d attempts (%ld ms)", describeLastPacket(block).c_str(),
                  send, static_cast<long>(silent.count()));
      result_.outcome = last_sent_is_request_ ? TftpOutcome::kRequestUnanswered : TftpOutcome::kNoReply;
      return false;
    }
    timer_.backOff();
    BASEKIT_LOG(Progress, "no reply within %ld ms, sending %s again (attempt %d)", static_cast<long>(wait.count()),
                describeLastPacket(block).c_str(), send + 1);
    ++statistics_.retransmissions;
    sendLastPacket();
    if (last_sent_is_request_ && request_retry_) {
      request_retry_(send + 1);
    }
    if (send == kQuickSends) {
      ++statistics_.quiet_waits;
      BASEKIT_LOG(Progress, "%s unanswered %d times: waiting %ld ms in silence for the server's own resend",
                  describeLastPacket(block).c_str(), send, static_cast<long>(waitAfterSend(send + 1).count()));
    }
  }
}

// Waits until deadline for the acknowledgement of block expected - 1.
// Datagrams that do not count (stale ACKs, foreign sources, malformed or
// unexpected packets) neither extend the wait nor, however fast they keep
// coming, hold it open past the deadline.
TftpClient::ReplyOutcome TftpClient::awaitAck(uint32_t expected, Clock::time_point deadline) {
  const uint16_t block = static_cast<uint16_t>((expected - 1) & 0xFFFF);
  const unsigned shown = static_cast<unsigned>(expected);
  for (;;) {
    TftpPacket packet;
    switch (waitForPacket(packet, deadline)) {
      case WaitTimeout:
        trace_->Print("We have an error in waitForPacket()\n");
        return ReplyOutcome::kTimedOut;
      case WaitSelectError:
        trace_->Print("Unhandled packet\n");
        BASEKIT_LOG(Failure, "waiting for a reply failed %d", last_wait_error_);
        result_.outcome = TftpOutcome::kWaitFailed;
        return ReplyOutcome::kFailed;
      case WaitReceiveError:
        // Typically an ICMP error for an earlier send (Windows reports a
        // closed port this way). It answers nothing, so it ends the wait
        // like a lost reply, but only at the wait's deadline: errors that
        // keep coming must neither spin nor become a stream of resends.
        trace_->Print("Unhandled packet\n");
        BASEKIT_LOG(Failure, "receiving a reply failed %d", last_wait_error_);
        std::this_thread::sleep_until(deadline);
        return ReplyOutcome::kTimedOut;
      case WaitClosed:
      case WaitPacket:
        break;
    }
    const TftpReply reply = packet.decodeReply();
    if (!server_tid_known_) {
      const EarlyDatagram early = ClassifyEarly(reply, reply_address_, server_endpoint_.address);
      if (early != EarlyDatagram::kFixesTransferId) {
        ignoreEarly(static_cast<unsigned>(early), DescribeEarly(early), packet.getSize());
        continue;
      }
      server_tid_ = reply_address_;
      server_tid_known_ = true;
    }
    if (reply.kind == TftpReply::Kind::kMalformed) {
      trace_->Print("Unhandled packet\n");
      BASEKIT_LOG(Failure, "malformed datagram of %d bytes from %s ignored", packet.getSize(),
                  tftp::FormatEndpoint(reply_address_).c_str());
      continue;
    }
    if (!(reply_address_ == server_tid_)) {
      rejectForeignSource(reply_address_, reply);
      continue;
    }
    switch (reply.kind) {
      case TftpReply::Kind::kError:
        trace_->Print("ACK expected, but got Error\n");
        BASEKIT_LOG(Failure, "server ended the upload with error %u (%s)%s%s", *reply.error_code,
                    ErrorCodeText(*reply.error_code), reply.error_text ? ": " : "",
                    reply.error_text ? Printable(*reply.error_text).c_str() : "");
        result_.outcome = TftpOutcome::kServerError;
        result_.error_code = *reply.error_code;
        result_.error_text = reply.error_text ? Printable(*reply.error_text) : std::string();
        reportError(packet);
        return ReplyOutcome::kFailed;
      case TftpReply::Kind::kAck:
        trace_->Print("ACK for packet %u(expected: %u)\n", *reply.block, shown);
        if (*reply.block == block) {
          return ReplyOutcome::kAcknowledged;
        }
        ++statistics_.ignored_acks;  // older or duplicate: nothing to do
        break;
      case TftpReply::Kind::kData:
        trace_->Print("DATAK for packet %u(expected: %u)\n", *reply.block, shown);
        break;
      case TftpReply::Kind::kOther:
      case TftpReply::Kind::kMalformed:
        trace_->Print("Unhandled packet\n");
        break;
    }
  }
}

// Each kind of early datagram is logged once per upload: a stream of them
// must not fill the log.
void TftpClient::ignoreEarly(unsigned kind, const char* what, int size) {
  const std::string from = tftp::FormatEndpoint(reply_address_);
  trace_->Print("Packet before the transfer ID from %s ignored\n", from.c_str());
  const unsigned bit = 1u << kind;
  if (early_kinds_logged_ & bit) {
    return;
  }
  early_kinds_logged_ |= bit;
  BASEKIT_LOG(Failure, "%s (%d bytes) from %s before the server's answer ignored; no more of this kind are logged",
              what, size, from.c_str());
}

// Once the transfer identifier is known, RFC 1350 answers a stranger with
// ERROR 5; an ERROR is never answered, so
// that two parties that each take the other for a stranger cannot keep
// answering each other.
void TftpClient::rejectForeignSource(const tftp::Endpoint& source, const TftpReply& reply) {
  const std::string from = tftp::FormatEndpoint(source);
  trace_->Print("Packet from unknown transfer ID %s\n", from.c_str());
  if (reply.kind == TftpReply::Kind::kError) {
    BASEKIT_LOG(Failure, "error %u from unknown transfer ID %s ignored", *reply.error_code, from.c_str());
    return;
  }
  BASEKIT_LOG(Failure, "datagram from unknown transfer ID %s ignored", from.c_str());
  TftpPacket error;
  error.createError(kErrorUnknownTransferId, ErrorCodeText(kErrorUnknownTransferId));
  if (!socket_.SendTo(error.getData(), static_cast<size_t>(error.getSize()), source)) {
    BASEKIT_LOG(Failure, "failed to send unknown transfer ID error %d", tftp::LastSocketError());
  }
}

TftpClient::WaitResult TftpClient::waitForPacket(TftpPacket& packet) {
  return waitForPacket(packet, Clock::now() + std::chrono::milliseconds(reply_timeout_ms_));
}

TftpClient::WaitResult TftpClient::waitForPacket(TftpPacket& packet, Clock::time_point deadline) {
  packet.clear();
  for (bool readable = false; !readable;) {
    // Rounded up, and waited again when the platform's wait ends a fraction
    // early: a time-out a little before the deadline would cost a resend.
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      trace_->Print("Timeout\n");
      return WaitTimeout;
    }
    switch (socket_.WaitReadable(static_cast<int>(left.count()))) {
      case tftp::UdpSocket::WaitResult::kError:
        last_wait_error_ = tftp::LastSocketError();
        trace_->Print("Error in select(), no: %d\n", last_wait_error_);
        return WaitSelectError;
      case tftp::UdpSocket::WaitResult::kTimeout:
        break;
      case tftp::UdpSocket::WaitResult::kReadable:
        readable = true;
        break;
    }
  }
  int received = socket_.ReceiveFrom(packet.getBuffer(), TftpPacket::kCapacity, &reply_address_);
  last_received_at_ = Clock::now();
  if (received == 0) {
    trace_->Print("Connection was closed by server\n");
    return WaitClosed;
  }
  if (received < 0) {
    last_wait_error_ = tftp::LastSocketError();
    trace_->Print("recv() error in waitForPackage()\n");
    return WaitReceiveError;
  }
  packet.setSize(received);
  return WaitPacket;
}

void TftpClient::reportError(const TftpPacket& packet) {
  trace_->Print("Error! Error code: %u\n", packet.getErrorCode());
  trace_->Print("Error message: %s\n", ErrorCodeText(packet.getErrorCode()));
  socket_.Close();
}
