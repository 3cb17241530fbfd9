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

inline SimTime At(std::chrono::milliseconds offset) {
    return SimTime{} + offset;
}

inline Bytes WithCrc(Bytes frame) {
    const uint16_t crc = SimCrc16Modbus(frame);
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

inline Bytes Trigger(const std::string& tag = "ORVANE-WAKEUP") {
    Bytes frame{0xFF, 0x00, 0xFF, 0x00, 0xAA, 0x55};
    for (char c : tag)
        frame.push_back(static_cast<uint8_t>(c));
    frame.push_back(0x00);
    return frame;
}

inline Bytes ModelQuery(uint8_t address, uint16_t lengthWord) {
    return WithCrc({address, 0x69, 0x00, 0x65, static_cast<uint8_t>(lengthWord >> 8),
                    static_cast<uint8_t>(lengthWord & 0xFF)});
}

inline Bytes StatusQuery(uint8_t address) {
    Bytes frame{address, 0x6C, 0x00, 0x65, 0x00, 0x0A, 0x0A};
    frame.resize(17, 0x00);
    return WithCrc(frame);
}

inline Bytes Block(uint8_t address, uint16_t number, uint16_t count, const Bytes& data) {
    Bytes frame{address,
                0x6A,
                static_cast<uint8_t>(number >> 8),
                static_cast<uint8_t>(number & 0xFF),
                static_cast<uint8_t>(count >> 8),
                static_cast<uint8_t>(count & 0xFF),
                static_cast<uint8_t>(data.size())};
    for (uint8_t b : data)
        frame.push_back(b);
    return WithCrc(frame);
}

inline Bytes Ack(uint8_t address, uint16_t number, uint16_t count) {
    return WithCrc({address, 0x6A, static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number & 0xFF),
                    static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count & 0xFF)});
}

// The verify-parameters record of a payload, from its field layout.
inline Bytes Record(const Bytes& payload) {
    const uint32_t length = static_cast<uint32_t>(payload.size());
    const uint16_t crc = SimCrc16Modbus(payload);
    uint8_t sum = 0, x = 0;
    for (uint8_t b : payload)
        sum = static_cast<uint8_t>(sum + b), x ^= b;
    return {0x08,
            0x00,
            0x60,
            0x00,
            static_cast<uint8_t>(length >> 24),
            static_cast<uint8_t>(length >> 16),
            static_cast<uint8_t>(length >> 8),
            static_cast<uint8_t>(length),
            0x00,
            0x00,
            static_cast<uint8_t>(crc & 0xFF),
            static_cast<uint8_t>(crc >> 8),
            sum,
            x,
            0xCC,
            0xCC};
}

inline uint16_t BlockCount(size_t size) {
    return static_cast<uint16_t>((size + 49) / 50);
}

inline Bytes Verify(uint8_t address, const Bytes& payload) {
    return Block(address, 10000, BlockCount(payload.size()), Record(payload));
}

// Block i of a payload, numbered from `base`.
inline Bytes PayloadBlock(uint8_t address, const Bytes& payload, size_t index, uint16_t base) {
    const size_t from = index * 50;
    const size_t n = std::min<size_t>(50, payload.size() - from);
    return Block(address, static_cast<uint16_t>(base + index), BlockCount(payload.size()),
                 Bytes(payload.begin() + static_cast<std::ptrdiff_t>(from),
                       payload.begin() + static_cast<std::ptrdiff_t>(from + n)));
}

inline Bytes Pattern(size_t size, uint8_t seed = 1) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(seed + i * 31);
    return bytes;
}

}  // namespace simtest
