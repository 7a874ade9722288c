#include "tftp/tftp_packet.h"

#include <cstdio>
#include <cstring>

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
    std::fputs("Packet max size exceeded\n", stdout);
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

uint16_t TftpPacket::getOpcode() const {
  return static_cast<uint16_t>((buffer_[0] << 8) | buffer_[1]);
}

uint16_t TftpPacket::getBlockNumber() const {
  uint16_t opcode = getOpcode();
  if (opcode != kOpData && opcode != kOpAck) {
    return 0;
  }
  return static_cast<uint16_t>((buffer_[2] << 8) | buffer_[3]);
}

uint16_t TftpPacket::getErrorCode() const {
  return static_cast<uint16_t>((buffer_[2] << 8) | buffer_[3]);
}

void TftpPacket::dumpData() const {
  std::printf("\n--------------DATA DUMP---------------------\nSize: %d\n", count_);
  std::fflush(stdout);
  std::fwrite(buffer_, 1, static_cast<size_t>(count_), stdout);
  std::fputs("\n--------------------------------------------\n\n", stdout);
}

void TftpPacket::setSize(int count) {
  if (count < 0) {
    count = 0;
  } else if (count > kCapacity) {
    count = kCapacity;
  }
  count_ = count;
}
