#include "tftp/tftp_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/tftp/scripted_tftp_server.h"
#include "tests/tftp/tftp_test_support.h"

namespace {

using testing::HasSubstr;
using testing::Not;
using Action = ScriptedTftpServer::Action;
using Server = ScriptedTftpServer;

// Long enough that nothing times out on a loaded machine where the script
// expects no retransmission; short where it does.
constexpr int kPatientMs = 2000;
constexpr int kQuickMs = 150;

struct UploadRun {
  bool result = false;
  std::string trace;  // the client's packet trace
  std::string log;    // log lines written during the upload
  double seconds = 0;
  TftpClient::Statistics statistics;
  TftpUploadResult outcome;
};

class TftpClientTest : public testing::Test {
 protected:
  void SetUp() override { tftp_test::UseTemporaryLog(); }

  // Connects a client to the server, uploads image and stops the server.
  UploadRun Upload(Server& server, const std::vector<char>& image, int timeout_ms,
                   TftpClient::ProgressObserver progress = nullptr) {
    UploadRun run;
    EXPECT_TRUE(server.ready());
    server.start();
    size_t log_start = tftp_test::LogSize();
    tftp_test::RecordingTrace trace;
    auto begin = std::chrono::steady_clock::now();
    {
      TftpClient client("127.0.0.1", server.port(), timeout_ms);
      client.setProgressObserver(std::move(progress));
      client.setTraceSink(&trace);
      EXPECT_TRUE(client.connectToServer());
      run.result = client.sendBuffer(image.empty() ? nullptr : image.data(), image.size());
      run.statistics = client.statistics();
      run.outcome = client.lastResult();
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    run.trace = trace.text();
    server.stop();
    run.log = tftp_test::ReadLogFrom(log_start);
    return run;
  }
};

// Copies that reached the server beyond one per block and one request.
int SentAgain(const Server& server) {
  return server.totalDataArrivals() - server.blocksAccepted() + server.requestCount() - 1;
}

// Resends the client logged, each after a time-out. A loaded machine can
// hold a reply past the adaptive wait, so even a lossless exchange may see
// one; a resend without a time-out (on a stale or duplicate packet) is a
// fault.
int LoggedResends(const std::string& log) {
  int count = 0;
  for (size_t at = log.find(" again (attempt "); at != std::string::npos; at = log.find(" again (attempt ", at + 1)) {
    ++count;
  }
  return count;
}

const std::string kWriteRequest("\x00\x02rorod_oze_firmware_v1.5.2.bin\x00octet\x00", 38);

TEST_F(TftpClientTest, LengthsArriveByteExactWithAClosingShortBlock) {
#if defined(_WIN32)
  // Under Wine the full image costs some 13 s of socket calls through the
  // wineserver; the native build uploads it here and to in.tftpd.
  const size_t lengths[] = {1, 511, 512, 513, 1024, 20 * 512 + 36};
#else
  const size_t lengths[] = {1, 511, 512, 513, 1024, 5628964};
#endif
  for (size_t length : lengths) {
    SCOPED_TRACE(testing::Message() << "length " << length);
    Server server;
    std::vector<char> image = tftp_test::MakeImage(length, static_cast<unsigned>(length));
    UploadRun run = Upload(server, image, kPatientMs);
    EXPECT_TRUE(run.result);
    EXPECT_TRUE(run.outcome.delivered());
    EXPECT_EQ(run.outcome.acknowledged, length);
    EXPECT_TRUE(server.complete());
    EXPECT_TRUE(server.file() == image) << "received " << server.file().size() << " bytes";
    EXPECT_EQ(server.blocksAccepted(), static_cast<int>(length / 512 + 1));
    EXPECT_EQ(server.lastPayloadSize(), length % 512);
    EXPECT_EQ(SentAgain(server), LoggedResends(run.log)) << "resent without a time-out";
    EXPECT_EQ(server.requestCount(), 1);
    EXPECT_EQ(std::string(server.firstRequest().begin(), server.firstRequest().end()), kWriteRequest);
    EXPECT_THAT(run.trace, HasSubstr("Size: 38\n"));
    // The trace shows the next block to be sent as the expected one.
    EXPECT_THAT(run.trace, HasSubstr("ACK for packet 0(expected: 1)\n"));
    const unsigned last = static_cast<unsigned>(length / 512 + 1);
    EXPECT_THAT(run.trace,
                HasSubstr("ACK for packet " + std::to_string(last) + "(expected: " + std::to_string(last + 1) + ")\n"));
    EXPECT_THAT(run.log, HasSubstr("connect to server success"));
    EXPECT_THAT(run.log, HasSubstr("upload complete"));
  }
}

TEST_F(TftpClientTest, RefusesToUploadNothing) {
  Server server;
  server.start();
  size_t log_start = tftp_test::LogSize();
  {
    TftpClient client("127.0.0.1", server.port(), kQuickMs);
    const char data[1] = {0};
    EXPECT_FALSE(client.sendBuffer(data, 1)) << "not connected yet";
    ASSERT_TRUE(client.connectToServer());
    EXPECT_FALSE(client.sendBuffer(nullptr, 100));
    EXPECT_FALSE(client.sendBuffer(data, 0));
    EXPECT_FALSE(client.sendBuffer(data, -1));
    EXPECT_FALSE(client.sendBuffer(data, INT32_MIN));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  server.stop();
  EXPECT_EQ(server.requestCount(), 0);
  std::string log = tftp_test::ReadLogFrom(log_start);
  EXPECT_THAT(log, HasSubstr("upload refused: not connected"));
  EXPECT_THAT(log, HasSubstr("upload refused: no firmware data"));
}

// Loss, duplication, reordering and strangers on the way: each upload must
// still arrive whole, and only a real loss may cause a resend.
TEST_F(TftpClientTest, RecoversFromAnImpairedExchange) {
  struct Case {
    const char* name;
    int timeout_ms;
    Server::RequestScript on_request;  // null: ACK 0
    Server::DataScript on_data;        // null: ACK of the block
    const char* intruder_address;
    bool resends_expected;
    const char* trace_line;
    const char* log_line;
  };
  auto ack = [](uint16_t block) { return Action{false, {Server::FromServer(Server::Ack(block))}}; };
  const Case cases[] = {
      {"lost DATA", kQuickMs, nullptr,
       [&](uint16_t block, int arrival) {
         return block == 3 && arrival == 1 ? Action{true, {}} : ack(block);
       },
       "127.0.0.1", true, "Timeout\n", "sending block 3 again (attempt 2)"},
      {"lost ACK", kQuickMs, nullptr,
       [&](uint16_t block, int arrival) {
         return block == 3 && arrival == 1 ? Action{false, {}} : ack(block);
       },
       "127.0.0.1", true, "Timeout\n", "sending block 3 again (attempt 2)"},
      {"lost ACK of the request", kQuickMs,
       [&](int arrival) {
         return arrival == 1 ? Action{false, {}} : ack(0);
       },
       nullptr, "127.0.0.1", true, "Timeout\n", "sending the write request again (attempt 2)"},
      {"duplicate ACK", kPatientMs, nullptr,
       [&](uint16_t block, int) {
         return Action{false, {Server::FromServer(Server::Ack(block)), Server::FromServer(Server::Ack(block))}};
       },
       "127.0.0.1", false, "ACK for packet 3(expected: 5)\n", nullptr},
      {"stale ACK before the right one", kPatientMs, nullptr,
       [&](uint16_t block, int) {
         return Action{false,
                       {Server::FromServer(Server::Ack(static_cast<uint16_t>(block - 1))),
                        Server::FromServer(Server::Ack(block))}};
       },
       "127.0.0.1", false, "ACK for packet 4(expected: 6)\n", nullptr},
      {"empty datagram and DATA before the ACK", kPatientMs, nullptr,
       [&](uint16_t block, int) {
         Action action = ack(block);
         if (block == 3) {
           action.replies.insert(action.replies.begin(),
                                 {Server::FromServer({}), Server::FromServer({0, 3, 0, 9, 'x'})});
         }
         return action;
       },
       "127.0.0.1", false, "Connection was closed by server\nUnhandled packet\nDATAK for packet 9(expected: 4)\n",
       nullptr},
      {"foreign transfer ID", kPatientMs, nullptr,
       [&](uint16_t block, int) {
         Action action = ack(block);
         if (block == 3) {
           action.replies.insert(action.replies.begin(), Server::FromIntruder(Server::Ack(3)));
         }
         return action;
       },
       "127.0.0.1", false, "Packet from unknown transfer ID", "unknown transfer ID"},
      // An ERROR is never answered, not even one from a stranger.
      {"ERROR from a stranger", kPatientMs, nullptr,
       [&](uint16_t block, int) {
         Action action = ack(block);
         if (block == 3) {
           action.replies.insert(action.replies.begin(), Server::FromIntruder(Server::Error(1, "go away")));
         }
         return action;
       },
       "127.0.0.1", false, "Packet from unknown transfer ID", "error 1 from unknown transfer ID 127.0.0.1:"},
  };
  const std::vector<char> image = tftp_test::MakeImage(10 * 512 + 100);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
#if defined(_WIN32)
    // Wine sends from 127.0.0.1 even for a socket bound to 127.0.0.2, so a
    // second loopback address cannot stand for a foreign host there.
    if (std::string(c.intruder_address) != "127.0.0.1") {
      continue;
    }
#endif
    Server server(c.intruder_address);
    if (c.on_request) server.setRequestScript(c.on_request);
    if (c.on_data) server.setDataScript(c.on_data);
    UploadRun run = Upload(server, image, c.timeout_ms);
    EXPECT_TRUE(run.result) << run.trace << run.log;
    EXPECT_TRUE(server.complete());
    EXPECT_TRUE(server.file() == image);
    EXPECT_EQ(server.foreignSourceDatagrams(), 0) << "DATA went somewhere else";
    EXPECT_EQ(SentAgain(server), LoggedResends(run.log)) << "resent on a stale packet";
    if (c.resends_expected) {
      EXPECT_GT(SentAgain(server), 0);
    }
    EXPECT_THAT(run.trace, HasSubstr(c.trace_line));
    if (c.log_line) {
      EXPECT_THAT(run.log, HasSubstr(c.log_line));
    }
    if (std::string(c.name).find("foreign") != std::string::npos) {
      const std::vector<uint8_t> expected = Server::Error(5, "Unknown transfer ID");
      ASSERT_EQ(server.intruderReceived().size(), 1u);
      EXPECT_TRUE(server.intruderReceived()[0] == expected);
    } else {
      EXPECT_TRUE(server.intruderReceived().empty());
    }
  }
}

// Before the server has answered the write request, only its ACK of block 0
// (or an ERROR) from its address fixes its transfer identifier. Whatever
// comes first from another port or host, or is something else, is passed
// over without an answer and logged once per kind: the upload then runs
// with the server, and the server's ACK draws no ERROR 5.
TEST_F(TftpClientTest, OnlyTheServersAnswerFixesItsTransferId) {
  struct Case {
    const char* name;
    std::vector<uint8_t> early;  // sent twice, before the server's ACK 0
    const char* intruder_address;
    const char* log_line;
  };
  const Case cases[] = {
      {"DATA", {0, 3, 0, 1, 'x'}, "127.0.0.1", "a DATA packet (5 bytes) from 127.0.0.1:"},
      {"an unknown opcode of 2 bytes", {0, 9}, "127.0.0.1", "a packet of an unknown opcode (2 bytes)"},
      {"a short ACK", {0, 4, 0}, "127.0.0.1", "a datagram too short for its opcode (3 bytes)"},
      {"an empty datagram", {}, "127.0.0.1", "a datagram too short for its opcode (0 bytes)"},
      {"an ACK of block 1", Server::Ack(1), "127.0.0.1", "an ACK of another block than 0 (4 bytes)"},
      {"ACK 0 from another host", Server::Ack(0), "127.0.0.2", "a datagram from another host (4 bytes)"},
  };
  const std::vector<char> image = tftp_test::MakeImage(4 * 512 + 10);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
#if defined(_WIN32)
    // Wine sends from 127.0.0.1 even for a socket bound to 127.0.0.2.
    if (std::string(c.intruder_address) != "127.0.0.1") continue;
#endif
    Server server(c.intruder_address);
    server.setRequestScript([&c](int) {
      return Action{false,
                    {Server::FromIntruder(c.early), Server::FromIntruder(c.early), Server::FromServer(Server::Ack(0))}};
    });
    UploadRun run = Upload(server, image, kPatientMs);
    EXPECT_TRUE(run.result) << run.log;
    EXPECT_TRUE(server.file() == image);
    EXPECT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.foreignSourceDatagrams(), 0);
    EXPECT_TRUE(server.intruderReceived().empty()) << "answered, or taken for the server";
    EXPECT_THAT(run.log, HasSubstr(c.log_line));
    const std::regex ignored("before the server's answer ignored");
    EXPECT_EQ(std::distance(std::sregex_iterator(run.log.begin(), run.log.end(), ignored), std::sregex_iterator()), 1);
  }
}

