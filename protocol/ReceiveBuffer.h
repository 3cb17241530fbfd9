// ReceiveBuffer: the receive path's reassembly buffer. Besides the bytes it keeps the CRC-16/MODBUS
// of all but the last two of them, advanced by one step per byte, so that asking "do the last two
// bytes carry the CRC of everything before them?" costs the same at every fill level instead of a
// pass over the whole buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class ReceiveBuffer {
public:
    void push_back(uint8_t byte);
    // Drops the first `count` bytes (all of them when count exceeds the size).
    void erase_front(size_t count);
    void clear();

    size_t size() const { return m_bytes.size(); }
    bool empty() const { return m_bytes.empty(); }
    const uint8_t* data() const { return m_bytes.data(); }
    uint8_t operator[](size_t index) const { return m_bytes[index]; }
    const std::vector<uint8_t>& bytes() const { return m_bytes; }

    // True when the buffer holds at least three bytes and its last two are the CRC (low byte
    // first) of all the bytes before them.
    bool TrailerMatches() const;

    // The length of the device frame the buffer holds from its first byte to the byte received
    // last, or 0 when it holds none: the CRC must match and the function code's length rule must
    // accept the buffer (a status reply has no length byte and takes the whole buffer).
    uint16_t CompleteFrameLength() const;

    // A reply always has its function code in byte 1, so a buffer whose byte 1 is none of them
    // starts with a stray byte: drops such bytes from the front; returns how many.
    size_t DropStrayBytes();

private:
    void Recompute();

    std::vector<uint8_t> m_bytes;
    uint16_t m_prefixCrc = 0xFFFF;  // CRC of m_bytes[0 .. size-2)
};
