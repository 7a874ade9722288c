#include "tftp/tftp_client.h"

#include <chrono>
#include <cstdio>
#include <utility>

#include "basekit/log/log.h"
#include "basekit/strings/format.h"

namespace {

constexpr const char* kLogSource = "tftp_client";
constexpr uint32_t kLevelFailure = 6;
constexpr uint32_t kLevelProgress = 12;
constexpr uint16_t kErrorUnknownTransferId = 5;

const char* ErrorCodeText(uint16_t code) {
  switch (code) {
    case 1: return "File not found";
    case 2: return "Access violation";
    case 3: return "Disk full or allocation exceeded";
    case 4: return "Illegal TFTP operation";
    case 5: return "Unknown transfer ID";
    case 6: return "File already exists";
    case 7: return "No such user";
    default: return "Not defined, see error message (if any)";
  }
}

}  // namespace

TftpClient::TftpClient() : TftpClient(kServerAddress, kServerPort, kReplyTimeoutMs) {}

TftpClient::TftpClient(const char* server_address, int server_port, int reply_timeout_ms)
    : server_address_(server_address != nullptr ? server_address : ""),
      server_port_(server_port),
      reply_timeout_ms_(reply_timeout_ms > 0 ? reply_timeout_ms : kReplyTimeoutMs) {
  if (!tftp::StartSocketLibrary()) {
    throw ETFTPSocketInitialize();
  }
  library_started_ = true;
}

TftpClient::~TftpClient() {
  closeSockets();
  if (library_started_) {
    tftp::StopSocketLibrary();
  }
}

void TftpClient::closeSockets() {
  control_.Close();
  transfer_.Close();
}

void TftpClient::failConnect() { closeSockets(); }

bool TftpClient::connectToServer() {
  basekit::LogPrintf(kLevelProgress, kLogSource, __LINE__, "connectting to server %s, port %d",
                     server_address_.c_str(), server_port_);
  closeSockets();
  server_tid_known_ = false;

  uint32_t address = 0;
  if (!tftp::ParseIpv4Address(server_address_.c_str(), &address) || server_port_ <= 0 ||
      server_port_ > 0xFFFF) {
    basekit::LogPrintf(kLevelFailure, kLogSource, __LINE__, "invalid server address %s, port %d",
                       server_address_.c_str(), server_port_);
    return false;
  }
  server_endpoint_.address = address;
  server_endpoint_.port = static_cast<uint16_t>(server_port_);

  // Each failed socket step logs its own text with the socket error and
  // gives up the connection attempt.
  auto failSocketStep = [this](uint32_t level, int line, const char* what) {
    basekit::LogPrintf(level, kLogSource, line, "%s %d", what, tftp::LastSocketError());
    failConnect();
    return false;
  };
  if (!control_.Open()) return failSocketStep(kLevelProgress, __LINE__, "failed create socket1");
  // The transfer socket shares the control socket's local port; both must
  // allow that before the control socket gets its port from connect.
  if (!control_.SetReuseAddress())
    return failSocketStep(kLevelFailure, __LINE__, "failed to share socket1 address");
  if (!control_.Connect(server_endpoint_))
    return failSocketStep(kLevelProgress, __LINE__, "failed connect to server");
  tftp::Endpoint local;
  if (!control_.GetLocalEndpoint(&local))
    return failSocketStep(kLevelProgress, __LINE__, "failed getsockname");
  if (!transfer_.Open())
    return failSocketStep(kLevelProgress, __LINE__, "failed to create socket2");
  if (!transfer_.SetReuseAddress())
    return failSocketStep(kLevelFailure, __LINE__, "failed to share socket2 address");
  if (!transfer_.Bind(local))
    return failSocketStep(kLevelProgress, __LINE__, "failed to bind local socket");
  basekit::LogPrintf(kLevelProgress, kLogSource, __LINE__, "connect to server success");
  return true;
}