// The waits the client logged before each resend ("no reply within N ms,
// sending ... again"), in order: what it decided, free of the server
// thread's timing.
std::vector<long> LoggedWaits(const std::string& log) {
  static const std::regex line("no reply within ([0-9]+) ms, sending");
  std::vector<long> waits;
  for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator(); ++it) {
    waits.push_back(std::stol((*it)[1]));
  }
  return waits;
}

// A server that falls silent is given up after the whole patience; when only
// the last block's acknowledgement is missing the server may hold the whole
// file, and the result says so instead of a plain failure.
TEST_F(TftpClientTest, GivesUpWhenTheServerFallsSilent) {
  struct Case {
    const char* name;
    size_t length;
    Server::RequestScript on_request;
    Server::DataScript on_data;
    uint16_t silent_block;  // 0: the write request
    bool server_has_file;
    const char* log_line;
    TftpOutcome outcome;
  };
  auto ack = [](uint16_t block) { return Action{false, {Server::FromServer(Server::Ack(block))}}; };
  auto silent_from = [&](uint16_t first) {
    return [=](uint16_t block, int) { return block >= first ? Action{false, {}} : ack(block); };
  };
  const Case cases[] = {
      // Before any round trip is known every quick wait is the whole reply
      // time-out.
      {"silent from the start", 8 * 512,
       [](int) {
         return Action{true, {}};
       },
       nullptr, 0, false, "no reply from server for the write request after ", TftpOutcome::kRequestUnanswered},
      {"silent after block 4", 8 * 512, nullptr, silent_from(5), 5, false, "no reply from server for block 5 after ",
       TftpOutcome::kNoReply},
      {"last short block never acknowledged", 8 * 512 + 100, nullptr, silent_from(9), 9, true,
       "last block sent, its acknowledgement never came (4096 of 4196 bytes acknowledged)",
       TftpOutcome::kLastBlockUnconfirmed},
      {"closing empty block never acknowledged", 8 * 512, nullptr, silent_from(9), 9, true,
       "last block sent, its acknowledgement never came (4096 of 4096 bytes acknowledged)",
       TftpOutcome::kLastBlockUnconfirmed},
      {"single block never acknowledged", 100, nullptr, silent_from(1), 1, true,
       "last block sent, its acknowledgement never came (0 of 100 bytes acknowledged)",
       TftpOutcome::kLastBlockUnconfirmed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Server server;
    if (c.on_request) server.setRequestScript(c.on_request);
    if (c.on_data) server.setDataScript(c.on_data);
    const std::vector<char> image = tftp_test::MakeImage(c.length);
    UploadRun run = Upload(server, image, kQuickMs);
    EXPECT_FALSE(run.result);
    EXPECT_FALSE(run.outcome.delivered());
    EXPECT_EQ(run.outcome.outcome, c.outcome);
    EXPECT_EQ(run.outcome.acknowledged, c.silent_block == 0 ? 0u : (c.silent_block - 1) * 512u);
    EXPECT_EQ(run.outcome.total, image.size());
    EXPECT_EQ(server.complete(), c.server_has_file);
    if (c.server_has_file) {
      EXPECT_TRUE(server.file() == image);
    }
    // The same packet again and again, never the next one: a few quick
    // sends, then sends kQuietWaitTimeouts reply time-outs apart, in which
    // the client sends nothing at all. Told by the client's own waits and
    // the number of sends, not by their times at the server (its thread may
    // take two at once).
    const std::vector<long> waits = LoggedWaits(run.log);
    ASSERT_GE(waits.size(), static_cast<size_t>(TftpClient::kQuickSends + 1));
    for (size_t i = TftpClient::kQuickSends; i < waits.size(); ++i) {
      EXPECT_EQ(waits[i], TftpClient::kQuietWaitTimeouts * kQuickMs) << "wait " << i;
    }
    constexpr int kMostSends =
        TftpClient::kQuickSends + 1 + TftpClient::kPatienceTimeouts / TftpClient::kQuietWaitTimeouts;
    if (c.silent_block == 0) {
      EXPECT_GE(server.requestCount(), TftpClient::kQuickSends + 1);
      EXPECT_LE(server.requestCount(), kMostSends);
    } else {
      EXPECT_EQ(server.requestCount(), 1);
      EXPECT_EQ(server.arrivals(c.silent_block + 1), 0);
      EXPECT_GE(server.arrivals(c.silent_block), TftpClient::kQuickSends + 2);
      EXPECT_LE(server.arrivals(c.silent_block), kMostSends);
    }
    EXPECT_THAT(run.trace, HasSubstr("Timeout\nWe have an error in waitForPacket()\n"));
    EXPECT_THAT(run.log, HasSubstr(c.log_line));
    EXPECT_THAT(run.log, HasSubstr("in silence for the server's own resend"));
    EXPECT_EQ(run.log.find("upload failed") != std::string::npos, !c.server_has_file);
    EXPECT_GE(run.seconds, 0.95 * TftpClient::kPatienceTimeouts * kQuickMs / 1000.0);
    EXPECT_LT(run.seconds, 8.0);
  }
}

// A server that answers a repeated block only once and otherwise re-sends
// its ACK only after it has heard nothing for a while (atftpd does so after
// 5 s): when both its ACK and that one answer are lost, only a client that
// falls silent for longer than the server's timer hears it again. Resends
// at the pace of the reply time-out would keep restarting that timer until
// the client gave up.
TEST_F(TftpClientTest, QuietWaitLetsAServerThatAnswersARepeatOnceBeHeard) {
  const int server_timer_ms = 2 * kQuickMs;  // between the reply time-out and the quiet wait
  Server server;
  server.setDataScript([&](uint16_t block, int) {
    Action action{false, {Server::FromServer(Server::Ack(block))}};
    if (block == 5) {
      // Lost, then the one answer to a repeat lost, then repeats ignored.
      action.replies.clear();
      action.after_silence = {Server::FromServer(Server::Ack(5))};
      action.silence_ms = server_timer_ms;
    }
    return action;
  });
  const std::vector<char> image = tftp_test::MakeImage(9 * 512 + 11);
  UploadRun run = Upload(server, image, kQuickMs);
  EXPECT_TRUE(run.result) << run.log;
  EXPECT_TRUE(server.file() == image);
  EXPECT_GE(server.arrivals(5), 2);
  EXPECT_EQ(server.arrivals(6), 1);
}

// Small embedded servers keep the well-known port as their transfer
// identifier: the client must hear them there and send its blocks there.
TEST_F(TftpClientTest, RepliesFromTheWellKnownPortAreHeard) {
  struct Case {
    const char* name;
    Server::DataScript on_data;
  };
  auto ack = [](uint16_t block) { return Action{false, {Server::FromServer(Server::Ack(block))}}; };
  const Case cases[] = {
      {"clean", nullptr},
      {"lost ACK",
       [&](uint16_t block, int arrival) {
         return block == 3 && arrival == 1 ? Action{false, {}} : ack(block);
       }},
      {"stranger on the way",
       [&](uint16_t block, int) {
         Action action = ack(block);
         if (block == 3) action.replies.insert(action.replies.begin(), Server::FromIntruder(Server::Ack(3)));
         return action;
       }},
  };
  const std::vector<char> image = tftp_test::MakeImage(30 * 512 + 9);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Server server;
    server.setReplyFromListeningPort(true);
    if (c.on_data) server.setDataScript(c.on_data);
    UploadRun run = Upload(server, image, kPatientMs);
    EXPECT_TRUE(run.result) << run.log;
    EXPECT_TRUE(server.file() == image);
    EXPECT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.foreignSourceDatagrams(), 0);
    EXPECT_EQ(server.intruderReceived().size(), c.name == std::string("stranger on the way") ? 1u : 0u);
  }
}

