// The upload step through the real TFTP client, against a small TFTP server
// of the test's own on loopback.

#include "repair/tftp_upload.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "fake_system.h"
#include "repair/repair_service.h"
#include "tftp/udp_socket.h"

namespace repair {
namespace {

using fakes::FakeSystem;

constexpr uint32_t kLoopback = 0x7F000001;

// Accepts one write request and acknowledges every block from a port of its
// own, like the box. Records the file it received.
class LoopbackTftpServer {
 public:
  LoopbackTftpServer() {
    tftp::StartSocketLibrary();
    ok_ = listen_.Open() && listen_.Bind({kLoopback, 0}) && listen_.GetLocalEndpoint(&endpoint_);
    if (ok_) worker_ = std::thread([this] { Serve(); });
  }
  ~LoopbackTftpServer() {
    Finish();
    listen_.Close();
    tftp::StopSocketLibrary();
  }

  // Waits for the transfer to end (it ends by itself after the last block).
  void Finish() {
    if (worker_.joinable()) worker_.join();
  }

  bool ok() const { return ok_; }
  int port() const { return endpoint_.port; }
  // Valid after Finish.
  const std::vector<uint8_t>& received() const { return received_; }
  bool request_seen() const { return request_seen_; }

 private:
  static void SendAck(tftp::UdpSocket& socket, uint16_t block, const tftp::Endpoint& to) {
    const uint8_t ack[4] = {0, 4, static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(block)};
    socket.SendTo(ack, sizeof(ack), to);
  }

  bool Receive(tftp::UdpSocket& socket, uint8_t* buffer, int* length, tftp::Endpoint* from) {
    for (int waited = 0; waited < 50; ++waited) {  // 5 s at most
      if (socket.WaitReadable(100) != tftp::UdpSocket::WaitResult::kReadable) continue;
      *length = socket.ReceiveFrom(buffer, 1024, from);
      return *length >= 4;
    }
    return false;
  }

  void Serve() {
    uint8_t buffer[1024];
    int length = 0;
    tftp::Endpoint client;
    if (!Receive(listen_, buffer, &length, &client) || buffer[1] != 2) return;
    request_seen_ = std::memcmp(buffer + 2, "rorod_oze_firmware_v1.5.2.bin\0octet\0", 36) == 0;
    tftp::UdpSocket transfer;
    if (!transfer.Open() || !transfer.Bind({kLoopback, 0})) return;
    SendAck(transfer, 0, client);
    uint16_t expected = 1;
    while (Receive(transfer, buffer, &length, &client)) {
      if (buffer[1] != 3) continue;
      uint16_t block = static_cast<uint16_t>(buffer[2] << 8 | buffer[3]);
      if (block == expected) {
        received_.insert(received_.end(), buffer + 4, buffer + length);
        ++expected;
      }
      SendAck(transfer, block, client);
      if (length < 4 + 512) return;
    }
  }

  tftp::UdpSocket listen_;
  tftp::Endpoint endpoint_;
  bool ok_ = false;
  std::thread worker_;
  std::vector<uint8_t> received_;
  bool request_seen_ = false;
};

TEST(TftpUpload, FirmwareReachesTheServerUnchanged) {
  LoopbackTftpServer server;
  ASSERT_TRUE(server.ok());
  FakeSystem system;
  system.firmware.image.resize(512 * 3 + 17);
  for (size_t i = 0; i < system.firmware.image.size(); ++i) {
    system.firmware.image[i] = static_cast<uint8_t>(i * 31 + 7);
  }
  TftpClientSessionFactory tftp("127.0.0.1", server.port(), 1000);
  RepairPlatform platform = system.platform();
  platform.tftp = &tftp;
  RepairService service(platform);
  std::vector<int32_t> results;
  struct Sink {
    std::vector<int32_t>* results;
    void On(ServiceCallbackParam* p) { results->push_back(static_cast<RepairServiceCallbackParam*>(p)->result); }
  } sink{&results};
  service.RegisterCallback(kRepairCallbackStepFinished, basekit::BindMethod(&Sink::On, &sink));

  service.UploadFirmware();
  server.Finish();

  EXPECT_EQ(results, std::vector<int32_t>{1});
  EXPECT_TRUE(server.request_seen());
  EXPECT_EQ(server.received(), system.firmware.image);
  EXPECT_TRUE(system.sleeper.sleeps.empty());
}

}  // namespace
}  // namespace repair
