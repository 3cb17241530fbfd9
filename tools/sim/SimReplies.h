// The device's replies, built byte by byte with the device's own CRC.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace SimReplies {

constexpr uint8_t kFuncModel = 0x69;
constexpr uint8_t kFuncBlock = 0x6A;
constexpr uint8_t kFuncStatus = 0x6C;
// The length byte of a model reply limits its text.
constexpr size_t kMaxModelBytes = 255;

// address 69 n text CRC; text longer than kMaxModelBytes is cut there.
std::vector<uint8_t> ModelReply(uint8_t address, const std::string& gbkText);
// address 6C code CRC.
std::vector<uint8_t> StatusReply(uint8_t address, uint8_t code);
// address 6A number count CRC, numbers big-endian.
std::vector<uint8_t> BlockAck(uint8_t address, uint16_t blockNumber, uint16_t blockCount);

}  // namespace SimReplies
