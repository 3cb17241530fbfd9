#include "update/FirmwareUpdate.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <thread>
#include <vector>

#include "framework/TextCodec.h"
#include "serial/SerialPort.h"
#include "update/FirmwareFile.h"

namespace {

using namespace std::chrono_literals;

// After the model query asks for 115200 the device needs a moment before the line changes speed.
constexpr std::chrono::milliseconds kSpeedChangeDelay = 50ms;

constexpr uint32_t kLowBaudRate = 9600;
constexpr uint32_t kHighBaudRate = 115200;

}  // namespace

FirmwareUpdate::~FirmwareUpdate() {
    if (m_running)
        FirmwareUpdate::Stop();
}

BOOL FirmwareUpdate::LoadFile(const CString& path) {
    if (m_running)
        return FALSE;
    try {
        FirmwareFile file;
        file.Load(path);
        // Checked before the payload is verified: block numbers of a larger image would wrap.
        if (file.m_fileSize > FIRMWARE_HEADER_SIZE &&
            file.m_fileSize - FIRMWARE_HEADER_SIZE > FIRMWARE_MAX_PAYLOAD) {
            m_statusMessage.Format(L"固件文件过大 (超过%u字节)", FIRMWARE_MAX_PAYLOAD);
            Log(LOG_ERROR, m_statusMessage);
            return FALSE;
        }
        if (!file.Verify()) {
            m_statusMessage = L"固件校验错误，加载固件文件失败";
            Log(LOG_ERROR, m_statusMessage);
            return FALSE;
        }
        const uint32_t size = file.GetPayload(nullptr);
        std::vector<uint8_t> payload(size);
        if (size == PAYLOAD_INVALID || file.GetPayload(payload.data()) != size) {
            m_statusMessage = L"加载固件文件失败";
            return FALSE;
        }
        m_data.swap(payload);
        m_fileSize = size;
        m_chipModel = file.GetChipModel();
    } catch (const std::bad_alloc&) {
        m_statusMessage = L"加载固件文件失败";
        return FALSE;
    }
    m_filePath = path;
    m_totalBlocks = BlockCount(m_fileSize);
    m_statusMessage.Format(L"固件文件加载成功: %s, %u 字节, %u 块", m_filePath, m_fileSize, m_totalBlocks);
    return TRUE;
}

void FirmwareUpdate::Start() {
    if (m_running)
        return;
    if (m_data.empty() || m_fileSize == 0) {
        m_statusMessage = L"请先加载固件文件";
        return;
    }
    if (!m_protocol || !m_serialPort) {
        m_statusMessage = L"协议或串口对象无效";
        return;
    }
    m_running = 1;
    m_stopped = 0;
    m_deviceModel.Empty();
    m_completed = 0;
    m_blocksDone = 0;
    m_blockIndex = 0;
    m_state = FW_SEND_TRIGGER;
    m_statusMessage = L"开始固件更新...";
    ProcessState();
}

void FirmwareUpdate::Stop() {
    if (!m_running)
        return;
    m_running = 0;
    m_stopped = 1;
    m_state = FW_STOPPED;
    m_statusMessage = L"更新已停止";
    Log(LOG_ERROR, m_statusMessage);
}

void FirmwareUpdate::AbortUpdate(const CString& message) {
    m_running = 0;
    m_stopped = 1;
    m_state = FW_STOPPED;
    m_statusMessage = message;
    Log(LOG_ERROR, message);
}

void FirmwareUpdate::ProcessState() {
    if (!m_running || m_stopped)
        return;
    switch (m_state) {
        case FW_SEND_TRIGGER: {
            Log(LOG_INFO, L"发送触发帧");
            uint8_t frame[TRIGGER_FRAME_LENGTH];
            if (!SendFrame(frame, BuildTriggerFrame(frame))) {
                AbortUpdate(L"发送触发帧失败");
                return;
            }
            m_statusMessage = L"发送触发帧，等待...";
            Log(LOG_INFO, L"等待...");
            m_state = FW_WAIT_TRIGGER;
            break;
        }
        case FW_SEND_MODEL_QUERY:
            SendModelQuery();
            break;
        case FW_SEND_STATUS_QUERY:
            SendStatusQuery();
            break;
        case FW_SEND_VERIFY:
            SendVerifyParams();
            break;
        case FW_SEND_BLOCK:
            SendDataBlock();
            break;
        case FW_FINISH:
            Finish();
            break;
        default:
            break;
    }
}