// A reply too short for its opcode counts for nothing: before, the zeroed
// rest of the buffer made a 2-byte 00 04 acknowledge the write request and
// a 3-byte 00 05 00 end the upload with error 0.
TEST_F(TftpClientTest, RepliesTooShortForTheirOpcodeAreIgnored) {
  const std::vector<std::vector<uint8_t>> malformed = {
      {}, {0}, {0, 4}, {0, 4, 0}, {0, 5, 0}, {0, 3, 0},
  };
  for (const std::vector<uint8_t>& bytes : malformed) {
    SCOPED_TRACE(testing::Message() << bytes.size() << " bytes");
    Server server;
    server.setRequestScript([&bytes](int arrival) {
      if (arrival == 1) return Action{false, {Server::FromServer(bytes)}};
      return Action{false, {Server::FromServer(Server::Ack(0))}};
    });
    const std::vector<char> image = tftp_test::MakeImage(3 * 512 + 5);
    UploadRun run = Upload(server, image, kQuickMs);
    EXPECT_TRUE(run.result) << run.log;
    EXPECT_TRUE(server.file() == image);
    EXPECT_EQ(server.requestCount(), 2) << "the short reply was taken for an answer";
    EXPECT_THAT(run.trace, HasSubstr("Packet before the transfer ID from 127.0.0.1:"));
    EXPECT_THAT(run.log, HasSubstr("a datagram too short for its opcode (" + std::to_string(bytes.size()) +
                                   " bytes) from 127.0.0.1:"));
  }
}

