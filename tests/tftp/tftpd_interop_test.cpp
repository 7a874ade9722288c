// Uploads to a real TFTP server (Debian's tftpd-hpa, in.tftpd) started on a
// free loopback port with a private root folder.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tftp/tftp_client.h"
#include "tests/tftp/tftp_test_support.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
constexpr const char* kTftpd = "/usr/sbin/in.tftpd";

// A port that was free a moment ago (the race with other programs is small
// and shows as a failed bind in the server's start-up wait).
int FreeLoopbackPort() {
  tftp::UdpSocket probe;
  tftp::Endpoint local{0x7F000001, 0};
  if (!probe.Open() || !probe.Bind(local) || !probe.GetLocalEndpoint(&local)) {
    return 0;
  }
  return local.port;
}

// True once a UDP socket is bound to 127.0.0.1:port (/proc/net/udp lists
// "0100007F:PORT" in hexadecimal).
bool LoopbackPortBound(int port) {
  char needle[32];
  std::snprintf(needle, sizeof(needle), "0100007F:%04X", port);
  std::ifstream table("/proc/net/udp");
  std::string line;
  while (std::getline(table, line)) {
    if (line.find(needle) != std::string::npos) {
      return true;
    }
  }
  return false;
}

std::vector<char> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class TftpdInteropTest : public testing::Test {
 protected:
  void SetUp() override {
    if (access(kTftpd, X_OK) != 0) {
      GTEST_SKIP() << kTftpd << " is not installed (Debian package tftpd-hpa)";
    }
    tftp_test::UseTemporaryLog();
    root_ = tftp_test::MakeTemporaryFolder("tftpd_root");
    ASSERT_EQ(chmod(root_.c_str(), 01777), 0);
    port_ = FreeLoopbackPort();
    ASSERT_NE(port_, 0);

    // As root the server chroots into the folder (-s) and runs as nobody;
    // otherwise it keeps the current user and serves the folder by path.
    std::string address = "127.0.0.1:" + std::to_string(port_);
    std::vector<std::string> args = {kTftpd, "-L", "-c", "-a", address};
    if (geteuid() == 0) {
      args.insert(args.begin() + 3, "-s");
    } else {
      args.insert(args.end(), {"-u", std::to_string(geteuid())});
    }
    args.push_back(root_);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ASSERT_EQ(posix_spawn(&pid_, kTftpd, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    for (int i = 0; i < 200 && !LoopbackPortBound(port_); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(LoopbackPortBound(port_)) << "in.tftpd did not bind " << address;
  }

  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (!root_.empty()) {
      std::error_code error;
      fs::remove_all(root_, error);
    }
  }

  // The received file once it has reached `length` bytes (or after 3 s).
  std::vector<char> ReceivedFile(size_t length) {
    std::string path = root_ + "/" + TftpPacket::kFirmwareFileName;
    for (int i = 0; i < 300; ++i) {
      std::error_code error;
      if (fs::exists(path, error) && fs::file_size(path, error) >= length) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ReadFile(path);
  }

  // Uploads an image of `length` bytes and checks what the server stored.
  void UploadAndCompare(size_t length) {
    std::vector<char> image = tftp_test::MakeImage(length, 7);
    testing::internal::CaptureStdout();
    auto begin = std::chrono::steady_clock::now();
    bool connected = false;
    bool sent = false;
    {
      TftpClient client("127.0.0.1", port_, 1000);
      connected = client.connectToServer();
      sent = connected && client.sendBuffer(image.data(), image.size());
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(connected);
    EXPECT_TRUE(sent);
    std::vector<char> received = ReceivedFile(length);
    EXPECT_EQ(received.size(), image.size());
    EXPECT_TRUE(received == image);
    RecordProperty("upload_ms", static_cast<int>(seconds * 1000));
  }

  std::string root_;
  int port_ = 0;
  pid_t pid_ = -1;
};

TEST_F(TftpdInteropTest, FirmwareImageArrivesIdentical) { UploadAndCompare(5628964); }

// A multiple of the block size is only complete with the closing empty block.
TEST_F(TftpdInteropTest, BlockMultipleArrivesIdentical) { UploadAndCompare(2048); }

}  // namespace