bool TftpClient::sendBuffer(const char* data, int32_t length) {
  if (data == nullptr || length <= 0) {
    basekit::LogPrintf(kLevelFailure, kLogSource, __LINE__,
                       "upload refused: no firmware data (%ld bytes)", static_cast<long>(length));
    return false;
  }
  if (!isConnected()) {
    basekit::LogPrintf(kLevelFailure, kLogSource, __LINE__, "upload refused: not connected");
    return false;
  }
  server_tid_known_ = false;

  // 1. The write request, on the control socket to the server's port; the
  //    server acknowledges it as block 0 from its transfer identifier.
  last_sent_.createWriteRequest();
  last_sent_.dumpData();
  last_sent_is_request_ = true;
  sendLastPacket();
  if (!waitForAck(1)) {
    basekit::LogPrintf(kLevelFailure, kLogSource, __LINE__,
                       "upload failed: write request not accepted");
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
      basekit::LogPrintf(kLevelFailure, kLogSource, __LINE__,
                         "upload failed at block %u (%lu of %lu bytes acknowledged)", block,
                         static_cast<unsigned long>(offset), static_cast<unsigned long>(total));
      return false;
    }
    offset += chunk;
    if (progress_) {
      progress_(offset, total);
    }
    if (chunk < kBlockSize) {
      break;
    }
  }
  basekit::LogPrintf(kLevelProgress, kLogSource, __LINE__,
                     "upload complete: %lu bytes in %u blocks acknowledged",
                     static_cast<unsigned long>(total), block);
  return true;
}

std::string TftpClient::describeLastPacket(uint32_t block) const {
  return last_sent_is_request_ ? std::string("the write request")
                               : basekit::FormatString("block %u", static_cast<unsigned>(block));
}

void TftpClient::sendLastPacket() {
  bool sent;
  if (last_sent_is_request_) {
    sent = control_.Send(last_sent_.getData(), static_cast<size_t>(last_sent_.getSize()));
  } else {
    sent = transfer_.SendTo(last_sent_.getData(), static_cast<size_t>(last_sent_.getSize()),
                            server_tid_);
  }
  // A lost send is handled like a lost packet: the wait times out and the
  // packet goes again.
  if (!sent) {
    basekit::LogPrintf(kLevelFailure, kLogSource, __LINE__, "failed to send %s %d",
                       last_sent_is_request_ ? "the write request" : "a data block",
                       tftp::LastSocketError());
  }
}

bool TftpClient::waitForAck(uint32_t expected) {
  const uint32_t block = expected - 1;  // the packet just sent
  for (int attempt = 1;; ++attempt) {
    switch (awaitAck(expected)) {
      case ReplyOutcome::kAcknowledged:
        return true;
      case ReplyOutcome::kFailed:
        return false;
      case ReplyOutcome::kTimedOut:
        break;
    }
    if (attempt >= kMaxAttempts) {
      basekit::LogPrintf(kLevelFailure, kLogSource, __LINE__,
                         "no reply from server for %s after %d attempts",
                         describeLastPacket(block).c_str(), attempt);
      return false;
    }
    basekit::LogPrintf(kLevelProgress, kLogSource, __LINE__,
                       "no reply within %d ms, sending %s again (attempt %d of %d)",
                       reply_timeout_ms_, describeLastPacket(block).c_str(), attempt + 1,
                       kMaxAttempts);
    sendLastPacket();
  }
}

