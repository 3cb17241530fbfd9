// ProgramUpdate: sends a program file (.tr3, 1 to 200000 raw bytes) to the device in blocks of
// BLOCK_SIZE bytes numbered from 0, each after the device acknowledged the one before. The run
// starts with the trigger frame and ends when the last block is acknowledged.
#pragma once

#include <cstdint>

#include "update/BaseUpdate.h"

enum PROG_STATE {
    PROG_IDLE = 0,
    PROG_SEND_BLOCK = 1,
    PROG_WAIT_BLOCK_ACK = 2,
    PROG_FINISH = 3,
    PROG_STOPPED = 4,
};

constexpr uint32_t PROGRAM_MAX_SIZE = 200000;

class ProgramUpdate : public BaseUpdate {
public:
    ProgramUpdate() = default;
    ~ProgramUpdate() override;

    BOOL LoadFile(const CString& path) override;
    void Start() override;
    void Stop() override;
    void HandleFrame(const DeviceFrame& frame) override;
    int32_t GetProgress() const override;
    CString GetStateText() const override;

    int32_t m_state = PROG_IDLE;
    uint32_t m_blockIndex = 0;
    uint32_t m_blockCount = 0;

private:
    // Acts on the current state: sends the next block or completes the run.
    void Advance();
    void SendNextBlock();
};
