// FirmwareUpdate: takes the device through a firmware update from a verified image file: trigger
// frame, model query (with the optional switch to 115200 baud), chip-model check, status query,
// verify parameters, then the payload block by block, and back to 9600 baud. One step per event:
// a received frame, the dialog's timer 1 after the trigger, or a user command.
#pragma once

#include <cstdint>

#include "update/BaseUpdate.h"

enum FW_STATE {
    FW_IDLE = 0,
    FW_SEND_TRIGGER = 1,
    FW_WAIT_TRIGGER = 2,
    FW_SEND_MODEL_QUERY = 3,
    FW_WAIT_MODEL = 4,
    FW_SEND_STATUS_QUERY = 5,
    FW_WAIT_STATUS = 6,
    FW_SEND_VERIFY = 7,
    FW_WAIT_VERIFY_ACK = 8,
    FW_SEND_BLOCK = 9,
    FW_WAIT_BLOCK_ACK = 10,
    FW_FINISH = 11,
    FW_STOPPED = 12,
};

class FirmwareUpdate : public BaseUpdate {
public:
    FirmwareUpdate() = default;
    ~FirmwareUpdate() override;

    BOOL LoadFile(const CString& path) override;
    void Start() override;
    void Stop() override;
    void HandleFrame(const DeviceFrame& frame) override;
    int32_t GetProgress() const override;
    CString GetStateText() const override;

    // Performs the action of the current state; the waiting states do nothing.
    void ProcessState();

    CString m_chipModel;
    // What the device answered to the model query of the current run; empty until it has.
    CString m_deviceModel;
    int32_t m_state = FW_IDLE;
    int32_t m_highSpeed = 0;
    uint32_t m_blockIndex = 0;
    const uint32_t m_blockNumberBase = FIRMWARE_BLOCK_BASE;

private:
    void SendModelQuery();
    void SendStatusQuery();
    void SendVerifyParams();
    void SendDataBlock();
    void HandleModelReply(const DeviceFrame& frame);
    void HandleBlockAck(const DeviceFrame& frame);
    void Finish();
    void AbortUpdate(const CString& message);
    // Number of the block with the given index on the wire.
    uint16_t BlockNumber(uint32_t index) const;
};