// One wait for the acknowledgement of block expected - 1, bounded by one
// reply time-out in all: datagrams that do not count (stale ACKs, foreign
// sources, unusable packets) neither extend it nor, however fast they keep
// coming, hold the wait open past its end.
TftpClient::ReplyOutcome TftpClient::awaitAck(uint32_t expected) {
  using Clock = std::chrono::steady_clock;
  const uint16_t block = static_cast<uint16_t>((expected - 1) & 0xFFFF);
  const unsigned shown = static_cast<unsigned>(expected);
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(reply_timeout_ms_);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    TftpPacket reply;
    WaitResult result;
    if (left.count() > 0) {
      result = waitForPacket(reply, static_cast<int>(left.count()));
    } else {
      std::printf("Timeout\n");
      result = WaitTimeout;
    }
    switch (result) {
      case WaitTimeout:
        std::printf("We have an error in waitForPacket()\n");
        return ReplyOutcome::kTimedOut;
      case WaitSelectError:
        // The zeroed packet reads as opcode 0.
        std::printf("Unhandled packet\n");
        std::fflush(stdout);
        basekit::LogPrintf(kLevelFailure, kLogSource, __LINE__, "waiting for a reply failed %d",
                           last_wait_error_);
        return ReplyOutcome::kFailed;
      case WaitReceiveError:
        std::printf("Unhandled packet\n");
        std::fflush(stdout);
        // Typically an ICMP error for an earlier send (the server's port is
        // gone): counted like a lost reply, so it costs one attempt.
        basekit::LogPrintf(kLevelFailure, kLogSource, __LINE__, "receiving a reply failed %d",
                           last_wait_error_);
        return ReplyOutcome::kTimedOut;
      case WaitClosed:
      case WaitPacket:
        break;
    }
    if (!acceptSource(reply_address_)) {
      continue;
    }
    switch (reply.getOpcode()) {
      case TftpPacket::kOpError:
        std::printf("ACK expected, but got Error\n");
        std::fflush(stdout);
        basekit::LogPrintf(kLevelFailure, kLogSource, __LINE__,
                           "server ended the upload with error %u (%s)", reply.getErrorCode(),
                           ErrorCodeText(reply.getErrorCode()));
        reportError(reply);
        return ReplyOutcome::kFailed;
      case TftpPacket::kOpAck:
        std::printf("ACK for packet %u(expected: %u)\n", reply.getBlockNumber(), shown);
        std::fflush(stdout);
        if (reply.getBlockNumber() == block) {
          return ReplyOutcome::kAcknowledged;
        }
        break;  // an older or duplicate acknowledgement: nothing to do
      case TftpPacket::kOpData:
        std::printf("DATAK for packet %u(expected: %u)\n", reply.getBlockNumber(), shown);
        std::fflush(stdout);
        break;
      default:
        std::printf("Unhandled packet\n");
        std::fflush(stdout);
        break;
    }
  }
}

// The first reply from the server's address fixes its transfer identifier;
// afterwards only that address and port are listened to.
bool TftpClient::acceptSource(const tftp::Endpoint& source) {
  if (server_tid_known_) {
    if (source == server_tid_) {
      return true;
    }
  } else if (source.address == server_endpoint_.address) {
    server_tid_ = source;
    server_tid_known_ = true;
    return true;
  }
  rejectForeignSource(source);
  return false;
}

void TftpClient::rejectForeignSource(const tftp::Endpoint& source) {
  basekit::LogPrintf(kLevelFailure, kLogSource, __LINE__,
                     "datagram from unknown transfer ID %s ignored",
                     tftp::FormatEndpoint(source).c_str());
  std::printf("Packet from unknown transfer ID %s\n", tftp::FormatEndpoint(source).c_str());
  std::fflush(stdout);
  TftpPacket error;
  error.createError(kErrorUnknownTransferId, ErrorCodeText(kErrorUnknownTransferId));
  if (!transfer_.SendTo(error.getData(), static_cast<size_t>(error.getSize()), source)) {
    basekit::LogPrintf(kLevelFailure, kLogSource, __LINE__,
                       "failed to send unknown transfer ID error %d", tftp::LastSocketError());
  }
}

TftpClient::WaitResult TftpClient::waitForPacket(TftpPacket& packet) {
  return waitForPacket(packet, reply_timeout_ms_);
}

TftpClient::WaitResult TftpClient::waitForPacket(TftpPacket& packet, int timeout_ms) {
  packet.clear();
  switch (transfer_.WaitReadable(timeout_ms)) {
    case tftp::UdpSocket::WaitResult::kError:
      last_wait_error_ = tftp::LastSocketError();
      std::printf("Error in select(), no: %d\n", last_wait_error_);
      std::fflush(stdout);
      return WaitSelectError;
    case tftp::UdpSocket::WaitResult::kTimeout:
      std::printf("Timeout\n");
      return WaitTimeout;
    case tftp::UdpSocket::WaitResult::kReadable:
      break;
  }
  int received = transfer_.ReceiveFrom(packet.getBuffer(), TftpPacket::kCapacity, &reply_address_);
  if (received == 0) {
    std::printf("Connection was closed by server\n");
    return WaitClosed;
  }
  if (received < 0) {
    last_wait_error_ = tftp::LastSocketError();
    std::printf("recv() error in waitForPackage()\n");
    return WaitReceiveError;
  }
  packet.setSize(received);
  return WaitPacket;
}

void TftpClient::reportError(const TftpPacket& packet) {
  std::printf("Error! Error code: %u\n", packet.getErrorCode());
  std::fflush(stdout);
  std::printf("Error message: %s\n", ErrorCodeText(packet.getErrorCode()));
  std::fflush(stdout);
  closeSockets();
}