// The adaptive wait against a server that loses ACKs or stalls, with the
// product's 2-second reply time-out where the point is a wait far shorter
// than it. Only generous bounds: the figures are in the benchmark.
TEST_F(TftpClientTest, WaitAdaptsToTheRoundTripAndBacksOff) {
  const std::vector<char> image = tftp_test::MakeImage(12 * 512 + 7);
  {
    SCOPED_TRACE("one lost ACK: sent again well before the reply time-out");
    Server server;
    server.setDataScript([](uint16_t block, int arrival) {
      if (block == 5 && arrival == 1) return Action{false, {}};
      return Action{false, {Server::FromServer(Server::Ack(block))}};
    });
    UploadRun run = Upload(server, image, 2000);
    EXPECT_TRUE(run.result);
    EXPECT_TRUE(server.file() == image);
    const std::vector<long> waits = LoggedWaits(run.log);
    ASSERT_EQ(waits.size(), 1u);
    EXPECT_LT(waits[0], 500);
    EXPECT_LT(run.seconds, 1.5);
  }
  {
    SCOPED_TRACE("consecutive losses: each wait longer, up to the reply time-out");
    // Four losses stay within the quick sends even when a loaded machine has
    // already pushed the wait to the ceiling.
    const int ceiling_ms = 400;
    Server server;
    server.setDataScript([](uint16_t block, int arrival) {
      if (block == 5 && arrival <= 4) return Action{false, {}};
      return Action{false, {Server::FromServer(Server::Ack(block))}};
    });
    UploadRun run = Upload(server, image, ceiling_ms);
    EXPECT_TRUE(run.result) << run.log;
    EXPECT_TRUE(server.file() == image);
    EXPECT_EQ(server.arrivals(5), 5);
    const std::vector<long> waits = LoggedWaits(run.log);
    ASSERT_EQ(waits.size(), 4u);
    for (size_t i = 1; i < waits.size(); ++i) {
      EXPECT_GE(waits[i], waits[i - 1]) << "wait " << i << ": the wait never shrinks while losses go on";
    }
    EXPECT_GE(waits[3], std::min(2 * waits[0], static_cast<long>(ceiling_ms))) << "the wait grows to the ceiling";
    for (long wait : waits) EXPECT_LE(wait, ceiling_ms);
  }
  {
    SCOPED_TRACE("a box that stalls for 1.5 s is waited for through short resends");
    Server server;
    server.setDataScript([](uint16_t block, int arrival) {
      Action action{false, {Server::FromServer(Server::Ack(block))}};
      if (block == 5 && arrival == 1) action.pause_ms = 1500;
      return action;
    });
    UploadRun run = Upload(server, image, 2000);
    EXPECT_TRUE(run.result) << run.log;
    EXPECT_TRUE(server.file() == image);
    // Short waits ran out during the stall (a fixed 2-second wait would have
    // resent nothing); how many depends on the round trips a loaded machine
    // measured before it.
    EXPECT_GE(run.statistics.retransmissions, 2u);
    // The copies sent during the stall are answered afterwards: duplicate
    // ACKs, which must not trigger resends of the following blocks.
    EXPECT_GT(run.statistics.ignored_acks, 0u);
    EXPECT_EQ(server.arrivals(6), 1);
  }
}

