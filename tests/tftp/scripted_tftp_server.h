#pragma once

// A TFTP write server on loopback, run on a thread of the test process, whose
// answers are scripted per test: it can stay silent, lose DATA blocks or
// ACKs, send duplicate, stale or foreign-source packets, end with an ERROR,
// answer from its well-known port instead of a transfer port of its own, or
// send something once the client has been silent for a while (a server's own
// re-send timer). It records what reached it so tests can check the traffic
// and the received file.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tftp/udp_socket.h"

class ScriptedTftpServer {
 public:
  // One datagram for the server to send to the client, from its transfer
  // socket or from the intruder (a socket the client has never heard of).
  struct Send {
    enum From { kTransfer, kIntruder };
    From from = kTransfer;
    std::vector<uint8_t> bytes;
  };
  struct Action {
    bool drop = false;  // behave as if the datagram never arrived
    std::vector<Send> replies;
    // Stall this long before the replies go out (a busy or slow box);
    // datagrams that arrive meanwhile wait in the socket.
    int pause_ms = 0;
    // Sent once no datagram from the client has arrived for silence_ms
    // (every arrival restarts that time); the next action that sets them
    // replaces them.
    std::vector<Send> after_silence{};
    int silence_ms = 0;
  };
  // arrival: 1 for the first time this request / block reaches the server.
  using RequestScript = std::function<Action(int arrival)>;
  using DataScript = std::function<Action(uint16_t block, int arrival)>;

  static std::vector<uint8_t> Ack(uint16_t block);
  static std::vector<uint8_t> Error(uint16_t code, const char* message);
  static Send FromServer(std::vector<uint8_t> bytes) { return {Send::kTransfer, std::move(bytes)}; }
  static Send FromIntruder(std::vector<uint8_t> bytes) { return {Send::kIntruder, std::move(bytes)}; }

  // intruder_address: where the intruder socket lives (127.0.0.1 unless a
  // test needs another loopback address).
  explicit ScriptedTftpServer(const char* intruder_address = "127.0.0.1");
  // Listens on listen_address:listen_port (0: any free port).
  ScriptedTftpServer(const char* listen_address, int listen_port, const char* intruder_address);
  ~ScriptedTftpServer();

  // By default the request is answered with ACK 0 and every block with its ACK.
  void setRequestScript(RequestScript script) { request_script_ = std::move(script); }
  void setDataScript(DataScript script) { data_script_ = std::move(script); }
  // Runs the transfer on the listening socket: every reply comes from the
  // well-known port, as small embedded servers do. Call before start().
  void setReplyFromListeningPort(bool on) { reply_from_listener_ = on; }

  bool ready() const { return ready_; }
  int port() const { return listen_port_; }
  void start();
  void stop();  // joins the thread; results are stable afterwards

  // Results (read after stop()).
  int requestCount() const { return request_count_; }
  const std::vector<uint8_t>& firstRequest() const { return first_request_; }
  const std::vector<char>& file() const { return file_; }
  bool complete() const { return complete_; }
  int blocksAccepted() const { return blocks_accepted_; }
  size_t lastPayloadSize() const { return last_payload_size_; }
  int arrivals(uint16_t block) const;
  // When each copy of the block was read, in order (late for copies that
  // waited out a pause).
  std::vector<std::chrono::steady_clock::time_point> arrivalTimes(uint16_t block) const;
  int totalDataArrivals() const { return total_data_arrivals_; }
  int foreignSourceDatagrams() const { return foreign_source_; }
  // Datagrams the client sent to the intruder.
  const std::vector<std::vector<uint8_t>>& intruderReceived() const { return intruder_received_; }

 private:
  void run();
  void handleRequest(const std::vector<uint8_t>& datagram, const tftp::Endpoint& from);
  void handleData(const std::vector<uint8_t>& datagram, const tftp::Endpoint& from);
  void sendAll(const std::vector<Send>& sends);
  void drainIntruder();
  // Arms (or, for an action without them, keeps) the sends after silence,
  // and restarts the silence; fires them when it has lasted.
  void noteClientDatagram(const Action& action);
  void sendAfterSilenceIfDue();
  tftp::UdpSocket& transferSocket() { return reply_from_listener_ ? listener_ : transfer_; }

  tftp::UdpSocket listener_;
  tftp::UdpSocket transfer_;
  tftp::UdpSocket intruder_;
  bool ready_ = false;
  bool library_started_ = false;
  int listen_port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  bool reply_from_listener_ = false;
  std::vector<Send> after_silence_;
  std::chrono::milliseconds silence_{0};
  std::chrono::steady_clock::time_point silence_until_;

  RequestScript request_script_;
  DataScript data_script_;

  tftp::Endpoint client_;
  bool client_known_ = false;
  int request_count_ = 0;
  std::vector<uint8_t> first_request_;
  std::vector<char> file_;
  bool complete_ = false;
  uint16_t next_block_ = 1;
  int blocks_accepted_ = 0;
  size_t last_payload_size_ = 0;
  std::map<uint16_t, std::vector<std::chrono::steady_clock::time_point>> arrivals_;
  int total_data_arrivals_ = 0;
  int foreign_source_ = 0;
  std::vector<std::vector<uint8_t>> intruder_received_;
};
