#include "update/ProgramUpdate.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <thread>
#include <vector>

#include "framework/CFile.h"

namespace {

using namespace std::chrono_literals;

// The device needs a moment after the trigger frame before it takes the first block.
constexpr std::chrono::milliseconds kTriggerSettle = 100ms;

}  // namespace

ProgramUpdate::~ProgramUpdate() {
    if (m_running)
        ProgramUpdate::Stop();
}

BOOL ProgramUpdate::LoadFile(const CString& path) {
    if (m_running)
        return FALSE;
    // Everything is read into locals first: a refused or failed load leaves the file loaded before
    // it (path, size, blocks and data) untouched and usable.
    try {
        CFile file(path, CFile::modeRead | CFile::shareDenyWrite);
        const uint64_t length = file.GetLength();
        if (length == 0 || length > PROGRAM_MAX_SIZE) {
            m_statusMessage = L"程序文件大小无效 (0或超过200000字节)";
            file.Close();
            return FALSE;
        }
        const auto size = static_cast<uint32_t>(length);
        std::vector<uint8_t> data(size);
        const UINT read = file.Read(data.data(), size);
        file.Close();
        // A file that shrank after it was measured would otherwise be sent with zeros at its end.
        if (read != size) {
            m_statusMessage = L"加载程序文件失败";
            return FALSE;
        }
        m_data.swap(data);
        m_fileSize = size;
    } catch (CException* e) {
        e->Delete();
        m_statusMessage = L"加载程序文件失败";
        return FALSE;
    } catch (const std::bad_alloc&) {
        m_statusMessage = L"加载程序文件失败";
        return FALSE;
    }
    m_filePath = path;
    m_blockCount = BlockCount(m_fileSize);
    m_totalBlocks = m_blockCount;
    m_statusMessage.Format(L"程序文件加载成功: %s, %u 字节, %u 块", m_filePath, m_fileSize, m_blockCount);
    return TRUE;
}

void ProgramUpdate::Start() {
    if (m_running)
        return;
    if (m_data.empty() || m_fileSize == 0) {
        m_statusMessage = L"请先加载程序文件";
        Log(LOG_WARNING, m_statusMessage);
        return;
    }
    if (!m_protocol || !m_serialPort) {
        m_statusMessage = L"协议或串口对象无效";
        Log(LOG_WARNING, m_statusMessage);
        return;
    }
    m_running = 1;
    m_stopped = 0;
    m_completed = 0;
    m_blocksDone = 0;
    m_state = PROG_SEND_BLOCK;
    m_blockIndex = 0;
    m_statusMessage = L"开始程序更新...";
    Log(LOG_INFO, m_statusMessage);

    Log(LOG_DEBUG, L"发送触发帧");
    uint8_t trigger[TRIGGER_FRAME_LENGTH];
    const uint32_t length = BuildTriggerFrame(trigger);
    if (!SendFrame(trigger, length)) {
        Log(LOG_ERROR, L"发送触发帧失败");
        Stop();
    }
    std::this_thread::sleep_for(kTriggerSettle);
    Advance();
}

void ProgramUpdate::Advance() {
    if (!m_running || m_stopped)
        return;
    if (m_state == PROG_SEND_BLOCK) {
        SendNextBlock();
    } else if (m_state == PROG_FINISH) {
        m_running = 0;
        m_completed = 1;
        m_statusMessage = L"程序更新完成！";
        Log(LOG_INFO, m_statusMessage);
    }
}

void ProgramUpdate::SendNextBlock() {
    if (m_blockIndex >= m_blockCount) {
        m_state = PROG_FINISH;
        Advance();
        return;
    }
    // A program numbers its blocks from 0.
    if (SendDataBlockFrame(m_blockIndex, static_cast<uint16_t>(m_blockIndex & 0xFFFF), m_blockCount)) {
        m_state = PROG_WAIT_BLOCK_ACK;
        return;
    }
    m_running = 0;
    m_stopped = 1;
    m_state = PROG_STOPPED;
    m_statusMessage = L"发送数据块失败";
    Log(LOG_ERROR, m_statusMessage);
}

void ProgramUpdate::HandleFrame(const DeviceFrame& frame) {
    if (!frame.valid || !m_running || m_stopped || frame.functionCode != FUNC_BLOCK ||
        m_state != PROG_WAIT_BLOCK_ACK) {
        return;
    }
    const auto expectedNumber = static_cast<uint16_t>(m_blockIndex & 0xFFFF);
    if (frame.blockNumber != expectedNumber) {
        m_statusMessage.Format(L"块号不匹配: 期望%u, 收到%u", expectedNumber, frame.blockNumber);
        Log(LOG_ERROR, m_statusMessage);
        return;
    }
    if (frame.blockCount != static_cast<uint16_t>(m_blockCount & 0xFFFF)) {
        m_statusMessage.Format(L"总块数不匹配: 期望%u, 收到%u", m_blockCount, frame.blockCount);
        Log(LOG_ERROR, m_statusMessage);
        return;
    }
    ++m_blocksDone;
    ++m_blockIndex;
    CString line;
    line.Format(L"数据块 %u/%u 确认成功", m_blockIndex, m_blockCount);
    Log(LOG_DEBUG, line);
    m_state = PROG_SEND_BLOCK;
    Advance();
}

void ProgramUpdate::Stop() {
    if (!m_running)
        return;
    m_running = 0;
    m_stopped = 1;
    m_state = PROG_STOPPED;
    m_statusMessage = L"程序更新已停止";
    Log(LOG_ERROR, m_statusMessage);
}

int32_t ProgramUpdate::GetProgress() const {
    if (m_blockCount == 0)
        return 0;
    if (m_completed)
        return 100;
    if (m_stopped)
        return 0;
    return static_cast<int32_t>(m_blocksDone * 100u / m_blockCount);
}

CString ProgramUpdate::GetStateText() const {
    if (m_completed)
        return L"更新完成";
    if (m_stopped)
        return L"更新已停止";
    if (m_blockCount == 0)
        return L"等待开始";
    CString text;
    text.Format(L"写入数据 %u/%u", m_blocksDone, m_blockCount);
    return text;
}