// Karn's rule. The path slows from a fraction of a millisecond to 100 ms
// from block 6 on; copies that arrive while the box is busy are answered at
// once. The ACK that ends block 6's back-off comes 100 ms after the first
// send but only a few ms after the last one: taking that as a round trip
// would keep the wait near its floor and make every slow block go out again
// and again. Without such samples the first ones taken are the true 100 ms.
TEST_F(TftpClientTest, RoundTripsOfPacketsSentAgainAreNotSampled) {
  const int first_slow = 6;
  const int last_block = 18;
  Server server;
  server.setDataScript([](uint16_t block, int arrival) {
    Action action{false, {Server::FromServer(Server::Ack(block))}};
    if (block >= first_slow && arrival == 1) action.pause_ms = 100;
    return action;
  });
  const std::vector<char> image = tftp_test::MakeImage((last_block - 1) * 512 + 3);
  UploadRun run = Upload(server, image, 1000);
  EXPECT_TRUE(run.result);
  EXPECT_TRUE(server.file() == image);
  int blocks_sent_again = 0;
  for (int block = first_slow; block <= last_block; ++block) {
    if (server.arrivals(static_cast<uint16_t>(block)) > 1) ++blocks_sent_again;
  }
  EXPECT_LE(blocks_sent_again, 4) << run.statistics.retransmissions << " resends";
}