void FirmwareUpdate::SendModelQuery() {
    const uint16_t lengthWord = m_highSpeed ? MODEL_QUERY_LENGTH_HIGH_SPEED : MODEL_QUERY_LENGTH_LOW_SPEED;
    uint8_t frame[MODEL_QUERY_FRAME_LENGTH];
    const uint32_t length = BuildModelQueryFrame(Address(), lengthWord, frame);
    CString text;
    text.Format(L"发送读取MCU (模式: %s, 长度: %u)", m_highSpeed ? L"115200" : L"9600", lengthWord);
    Log(LOG_DEBUG, text);
    if (!SendFrame(frame, length)) {
        AbortUpdate(L"发送读取MCU型号失败");
        return;
    }
    m_statusMessage = text;
    m_state = FW_WAIT_MODEL;
    if (!m_highSpeed)
        return;
    std::this_thread::sleep_for(kSpeedChangeDelay);
    if (m_serialPort->SetBaudRate(kHighBaudRate)) {
        Log(LOG_INFO, L"切换到115200成功");
        m_statusMessage += L" → 切换到115200";
    } else {
        Log(LOG_ERROR, L"切换到115200失败");
        AbortUpdate(L"切换到115200失败");
    }
}

void FirmwareUpdate::SendStatusQuery() {
    uint8_t frame[STATUS_QUERY_FRAME_LENGTH];
    const uint32_t length = BuildStatusQueryFrame(Address(), frame);
    Log(LOG_DEBUG, L"发送获取更新状态");
    if (!SendFrame(frame, length)) {
        AbortUpdate(L"发送获取状态失败");
        return;
    }
    m_statusMessage = L"发送获取更新状态";
    m_state = FW_WAIT_STATUS;
}

void FirmwareUpdate::SendVerifyParams() {
    uint8_t record[VERIFY_PARAMS_RECORD_LENGTH];
    uint8_t recordLength = 0;
    BuildVerifyParams(m_data.data(), m_fileSize, record, recordLength);
    uint8_t frame[VERIFY_PARAMS_FRAME_LENGTH];
    const uint32_t length =
        BuildVerifyParamsFrame(Address(), static_cast<uint16_t>(m_totalBlocks & 0xFFFF), record, frame);
    CString text;
    text.Format(L"发送校验参数 (块号: %u, 数据: %u字节)", m_blockNumberBase, recordLength);
    Log(LOG_DEBUG, text);
    if (!SendFrame(frame, length)) {
        AbortUpdate(L"发送校验参数失败");
        return;
    }
    m_statusMessage = text;
    m_state = FW_WAIT_VERIFY_ACK;
}

uint16_t FirmwareUpdate::BlockNumber(uint32_t index) const {
    return static_cast<uint16_t>((m_blockNumberBase + index + 1) & 0xFFFF);
}

void FirmwareUpdate::SendDataBlock() {
    if (m_blockIndex >= m_totalBlocks) {
        m_state = FW_FINISH;
        ProcessState();
        return;
    }
    if (SendDataBlockFrame(m_blockIndex, BlockNumber(m_blockIndex), m_totalBlocks)) {
        m_state = FW_WAIT_BLOCK_ACK;
        return;
    }
    AbortUpdate(L"发送数据块失败");
}

void FirmwareUpdate::Finish() {
    if (m_highSpeed) {
        if (m_serialPort->SetBaudRate(kLowBaudRate)) {
            Log(LOG_INFO, L"恢复波特率到9600");
            m_statusMessage = L"恢复波特率到9600";
        } else {
            // The firmware is already on the device; the run still counts as complete.
            Log(LOG_ERROR, L"恢复波特率到9600失败");
        }
    }
    m_running = 0;
    m_completed = 1;
    m_statusMessage = L"固件更新完成！";
    Log(LOG_INFO, m_statusMessage);
}

