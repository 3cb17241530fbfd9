// The serial protocol between the tool and the device: function codes, block constants, the host's
// frames, the CRC-16/MODBUS checksum, the verify-parameters record and the parsed device frame.
//
// Frames are "address, function code, body, CRC" with the CRC over everything before it, written low
// byte first; numbers inside the body are big-endian. The trigger frame alone has no address and no CRC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "framework/CString.h"

constexpr uint8_t FUNC_EXTENDED = 0x67;
constexpr uint8_t FUNC_MODEL = 0x69;
constexpr uint8_t FUNC_BLOCK = 0x6A;
constexpr uint8_t FUNC_STATUS = 0x6C;

constexpr uint32_t BLOCK_SIZE = 50;
constexpr uint32_t FIRMWARE_BLOCK_BASE = 10000;

constexpr uint32_t TRIGGER_FRAME_LENGTH = 20;
constexpr uint32_t MODEL_QUERY_FRAME_LENGTH = 8;
constexpr uint32_t STATUS_QUERY_FRAME_LENGTH = 19;
constexpr uint32_t VERIFY_PARAMS_FRAME_LENGTH = 25;
constexpr uint32_t VERIFY_PARAMS_RECORD_LENGTH = 16;
constexpr uint32_t DATA_BLOCK_OVERHEAD = 9;
constexpr uint32_t MAX_FRAME_LENGTH = BLOCK_SIZE + DATA_BLOCK_OVERHEAD;  // 59
constexpr uint32_t BLOCK_ACK_LENGTH = 8;

// Length word of the model query: 0x0480 asks the device to go to 115200 baud after answering.
constexpr uint16_t MODEL_QUERY_LENGTH_LOW_SPEED = 0x0000;
constexpr uint16_t MODEL_QUERY_LENGTH_HIGH_SPEED = 0x0480;

// The 13 printable characters the trigger frame carries after its wake-up pattern.
constexpr char TRIGGER_TAG[] = "ORVANE-UPDATE";
static_assert(sizeof(TRIGGER_TAG) == 14, "the trigger tag is 13 characters");

// Number of BLOCK_SIZE blocks a payload of `size` bytes makes (the last one may be short).
constexpr uint32_t BlockCount(uint32_t size) {
    return (size + (BLOCK_SIZE - 1)) / BLOCK_SIZE;
}

uint16_t Crc16Modbus(const uint8_t* data, uint32_t length);
// One more byte into a running CRC-16/MODBUS (start from 0xFFFF).
uint16_t Crc16ModbusUpdate(uint16_t crc, uint8_t byte);

// Fills the 16-byte record that announces a firmware payload: 08 00 60 00, the length (big-endian),
// 00 00, the payload's CRC-16/MODBUS (low byte first), its byte sum and XOR, CC CC.
void BuildVerifyParams(const uint8_t* payload, uint32_t length, uint8_t record[16], uint8_t& recordLength);

// Each builder writes one whole host frame into `out` and returns its length.
uint32_t BuildTriggerFrame(uint8_t out[TRIGGER_FRAME_LENGTH]);
uint32_t BuildModelQueryFrame(uint8_t address, uint16_t lengthWord, uint8_t out[MODEL_QUERY_FRAME_LENGTH]);
uint32_t BuildStatusQueryFrame(uint8_t address, uint8_t out[STATUS_QUERY_FRAME_LENGTH]);
uint32_t BuildVerifyParamsFrame(uint8_t address, uint16_t blockCount, const uint8_t record[16],
                                uint8_t out[VERIFY_PARAMS_FRAME_LENGTH]);
// `n` is 1..BLOCK_SIZE; returns n + 9, or 0 when n is out of range.
uint32_t BuildDataBlockFrame(uint8_t address, uint16_t blockNumber, uint16_t blockCount, const uint8_t* data,
                             uint32_t n, uint8_t out[MAX_FRAME_LENGTH]);

// "%02X " per byte: two upper-case hex digits and a space, so the text ends with a space.
CString FormatHexBytes(const uint8_t* bytes, size_t length);

// One frame received from the device.
struct DeviceFrame {
    int32_t valid = 0;
    uint8_t address = 0;
    uint8_t functionCode = 0;
    uint8_t status = 0;
    uint16_t blockNumber = 0;
    uint16_t blockCount = 0;
    uint8_t dataLength = 0;
    uint16_t frameLength = 0;
    std::vector<uint8_t> data;
};

// Fills `frame` from the first `length` bytes of a received frame. `valid` is set when the CRC
// matches and the function code is one of the four the device uses.
void ParseDeviceFrame(const uint8_t* bytes, uint16_t length, DeviceFrame& frame);