TEST_F(TftpClientTest, ErrorFromTheServerEndsTheUpload) {
  Server server;
  server.setDataScript([](uint16_t block, int) {
    if (block == 7) return Action{false, {Server::FromServer(Server::Error(1, "nope\x01"))}};
    return Action{false, {Server::FromServer(Server::Ack(block))}};
  });
  std::vector<char> image = tftp_test::MakeImage(20 * 512);
  UploadRun run = Upload(server, image, kPatientMs);
  EXPECT_FALSE(run.result);
  EXPECT_EQ(server.arrivals(7), 1);
  EXPECT_EQ(server.arrivals(8), 0);
  EXPECT_EQ(run.outcome.outcome, TftpOutcome::kServerError);
  EXPECT_EQ(run.outcome.error_code, 1);
  EXPECT_EQ(run.outcome.error_text, "nope?");
  EXPECT_EQ(run.outcome.acknowledged, 6 * 512u);
  EXPECT_THAT(run.trace, HasSubstr("ACK expected, but got Error\nError! Error code: 1\n"
                                   "Error message: File not found\n"));
  EXPECT_THAT(run.log, HasSubstr("server ended the upload with error 1 (File not found)"));
}

TEST_F(TftpClientTest, ErrorCodesPrintTheirText) {
  const std::pair<uint16_t, const char*> cases[] = {
      {0, "Not defined, see error message (if any)"},
      {6, "File already exists"},
      {9, "Not defined, see error message (if any)"},
  };
  for (const auto& [code, text] : cases) {
    SCOPED_TRACE(code);
    Server server;
    uint16_t error_code = code;
    server.setRequestScript([error_code](int) {
      return Action{false, {Server::FromServer(Server::Error(error_code, "ignored text"))}};
    });
    UploadRun run = Upload(server, tftp_test::MakeImage(600), kPatientMs);
    EXPECT_FALSE(run.result);
    EXPECT_EQ(server.totalDataArrivals(), 0);
    EXPECT_THAT(run.trace, HasSubstr("Error! Error code: " + std::to_string(code) + "\nError message: " + text + "\n"));
    EXPECT_THAT(run.trace, Not(HasSubstr("ignored text")));
  }
}

