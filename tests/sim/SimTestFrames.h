// Host frames for the simulator's tests, built from the byte layouts rather than from the host's
// frame code, plus a point in simulated time.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/sim/SimCrc16.h"
#include "tools/sim/SimFrame.h"

namespace simtest {

using Bytes = std::vector<uint8_t>;

inline SimTime At(int ms) {
    return SimTime{} + std::chrono::milliseconds(ms);
}
inline uint8_t Hi(unsigned v) {
    return static_cast<uint8_t>(v >> 8);
}
inline uint8_t Lo(unsigned v) {
    return static_cast<uint8_t>(v & 0xFF);
}

inline Bytes WithCrc(Bytes frame) {
    const uint16_t crc = SimCrc16Modbus(frame);
    frame.push_back(Lo(crc));
    frame.push_back(Hi(crc));
    return frame;
}

inline Bytes Trigger() {
    Bytes frame{0xFF, 0x00, 0xFF, 0x00, 0xAA, 0x55};
    for (char c : std::string("ORVANE-WAKEUP"))
        frame.push_back(static_cast<uint8_t>(c));
    frame.push_back(0x00);
    return frame;
}

inline Bytes ModelQuery(uint8_t address, uint16_t lengthWord) {
    return WithCrc({address, 0x69, 0x00, 0x65, Hi(lengthWord), Lo(lengthWord)});
}

inline Bytes Block(uint8_t address, uint16_t number, uint16_t count, const Bytes& data) {
    Bytes frame{
        address, 0x6A, Hi(number), Lo(number), Hi(count), Lo(count), static_cast<uint8_t>(data.size())};
    for (uint8_t b : data)
        frame.push_back(b);
    return WithCrc(frame);
}

inline Bytes Ack(uint8_t address, uint16_t number, uint16_t count) {
    return WithCrc({address, 0x6A, Hi(number), Lo(number), Hi(count), Lo(count)});
}

inline uint16_t BlockCount(size_t size) {
    return static_cast<uint16_t>((size + 49) / 50);
}

// The verify frame of a payload, its record assembled field by field.
inline Bytes Verify(uint8_t address, const Bytes& payload) {
    const uint32_t n = static_cast<uint32_t>(payload.size());
    const uint16_t crc = SimCrc16Modbus(payload);
    uint8_t sum = 0, x = 0;
    for (uint8_t b : payload)
        sum = static_cast<uint8_t>(sum + b), x ^= b;
    return Block(address, 10000, BlockCount(payload.size()),
                 {0x08, 0x00, 0x60, 0x00, Hi(n >> 16), Lo(n >> 16), Hi(n), Lo(n), 0x00, 0x00, Lo(crc),
                  Hi(crc), sum, x, 0xCC, 0xCC});
}

// Block i of a payload, numbered from `base`.
inline Bytes PayloadBlock(const Bytes& payload, size_t index, uint16_t base) {
    const auto from = payload.begin() + static_cast<std::ptrdiff_t>(index * 50);
    const auto to = from + static_cast<std::ptrdiff_t>(std::min<size_t>(50, payload.size() - index * 50));
    return Block(1, static_cast<uint16_t>(base + index), BlockCount(payload.size()), Bytes(from, to));
}

inline Bytes Pattern(size_t size, uint8_t seed = 1) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(seed + i * 31);
    return bytes;
}

inline Bytes Concat(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// The fixed vectors: queries, and the verify frame and first block of the payload "abc".
const Bytes kModelQuery = {0x01, 0x69, 0x00, 0x65, 0x00, 0x00, 0x4D, 0xDC};
const Bytes kHighSpeedQuery = {0x01, 0x69, 0x00, 0x65, 0x04, 0x80, 0x4E, 0xBC};
const Bytes kStatusQuery = {0x01, 0x6C, 0x00, 0x65, 0x00, 0x0A, 0x0A, 0,    0,   0,
                            0,    0,    0,    0,    0,    0,    0,    0x50, 0x68};
const Bytes kVerifyAbc = {0x01, 0x6A, 0x27, 0x10, 0x00, 0x01, 0x10, 0x08, 0x00, 0x60, 0x00, 0x00, 0x00,
                          0x00, 0x03, 0x00, 0x00, 0x49, 0x57, 0x26, 0x60, 0xCC, 0xCC, 0x52, 0x89};
const Bytes kBlockAbc = {0x01, 0x6A, 0x27, 0x11, 0x00, 0x01, 0x03, 0x61, 0x62, 0x63, 0xB0, 0x8C};
const Bytes kModelReplyAbc = {0x01, 0x69, 0x03, 0x61, 0x62, 0x63, 0x65, 0x10};
const Bytes kVerifyAck = {0x01, 0x6A, 0x27, 0x10, 0x00, 0x01, 0xD3, 0x72};

}  // namespace simtest
