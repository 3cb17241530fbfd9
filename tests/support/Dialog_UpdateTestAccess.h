// The main window's own state, for tests and benchmarks that check it or set up a case directly
// (a receive buffer filled to a given level, an engine in a given state). Product code drives the
// window through its controls and follows it through its observer instead.
#pragma once

#include "ui/Dialog_Update.h"

class Dialog_UpdateTestAccess {
public:
    explicit Dialog_UpdateTestAccess(Dialog_Update& dialog)
        : m_serial(dialog.m_serial),
          m_protocol(dialog.m_protocol),
          m_firmwareUpdate(dialog.m_firmwareUpdate),
          m_programUpdate(dialog.m_programUpdate),
          m_currentUpdate(dialog.m_currentUpdate),
          m_workMode(dialog.m_workMode),
          m_portOpen(dialog.m_portOpen),
          m_testing(dialog.m_testing),
          m_updating(dialog.m_updating),
          m_addressInput(dialog.m_addressInput),
          m_baudIndex(dialog.m_baudIndex),
          m_rxBuffer(dialog.m_rxBuffer),
          m_logLineCount(dialog.m_logLineCount) {}

    SerialPort& m_serial;
    ProtocolConfig& m_protocol;
    FirmwareUpdate& m_firmwareUpdate;
    ProgramUpdate& m_programUpdate;
    BaseUpdate*& m_currentUpdate;
    int32_t& m_workMode;
    int32_t& m_portOpen;
    int32_t& m_testing;
    int32_t& m_updating;
    uint8_t& m_addressInput;
    int32_t& m_baudIndex;
    ReceiveBuffer& m_rxBuffer;
    int32_t& m_logLineCount;
};

inline Dialog_UpdateTestAccess Inside(Dialog_Update& dialog) {
    return Dialog_UpdateTestAccess(dialog);
}
