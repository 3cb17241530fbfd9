#include "update/BaseUpdate.h"

#include <algorithm>

#include "serial/SerialPort.h"

BaseUpdate::~BaseUpdate() {
    m_logCallback = nullptr;
}

void BaseUpdate::SetProtocol(ProtocolConfig* protocol) {
    m_protocol = protocol;
}

void BaseUpdate::SetSerialPort(SerialPort* port) {
    m_serialPort = port;
}

BOOL BaseUpdate::IsRunning() const {
    return m_running;
}

BOOL BaseUpdate::IsStopped() const {
    return m_stopped;
}

BOOL BaseUpdate::IsCompleted() const {
    return m_completed;
}

CString BaseUpdate::GetStatusMessage() const {
    return m_statusMessage;
}

void BaseUpdate::Log(LOG_LEVEL level, const CString& text) const {
    if (m_logCallback)
        m_logCallback(level, text);
}

BOOL BaseUpdate::SendFrame(const uint8_t* data, uint32_t length) {
    if (!data || length == 0 || !m_serialPort) {
        Log(LOG_ERROR, L"发送报文失败: 数据为空或串口无效");
        return FALSE;
    }
    // The dump goes out before the write, so a frame that then fails is still on record.
    if (m_logCallback)
        Log(LOG_DEBUG, CString(L"发送数据报文：") + FormatHexBytes(data, length));
    if (!m_serialPort->Write(data, length)) {
        Log(LOG_ERROR, L"发送报文失败");
        return FALSE;
    }
    return TRUE;
}

bool BaseUpdate::SendDataBlockFrame(uint32_t index, uint16_t number, uint32_t totalBlocks) {
    const uint32_t offset = index * BLOCK_SIZE;
    const uint32_t n = std::min(BLOCK_SIZE, m_fileSize - offset);
    uint8_t frame[MAX_FRAME_LENGTH];
    const uint32_t length = BuildDataBlockFrame(
        Address(), number, static_cast<uint16_t>(totalBlocks & 0xFFFF), m_data.data() + offset, n, frame);
    CString line;
    line.Format(L"发送数据块 %u/%u (块号: %u, %u字节)", index + 1, totalBlocks, number, n);
    Log(LOG_DEBUG, line);
    if (SendFrame(frame, length)) {
        m_statusMessage = line;
        return true;
    }
    CString failed;
    failed.Format(L"发送数据块 %u 失败", index + 1);
    Log(LOG_ERROR, failed);
    return false;
}
