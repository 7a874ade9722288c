#include "tftp/tftp_packet.h"

#include <cstring>
#include <string>

void TftpPacket::clear() {
  count_ = 0;
  std::memset(buffer_, 0, sizeof(buffer_));
}

void TftpPacket::addByte(uint8_t value) {
  if (count_ < kCapacity) {
    buffer_[count_++] = value;
  }
}

void TftpPacket::addWord(uint32_t value) {
  addByte(static_cast<uint8_t>((value >> 8) & 0xFF));
  addByte(static_cast<uint8_t>(value & 0xFF));
}

bool TftpPacket::addString(const char* text) {
  if (text == nullptr) {
    return true;
  }
  for (const char* p = text; *p != '\0'; ++p) {
    if (count_ >= kCapacity) {
      return false;
    }
    addByte(static_cast<uint8_t>(*p));
  }
  return true;
}

bool TftpPacket::createWriteRequest() {
  clear();
  addWord(kOpWriteRequest);
  addString(kFirmwareFileName);
  addByte(0);
  addString(kTransferMode);
  addByte(0);
  return true;
}

bool TftpPacket::createData(uint32_t block, const char* data, size_t length) {
  clear();
  addWord(kOpData);
  addWord(block);
  // count + length >= capacity, written so that a huge length cannot wrap.
  if (length >= static_cast<size_t>(kCapacity - count_)) {
    tftp::StandardOutputTrace().Print("Packet max size exceeded\n");
    return true;
  }
  if (length == 0) {
    return true;
  }
  if (data == nullptr) {
    return false;
  }
  std::memcpy(buffer_ + count_, data, length);
  count_ += static_cast<int32_t>(length);
  return true;
}

bool TftpPacket::createError(uint16_t code, const char* message) {
  clear();
  addWord(kOpError);
  addWord(code);
  // Keep room for the terminator however long the message is.
  const char* text = message != nullptr ? message : "";
  size_t room = static_cast<size_t>(kCapacity - count_ - 1);
  size_t length = std::strlen(text);
  if (length > room) {
    length = room;
  }
  std::memcpy(buffer_ + count_, text, length);
  count_ += static_cast<int32_t>(length);
  addByte(0);
  return true;
}

uint16_t TftpPacket::getOpcode() const { return static_cast<uint16_t>((buffer_[0] << 8) | buffer_[1]); }

uint16_t TftpPacket::getBlockNumber() const {
  uint16_t opcode = getOpcode();
  if (opcode != kOpData && opcode != kOpAck) {
    return 0;
  }
  return static_cast<uint16_t>((buffer_[2] << 8) | buffer_[3]);
}

uint16_t TftpPacket::getErrorCode() const { return static_cast<uint16_t>((buffer_[2] << 8) | buffer_[3]); }

TftpReply TftpPacket::decodeReply() const {
  TftpReply reply;
  const size_t size = static_cast<size_t>(count_);
  auto word = [this](size_t at) { return static_cast<uint16_t>((buffer_[at] << 8) | buffer_[at + 1]); };
  if (size < 2) {
    return reply;
  }
  reply.opcode = word(0);
  switch (*reply.opcode) {
    case kOpAck:
    case kOpData:
      if (size < 4) {
        return reply;
      }
      reply.kind = *reply.opcode == kOpAck ? TftpReply::Kind::kAck : TftpReply::Kind::kData;
      reply.block = word(2);
      return reply;
    case kOpError: {
      if (size < 4) {
        return reply;
      }
      reply.kind = TftpReply::Kind::kError;
      reply.error_code = word(2);
      const char* text = reinterpret_cast<const char*>(buffer_ + 4);
      const void* end = std::memchr(text, 0, size - 4);
      if (end != nullptr) {
        reply.error_text.emplace(text, static_cast<const char*>(end));
      }
      return reply;
    }
    default:
      reply.kind = TftpReply::Kind::kOther;
      return reply;
  }
}

void TftpPacket::dumpData(tftp::TraceSink& sink) const {
  std::string dump = "\n--------------DATA DUMP---------------------\nSize: " + std::to_string(count_) + "\n";
  dump.append(reinterpret_cast<const char*>(buffer_), static_cast<size_t>(count_));
  dump += "\n--------------------------------------------\n\n";
  sink.Write(dump.data(), dump.size());
}

void TftpPacket::setSize(int count) {
  if (count < 0) {
    count = 0;
  } else if (count > kCapacity) {
    count = kCapacity;
  }
  count_ = count;
}
