#include "protocol/ReceiveBuffer.h"

#include <algorithm>

#include "protocol/Protocol.h"

void ReceiveBuffer::push_back(uint8_t byte) {
    m_bytes.push_back(byte);
    // The byte that just stopped being one of the last two joins the prefix.
    if (m_bytes.size() >= 3)
        m_prefixCrc = Crc16ModbusUpdate(m_prefixCrc, m_bytes[m_bytes.size() - 3]);
}

void ReceiveBuffer::erase_front(size_t count) {
    m_bytes.erase(m_bytes.begin(),
                  m_bytes.begin() + static_cast<std::ptrdiff_t>(std::min(count, m_bytes.size())));
    Recompute();
}

void ReceiveBuffer::clear() {
    m_bytes.clear();
    m_prefixCrc = 0xFFFF;
}

void ReceiveBuffer::Recompute() {
    const size_t prefix = m_bytes.size() >= 2 ? m_bytes.size() - 2 : 0;
    m_prefixCrc = Crc16Modbus(m_bytes.data(), static_cast<uint32_t>(prefix));
}

bool ReceiveBuffer::TrailerMatches() const {
    const size_t n = m_bytes.size();
    if (n < 3)
        return false;
    return m_prefixCrc == static_cast<uint16_t>(m_bytes[n - 2] | (m_bytes[n - 1] << 8));
}

uint16_t ReceiveBuffer::CompleteFrameLength() const {
    const auto length = static_cast<uint16_t>(m_bytes.size());
    if (length < 3 || !TrailerMatches())
        return 0;
    const uint8_t count = m_bytes[2];
    switch (m_bytes[1]) {
        case FUNC_EXTENDED:
            return length >= 8 && length >= count + 5 ? static_cast<uint16_t>(count + 5) : 0;
        case FUNC_MODEL:
            return length >= 4 && length >= count + 5 ? static_cast<uint16_t>(count + 5) : 0;
        case FUNC_BLOCK:
            return length >= 8 ? static_cast<uint16_t>(BLOCK_ACK_LENGTH) : 0;
        case FUNC_STATUS:
            return length >= 5 ? length : 0;
        default:
            return 0;
    }
}

size_t ReceiveBuffer::DropStrayBytes() {
    const auto isCode = [](uint8_t b) {
        return b == FUNC_EXTENDED || b == FUNC_MODEL || b == FUNC_BLOCK || b == FUNC_STATUS;
    };
    size_t stray = 0;
    while (m_bytes.size() - stray >= 2 && !isCode(m_bytes[stray + 1]))
        ++stray;
    if (stray > 0)
        erase_front(stray);
    return stray;
}