TEST_F(TftpClientTest, ClientCanReconnectAfterAnError) {
  Server refusing;
  refusing.setRequestScript([](int) { return Action{false, {Server::FromServer(Server::Error(2, "no"))}}; });
  ASSERT_TRUE(refusing.ready());
  refusing.start();
  Server accepting;
  ASSERT_TRUE(accepting.ready());
  accepting.start();
  std::vector<char> image = tftp_test::MakeImage(1500);

  testing::internal::CaptureStdout();
  {
    TftpClient first("127.0.0.1", refusing.port(), kPatientMs);
    ASSERT_TRUE(first.connectToServer());
    EXPECT_FALSE(first.sendBuffer(image.data(), image.size()));
    EXPECT_FALSE(first.isConnected()) << "an ERROR closes both sockets";
    EXPECT_FALSE(first.sendBuffer(image.data(), image.size()));
  }
  {
    TftpClient second("127.0.0.1", accepting.port(), kPatientMs);
    ASSERT_TRUE(second.connectToServer());
    ASSERT_TRUE(second.connectToServer()) << "a second connect replaces the sockets";
    EXPECT_TRUE(second.sendBuffer(image.data(), image.size()));
  }
  testing::internal::GetCapturedStdout();
  refusing.stop();
  accepting.stop();
  EXPECT_EQ(refusing.requestCount(), 1);
  EXPECT_TRUE(accepting.file() == image);
}