void FirmwareUpdate::HandleFrame(const DeviceFrame& frame) {
    if (!frame.valid || !m_running || m_stopped)
        return;
    if (m_state == FW_WAIT_MODEL && frame.functionCode == FUNC_MODEL) {
        HandleModelReply(frame);
    } else if (m_state == FW_WAIT_STATUS && frame.functionCode == FUNC_STATUS) {
        m_statusMessage.Format(L"收到状态回复: 状态码=0x%02X", frame.status);
        Log(LOG_DEBUG, m_statusMessage);
        m_state = FW_SEND_VERIFY;
        ProcessState();
    } else if ((m_state == FW_WAIT_VERIFY_ACK || m_state == FW_WAIT_BLOCK_ACK) &&
               frame.functionCode == FUNC_BLOCK) {
        HandleBlockAck(frame);
    }
}

void FirmwareUpdate::HandleBlockAck(const DeviceFrame& frame) {
    if (frame.blockNumber < m_blockNumberBase)
        return;
    if (frame.blockNumber == m_blockNumberBase) {
        // The verify step's number. Repeated while a block is outstanding, it sends that block again.
        m_statusMessage.Format(L"校验参数确认 (块号: %u)", frame.blockNumber);
        Log(LOG_DEBUG, m_statusMessage);
        m_state = FW_SEND_BLOCK;
        ProcessState();
        return;
    }
    // Only the block just sent may be acknowledged; a stale or early number would otherwise skip a
    // block the device never received.
    const uint16_t expected =
        m_state == FW_WAIT_VERIFY_ACK ? static_cast<uint16_t>(m_blockNumberBase) : BlockNumber(m_blockIndex);
    if (frame.blockNumber != expected) {
        m_statusMessage.Format(L"块号不匹配: 期望%u, 收到%u", expected, frame.blockNumber);
        Log(LOG_ERROR, m_statusMessage);
        return;
    }
    ++m_blocksDone;
    ++m_blockIndex;
    m_state = m_blockIndex < m_totalBlocks ? FW_SEND_BLOCK : FW_FINISH;
    ProcessState();
}

void FirmwareUpdate::HandleModelReply(const DeviceFrame& frame) {
    CString model;
    if (frame.dataLength > 0 && !frame.data.empty()) {
        model = AnsiToWide(frame.data.data(), frame.data.size());
        m_deviceModel = model;
        m_statusMessage.Format(L"收到MCU型号回复: %s", model);
        Log(LOG_DEBUG, m_statusMessage);
    } else {
        m_statusMessage = L"收到MCU型号回复 (空数据)";
        Log(LOG_ERROR, m_statusMessage);
    }
    if (m_chipModel.IsEmpty() || m_chipModel == model) {
        m_state = FW_SEND_STATUS_QUERY;
        ProcessState();
        return;
    }
    m_statusMessage = L"错误！！！设备芯片型号与固件对应芯片型号不符，不能进行固件更新！";
    Log(LOG_ERROR, m_statusMessage);
    Stop();
}

int32_t FirmwareUpdate::GetProgress() const {
    if (m_totalBlocks == 0)
        return 0;
    if (m_completed)
        return 100;
    if (m_stopped)
        return 0;
    switch (m_state) {
        case FW_SEND_MODEL_QUERY:
        case FW_WAIT_MODEL:
            return 2;
        case FW_SEND_STATUS_QUERY:
        case FW_WAIT_STATUS:
            return 4;
        case FW_SEND_VERIFY:
        case FW_WAIT_VERIFY_ACK:
            return 5;
        case FW_SEND_BLOCK:
        case FW_WAIT_BLOCK_ACK:
            return static_cast<int32_t>(std::min(100u, m_blocksDone * 90u / m_totalBlocks + 5u));
        case FW_FINISH:
            return 100;
        default:
            return 0;
    }
}

CString FirmwareUpdate::GetStateText() const {
    if (m_completed)
        return L"更新完成";
    if (m_stopped)
        return L"更新已停止";
    if (m_totalBlocks == 0)
        return L"等待开始";
    CString text;
    text.Format(L"发送数据 %u/%u", m_blocksDone, m_totalBlocks);
    return text;
}
