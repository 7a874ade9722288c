#include "tftp/tftp_packet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

std::string Bytes(const TftpPacket& packet) {
  return std::string(reinterpret_cast<const char*>(packet.getData()), static_cast<size_t>(packet.getSize()));
}

TEST(TftpPacketTest, WriteRequestIsTheFixed38Bytes) {
  TftpPacket packet;
  EXPECT_TRUE(packet.createWriteRequest());
  const std::string expected("\x00\x02rorod_oze_firmware_v1.5.2.bin\x00octet\x00", 38);
  EXPECT_EQ(Bytes(packet), expected);
  EXPECT_EQ(packet.getOpcode(), 2);
  EXPECT_EQ(packet.getBlockNumber(), 0);
}

TEST(TftpPacketTest, DataPacketHeaderAndPayload) {
  std::vector<char> payload(1100);
  for (size_t i = 0; i < payload.size(); ++i) {
    payload[i] = static_cast<char>(i * 7 + 1);
  }
  struct Case {
    uint32_t block;
    size_t length;
    int size;
    std::string header;
    bool refused;
  };
  const Case cases[] = {
      {1, 512, 516, std::string("\x00\x03\x00\x01", 4), false},
      {258, 36, 40, std::string("\x00\x03\x01\x02", 4), false},
      {65535, 1, 5, std::string("\x00\x03\xFF\xFF", 4), false},
      {65536, 1, 5, std::string("\x00\x03\x00\x00", 4), false},  // the counter wraps
      {3, 0, 4, std::string("\x00\x03\x00\x03", 4), false},      // the closing empty block
      {7, 1019, 1023, std::string("\x00\x03\x00\x07", 4), false},
      {7, 1020, 4, std::string("\x00\x03\x00\x07", 4), true},
      {7, 1100, 4, std::string("\x00\x03\x00\x07", 4), true},
      {7, SIZE_MAX, 4, std::string("\x00\x03\x00\x07", 4), true},  // must not wrap the check
      {7, SIZE_MAX - 3, 4, std::string("\x00\x03\x00\x07", 4), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "block " << c.block << " length " << c.length);
    TftpPacket packet;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(packet.createData(c.block, payload.data(), c.length));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, c.refused ? "Packet max size exceeded\n" : "");
    ASSERT_EQ(packet.getSize(), c.size);
    std::string bytes = Bytes(packet);
    EXPECT_EQ(bytes.substr(0, 4), c.header);
    EXPECT_EQ(bytes.substr(4), std::string(payload.data(), static_cast<size_t>(c.size - 4)));
    EXPECT_EQ(packet.getBlockNumber(), static_cast<uint16_t>(c.block & 0xFFFF));
  }
}

TEST(TftpPacketTest, NullPayloadIsNotCopied) {
  TftpPacket packet;
  EXPECT_FALSE(packet.createData(1, nullptr, 10));
  EXPECT_EQ(packet.getSize(), 4);
  EXPECT_TRUE(packet.createData(1, nullptr, 0));
  EXPECT_EQ(packet.getSize(), 4);
}

TEST(TftpPacketTest, ReceivedFieldsAreReadBigEndian) {
  struct Case {
    std::string wire;
    uint16_t opcode;
    uint16_t block;
    uint16_t error_code;
  };
  const Case cases[] = {
      {std::string("\x00\x04\x01\x02", 4), 4, 258, 258},
      {std::string("\x00\x03\xFF\xFE payload", 12), 3, 65534, 65534},
      {std::string("\x00\x05\x00\x01"
                   "File not found\x00",
                   19),
       5, 0, 1},
      {std::string("\x00\x02name\x00octet\x00", 14), 2, 0, 0x6E61},
      {std::string("\x00", 1), 0, 0, 0},  // short datagram: the zeroed rest reads as 0
      {std::string(), 0, 0, 0},
  };
  for (const Case& c : cases) {
    TftpPacket packet;
    std::copy(c.wire.begin(), c.wire.end(), packet.getBuffer());
    packet.setSize(static_cast<int>(c.wire.size()));
    EXPECT_EQ(packet.getOpcode(), c.opcode);
    EXPECT_EQ(packet.getBlockNumber(), c.block);
    EXPECT_EQ(packet.getErrorCode(), c.error_code);
  }
}

