#pragma once

// One TFTP packet (RFC 1350 wire format) in a fixed 1024-byte buffer. The
// client builds its write request and DATA packets in it and receives every
// reply into it. All 16-bit fields are big-endian on the wire.
//
// A packet is a plain value used by one thread at a time; nothing in it is
// allocated.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "tftp/trace_sink.h"

// A received datagram, decoded and checked. Each field is set only when the
// datagram carries it: the opcode from 2 bytes on, the block of an ACK or
// DATA packet and the code of an ERROR packet from 4 bytes on, and the
// message of an ERROR packet when it ends with its terminator.
struct TftpReply {
  enum class Kind {
    kMalformed,  // too short for its opcode (or for any opcode)
    kAck,
    kData,
    kError,
    kOther,  // a well-formed opcode that no upload expects
  };
  Kind kind = Kind::kMalformed;
  std::optional<uint16_t> opcode;
  std::optional<uint16_t> block;
  std::optional<uint16_t> error_code;
  std::optional<std::string> error_text;
};

class TftpPacket {
 public:
  static constexpr int kCapacity = 1024;

  enum Opcode : uint16_t {
    kOpWriteRequest = 2,
    kOpData = 3,
    kOpAck = 4,
    kOpError = 5,
  };

  // The one file every write request names, and its transfer mode.
  static constexpr const char* kFirmwareFileName = "rorod_oze_firmware_v1.5.2.bin";
  static constexpr const char* kTransferMode = "octet";

  TftpPacket() { clear(); }

  // count = 0 and every byte of the buffer zeroed.
  void clear();
  // Appends one byte; a full packet drops it silently.
  void addByte(uint8_t value);
  // Appends the low 16 bits, high byte first; higher bits are dropped.
  void addWord(uint32_t value);
  // Appends the bytes of text without its terminator. False when the packet
  // filled up before the end (the bytes already appended stay).
  bool addString(const char* text);

  // WRQ: opcode 2, the firmware file name, 0, "octet", 0 (38 bytes).
  bool createWriteRequest();
  // DATA: opcode 3, the low 16 bits of block, then length bytes of data.
  // A payload that would take the packet to 1024 bytes or more is refused
  // with "Packet max size exceeded" on standard output and the packet is
  // left as the 4-byte header (still reported as built). Returns false only
  // when data is null for a payload that would fit (header only, nothing
  // copied).
  bool createData(uint32_t block, const char* data, size_t length);
  // ERROR: opcode 5, code, message and its terminator (the message is cut
  // to what fits).
  bool createError(uint16_t code, const char* message);

  // The raw fields, read whatever the packet's size (bytes past the size
  // read as the zeros clear() left). Received datagrams are read through
  // decodeReply() instead.
  uint16_t getOpcode() const;
  // Block number of a DATA or ACK packet; 0 for any other opcode.
  uint16_t getBlockNumber() const;
  // Bytes 2-3; meaningful for an ERROR packet.
  uint16_t getErrorCode() const;

  // The first getSize() bytes as a reply; never reads past them.
  TftpReply decodeReply() const;

  // Writes a header with the size, then the count bytes raw, then a closing
  // line (to standard output by default).
  void dumpData(tftp::TraceSink& sink = tftp::StandardOutputTrace()) const;

  int getSize() const { return count_; }
  // Sets count after the buffer has been filled from outside (a receive);
  // clamped to 0..kCapacity.
  void setSize(int count);
  const unsigned char* getData() const { return buffer_; }
  unsigned char* getBuffer() { return buffer_; }

 private:
  int32_t count_ = 0;
  unsigned char buffer_[kCapacity];
};