TEST_F(TftpClientTest, ProgressFollowsTheAcknowledgedBlocks) {
  std::vector<std::pair<size_t, size_t>> calls;
  Server server;
  UploadRun run = Upload(server, tftp_test::MakeImage(1024), kPatientMs,
                         [&](size_t done, size_t total) { calls.emplace_back(done, total); });
  EXPECT_TRUE(run.result);
  const std::vector<std::pair<size_t, size_t>> expected = {{512, 1024}, {1024, 1024}, {1024, 1024}};
  EXPECT_EQ(calls, expected);
}

TEST_F(TftpClientTest, ConnectRejectsABadServerAddress) {
  const char* addresses[] = {"", "192.168.1", "256.1.1.1", "1.2.3.4.5", "example", "1.2.3.4 "};
  for (const char* address : addresses) {
    SCOPED_TRACE(address);
    size_t log_start = tftp_test::LogSize();
    TftpClient client(address, 6969, kQuickMs);
    EXPECT_FALSE(client.connectToServer());
    EXPECT_FALSE(client.isConnected());
    std::string log = tftp_test::ReadLogFrom(log_start);
    EXPECT_THAT(log, HasSubstr("invalid server address"));
  }
  TftpClient client("127.0.0.1", 0, kQuickMs);
  EXPECT_FALSE(client.connectToServer()) << "port 0";
}

}  // namespace