// The checked reading of received datagrams: a field exists only when the
// datagram carries it, and nothing past the datagram's end is read.
TEST(TftpPacketTest, RepliesDecodeOnlyWhatTheyCarry) {
  using Kind = TftpReply::Kind;
  using Word = std::optional<uint16_t>;
  using Text = std::optional<std::string>;
  struct Case {
    std::string wire;
    Kind kind;
    Word opcode;
    Word block;
    Word error_code;
    Text error_text;
  };
  const Case cases[] = {
      {std::string(), Kind::kMalformed, {}, {}, {}, {}},
      {std::string("\x00", 1), Kind::kMalformed, {}, {}, {}, {}},
      {std::string("\x00\x04", 2), Kind::kMalformed, 4, {}, {}, {}},
      {std::string("\x00\x04\x01", 3), Kind::kMalformed, 4, {}, {}, {}},
      {std::string("\x00\x05\x00", 3), Kind::kMalformed, 5, {}, {}, {}},
      {std::string("\x00\x04\x01\x02", 4), Kind::kAck, 4, 258, {}, {}},
      {std::string("\x00\x04\x01\x02\x09\x09", 6), Kind::kAck, 4, 258, {}, {}},
      {std::string("\x00\x03\x00\x09x", 5), Kind::kData, 3, 9, {}, {}},
      {std::string("\x00\x05\x00\x01no\x00", 7), Kind::kError, 5, {}, 1, "no"},
      {std::string("\x00\x05\x00\x02\x00", 5), Kind::kError, 5, {}, 2, ""},
      {std::string("\x00\x05\x00\x01no", 6), Kind::kError, 5, {}, 1, {}},  // unterminated
      {std::string("\x00\x02name\x00octet\x00", 14), Kind::kOther, 2, {}, {}, {}},
      {std::string("\x00\x09", 2), Kind::kOther, 9, {}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.wire.size() << " bytes");
    TftpPacket packet;
    // Leftovers of an earlier datagram must not be read as fields.
    std::fill(packet.getBuffer(), packet.getBuffer() + 8, 0x7F);
    std::copy(c.wire.begin(), c.wire.end(), packet.getBuffer());
    packet.setSize(static_cast<int>(c.wire.size()));
    TftpReply reply = packet.decodeReply();
    EXPECT_EQ(reply.kind, c.kind);
    EXPECT_EQ(reply.opcode, c.opcode);
    EXPECT_EQ(reply.block, c.block);
    EXPECT_EQ(reply.error_code, c.error_code);
    EXPECT_EQ(reply.error_text, c.error_text);
  }
}

TEST(TftpPacketTest, FullPacketDropsBytesAndStopsStrings) {
  TftpPacket packet;
  std::string filler(1020, 'x');
  EXPECT_TRUE(packet.addString(filler.c_str()));
  EXPECT_EQ(packet.getSize(), 1020);
  EXPECT_FALSE(packet.addString("abcdef"));  // four fit, then it is full
  EXPECT_EQ(packet.getSize(), 1024);
  EXPECT_EQ(Bytes(packet).substr(1020), "abcd");
  packet.addByte('z');
  packet.addWord(0x4142);
  EXPECT_EQ(packet.getSize(), 1024);
  EXPECT_EQ(Bytes(packet).substr(1020), "abcd");

  packet.clear();
  packet.addWord(0x12345678);  // only the low 16 bits, high byte first
  EXPECT_EQ(Bytes(packet), std::string("\x56\x78", 2));
}

TEST(TftpPacketTest, ErrorPacketKeepsItsTerminator) {
  TftpPacket packet;
  packet.createError(5, "Unknown transfer ID");
  EXPECT_EQ(Bytes(packet), std::string("\x00\x05\x00\x05Unknown transfer ID\x00", 24));
  EXPECT_EQ(packet.getErrorCode(), 5);

  std::string long_text(2000, 'm');
  packet.createError(0, long_text.c_str());
  ASSERT_EQ(packet.getSize(), TftpPacket::kCapacity);
  EXPECT_EQ(packet.getData()[TftpPacket::kCapacity - 1], 0);
}

TEST(TftpPacketTest, DumpWritesSizeThenRawBytes) {
  const std::string head = "\n--------------DATA DUMP---------------------\nSize: ";
  const std::string tail = "\n--------------------------------------------\n\n";
  TftpPacket packet;
  packet.createData(1, "A\0B", 3);
  packet.clear();
  testing::internal::CaptureStdout();
  packet.dumpData();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), head + "0\n" + tail);

  packet.createData(1, "A\0B", 3);
  testing::internal::CaptureStdout();
  packet.dumpData();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), head + "7\n" +
                                                        std::string("\x00\x03\x00\x01"
                                                                    "A\0B",
                                                                    7) +
                                                        tail);
}

}  // namespace
