#include "tests/tftp/scripted_tftp_server.h"

#include <cstring>
#include <thread>

namespace {

constexpr int kSliceMs = 10;

uint16_t Word(const std::vector<uint8_t>& d, size_t at) {
  return d.size() >= at + 2 ? static_cast<uint16_t>((d[at] << 8) | d[at + 1]) : 0;
}

bool Receive(tftp::UdpSocket& socket, int timeout_ms, std::vector<uint8_t>* datagram, tftp::Endpoint* from) {
  if (socket.WaitReadable(timeout_ms) != tftp::UdpSocket::WaitResult::kReadable) {
    return false;
  }
  uint8_t buffer[2048];
  int n = socket.ReceiveFrom(buffer, sizeof(buffer), from);
  if (n < 0) {
    return false;
  }
  datagram->assign(buffer, buffer + n);
  return true;
}

bool OpenBound(tftp::UdpSocket& socket, uint32_t address, uint16_t port = 0) {
  tftp::Endpoint local{address, port};
  return socket.Open() && socket.Bind(local);
}

}  // namespace

std::vector<uint8_t> ScriptedTftpServer::Ack(uint16_t block) {
  return {0, 4, static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(block & 0xFF)};
}

std::vector<uint8_t> ScriptedTftpServer::Error(uint16_t code, const char* message) {
  std::vector<uint8_t> bytes = {0, 5, static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code & 0xFF)};
  bytes.insert(bytes.end(), message, message + std::strlen(message) + 1);
  return bytes;
}

ScriptedTftpServer::ScriptedTftpServer(const char* intruder_address)
    : ScriptedTftpServer("127.0.0.1", 0, intruder_address) {}

ScriptedTftpServer::ScriptedTftpServer(const char* listen_address, int listen_port, const char* intruder_address) {
  library_started_ = tftp::StartSocketLibrary();
  uint32_t listen = 0;
  uint32_t intruder = 0;
  tftp::Endpoint local;
  ready_ = library_started_ && tftp::ParseIpv4Address(listen_address, &listen) &&
           tftp::ParseIpv4Address(intruder_address, &intruder) && listen_port >= 0 && listen_port <= 0xFFFF &&
           OpenBound(listener_, listen, static_cast<uint16_t>(listen_port)) && OpenBound(transfer_, listen) &&
           OpenBound(intruder_, intruder) && listener_.GetLocalEndpoint(&local);
  listen_port_ = local.port;
  request_script_ = [](int) { return Action{false, {FromServer(Ack(0))}}; };
  data_script_ = [](uint16_t block, int) { return Action{false, {FromServer(Ack(block))}}; };
}

ScriptedTftpServer::~ScriptedTftpServer() {
  stop();
  listener_.Close();
  transfer_.Close();
  intruder_.Close();
  if (library_started_) {
    tftp::StopSocketLibrary();
  }
}

void ScriptedTftpServer::start() {
  thread_ = std::thread([this] { run(); });
}

void ScriptedTftpServer::stop() {
  stop_ = true;
  if (thread_.joinable()) {
    thread_.join();
  }
}

int ScriptedTftpServer::arrivals(uint16_t block) const { return static_cast<int>(arrivalTimes(block).size()); }

std::vector<std::chrono::steady_clock::time_point> ScriptedTftpServer::arrivalTimes(uint16_t block) const {
  auto it = arrivals_.find(block);
  return it == arrivals_.end() ? std::vector<std::chrono::steady_clock::time_point>() : it->second;
}

void ScriptedTftpServer::run() {
  std::vector<uint8_t> datagram;
  tftp::Endpoint from;
  while (!stop_) {
    // Requests (and their retransmissions) reach the listening port; the
    // transfer itself runs on the transfer socket, or on the listening one.
    if (reply_from_listener_) {
      if (Receive(listener_, kSliceMs, &datagram, &from)) {
        if (Word(datagram, 0) == 2 || !client_known_) {
          handleRequest(datagram, from);
        } else {
          handleData(datagram, from);
        }
      }
    } else {
      int listen_wait = client_known_ ? 0 : kSliceMs;
      if (Receive(listener_, listen_wait, &datagram, &from)) {
        handleRequest(datagram, from);
      }
      if (client_known_ && Receive(transfer_, kSliceMs, &datagram, &from)) {
        handleData(datagram, from);
      }
    }
    sendAfterSilenceIfDue();
    drainIntruder();
  }
  // What the client sent before it was done (a resend after a time-out on a
  // loaded machine, say) is counted, not left unread in the buffers.
  while (client_known_ && Receive(transferSocket(), 0, &datagram, &from)) {
    if (Word(datagram, 0) == 2) {
      handleRequest(datagram, from);
    } else {
      handleData(datagram, from);
    }
  }
  drainIntruder();
}

void ScriptedTftpServer::handleRequest(const std::vector<uint8_t>& datagram, const tftp::Endpoint& from) {
  ++request_count_;
  if (request_count_ == 1) {
    first_request_ = datagram;
  }
  if (Word(datagram, 0) != 2) {
    return;
  }
  Action action = request_script_(request_count_);
  noteClientDatagram(action);
  if (action.drop) {
    return;
  }
  if (action.pause_ms > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(action.pause_ms));
  }
  client_ = from;
  client_known_ = true;
  sendAll(action.replies);
}

void ScriptedTftpServer::handleData(const std::vector<uint8_t>& datagram, const tftp::Endpoint& from) {
  if (!(from == client_)) {
    ++foreign_source_;
    return;
  }
  if (Word(datagram, 0) != 3 || datagram.size() < 4) {
    return;
  }
  uint16_t block = Word(datagram, 2);
  ++total_data_arrivals_;
  auto& times = arrivals_[block];
  times.push_back(std::chrono::steady_clock::now());
  Action action = data_script_(block, static_cast<int>(times.size()));
  noteClientDatagram(action);
  if (action.drop) {
    return;
  }
  if (action.pause_ms > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(action.pause_ms));
  }
  if (block == next_block_ && !complete_) {
    file_.insert(file_.end(), datagram.begin() + 4, datagram.end());
    last_payload_size_ = datagram.size() - 4;
    ++blocks_accepted_;
    ++next_block_;
    if (last_payload_size_ < 512) {
      complete_ = true;
    }
  }
  sendAll(action.replies);
}

void ScriptedTftpServer::noteClientDatagram(const Action& action) {
  if (!action.after_silence.empty()) {
    after_silence_ = action.after_silence;
    silence_ = std::chrono::milliseconds(action.silence_ms);
  }
  silence_until_ = std::chrono::steady_clock::now() + silence_;
}

void ScriptedTftpServer::sendAfterSilenceIfDue() {
  if (after_silence_.empty() || std::chrono::steady_clock::now() < silence_until_) {
    return;
  }
  std::vector<Send> due;
  due.swap(after_silence_);
  sendAll(due);
}

void ScriptedTftpServer::sendAll(const std::vector<Send>& sends) {
  for (const Send& send : sends) {
    tftp::UdpSocket& socket = send.from == Send::kIntruder ? intruder_ : transferSocket();
    socket.SendTo(send.bytes.data(), send.bytes.size(), client_);
  }
}

void ScriptedTftpServer::drainIntruder() {
  std::vector<uint8_t> datagram;
  tftp::Endpoint from;
  while (Receive(intruder_, 0, &datagram, &from)) {
    intruder_received_.push_back(datagram);
  }
}
