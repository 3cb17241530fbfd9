// BaseUpdate: the interface through which the main dialog drives either update engine, plus the
// state it polls and the one way an engine talks to the device, SendFrame. Engines are passive
// state machines: they act only when called, always on the GUI thread.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/CString.h"
#include "framework/Log.h"
#include "framework/WinTypes.h"
#include "protocol/Protocol.h"

class SerialPort;

// The protocol settings the dialog shares with the engines; read afresh for every frame built.
struct ProtocolConfig {
    uint8_t address = 1;
};

class BaseUpdate {
public:
    BaseUpdate() = default;
    BaseUpdate(const BaseUpdate&) = delete;
    BaseUpdate& operator=(const BaseUpdate&) = delete;
    virtual ~BaseUpdate();

    // Refused (0, nothing changed) while running. On success sets the file fields and m_data.
    virtual BOOL LoadFile(const CString& path) = 0;
    virtual void SetProtocol(ProtocolConfig* protocol);
    virtual void SetSerialPort(SerialPort* port);
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual void HandleFrame(const DeviceFrame& frame) = 0;
    virtual int32_t GetProgress() const = 0;
    virtual CString GetStateText() const = 0;
    virtual BOOL IsRunning() const;
    virtual BOOL IsStopped() const;
    virtual BOOL IsCompleted() const;
    virtual CString GetStatusMessage() const;

    // Logs the frame's hex dump, then writes it in one piece. 1 when every byte was written.
    BOOL SendFrame(const uint8_t* data, uint32_t length);

    CString m_filePath;
    uint32_t m_fileSize = 0;
    uint32_t m_totalBlocks = 0;
    uint32_t m_blocksDone = 0;
    int32_t m_running = 0;
    int32_t m_stopped = 0;
    int32_t m_completed = 0;
    CString m_statusMessage;
    std::vector<uint8_t> m_data;
    ProtocolConfig* m_protocol = nullptr;
    SerialPort* m_serialPort = nullptr;
    LogCallback m_logCallback;

protected:
    void Log(LOG_LEVEL level, const CString& text) const;
    uint8_t Address() const { return m_protocol ? m_protocol->address : 0; }
    // Sends data block `index` of m_data under block number `number`, logging the block's line
    // first; on success that line becomes the status message. A failed write logs
    // "发送数据块 %u 失败" and returns false, leaving the abort to the engine.
    bool SendDataBlockFrame(uint32_t index, uint16_t number, uint32_t totalBlocks);
};
