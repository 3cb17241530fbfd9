#include "protocol/Protocol.h"

#include <array>
#include <cstring>

namespace {

// Reflected table for polynomial 0x8005 (0xA001 reflected), built once at compile time.
constexpr std::array<uint16_t, 256> MakeCrcTable() {
    std::array<uint16_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
        table[i] = crc;
    }
    return table;
}

constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();

void PutBigEndian16(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>((value >> 8) & 0xFF);
    out[1] = static_cast<uint8_t>(value & 0xFF);
}

// Appends the CRC of out[0..length) at out[length], low byte first; returns the new length.
uint32_t AppendCrc(uint8_t* out, uint32_t length) {
    const uint16_t crc = Crc16Modbus(out, length);
    out[length] = static_cast<uint8_t>(crc & 0xFF);
    out[length + 1] = static_cast<uint8_t>(crc >> 8);
    return length + 2;
}

}  // namespace

uint16_t Crc16ModbusUpdate(uint16_t crc, uint8_t byte) {
    return static_cast<uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ byte) & 0xFF]);
}

uint16_t Crc16Modbus(const uint8_t* data, uint32_t length) {
    uint16_t crc = 0xFFFF;
    if (!data)
        return crc;
    for (uint32_t i = 0; i < length; ++i)
        crc = static_cast<uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ data[i]) & 0xFF]);
    return crc;
}

void BuildVerifyParams(const uint8_t* payload, uint32_t length, uint8_t record[16], uint8_t& recordLength) {
    if (!payload)
        length = 0;
    record[0] = 0x08;
    record[1] = 0x00;
    record[2] = 0x60;
    record[3] = 0x00;
    record[4] = static_cast<uint8_t>(length >> 24);
    record[5] = static_cast<uint8_t>(length >> 16);
    record[6] = static_cast<uint8_t>(length >> 8);
    record[7] = static_cast<uint8_t>(length);
    record[8] = 0x00;
    record[9] = 0x00;
    const uint16_t crc = Crc16Modbus(payload, length);
    record[10] = static_cast<uint8_t>(crc & 0xFF);
    record[11] = static_cast<uint8_t>(crc >> 8);
    uint8_t sum = 0;
    uint8_t x = 0;
    for (uint32_t i = 0; i < length; ++i) {
        sum = static_cast<uint8_t>(sum + payload[i]);
        x = static_cast<uint8_t>(x ^ payload[i]);
    }
    record[12] = sum;
    record[13] = x;
    record[14] = 0xCC;
    record[15] = 0xCC;
    recordLength = VERIFY_PARAMS_RECORD_LENGTH;
}

uint32_t BuildTriggerFrame(uint8_t out[TRIGGER_FRAME_LENGTH]) {
    static constexpr uint8_t kWake[] = {0xFF, 0x00, 0xFF, 0x00, 0xAA, 0x55};
    std::memcpy(out, kWake, sizeof(kWake));
    std::memcpy(out + sizeof(kWake), TRIGGER_TAG, 13);
    out[19] = 0x00;
    return TRIGGER_FRAME_LENGTH;
}

uint32_t BuildModelQueryFrame(uint8_t address, uint16_t lengthWord, uint8_t out[MODEL_QUERY_FRAME_LENGTH]) {
    out[0] = address;
    out[1] = FUNC_MODEL;
    out[2] = 0x00;
    out[3] = 0x65;
    PutBigEndian16(out + 4, lengthWord);
    return AppendCrc(out, 6);
}

uint32_t BuildStatusQueryFrame(uint8_t address, uint8_t out[STATUS_QUERY_FRAME_LENGTH]) {
    out[0] = address;
    out[1] = FUNC_STATUS;
    out[2] = 0x00;
    out[3] = 0x65;
    out[4] = 0x00;
    out[5] = 0x0A;
    out[6] = 0x0A;
    std::memset(out + 7, 0, 10);
    return AppendCrc(out, 17);
}

uint32_t BuildVerifyParamsFrame(uint8_t address, uint16_t blockCount, const uint8_t record[16],
                                uint8_t out[VERIFY_PARAMS_FRAME_LENGTH]) {
    out[0] = address;
    out[1] = FUNC_BLOCK;
    PutBigEndian16(out + 2, FIRMWARE_BLOCK_BASE);
    PutBigEndian16(out + 4, blockCount);
    out[6] = VERIFY_PARAMS_RECORD_LENGTH;
    std::memcpy(out + 7, record, VERIFY_PARAMS_RECORD_LENGTH);
    return AppendCrc(out, 23);
}

uint32_t BuildDataBlockFrame(uint8_t address, uint16_t blockNumber, uint16_t blockCount, const uint8_t* data,
                             uint32_t n, uint8_t out[MAX_FRAME_LENGTH]) {
    if (n == 0 || n > BLOCK_SIZE || !data)
        return 0;
    out[0] = address;
    out[1] = FUNC_BLOCK;
    PutBigEndian16(out + 2, blockNumber);
    PutBigEndian16(out + 4, blockCount);
    out[6] = static_cast<uint8_t>(n);
    std::memcpy(out + 7, data, n);
    return AppendCrc(out, 7 + n);
}

CString FormatHexBytes(const uint8_t* bytes, size_t length) {
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text;
    text.reserve(length * 3);
    for (size_t i = 0; bytes && i < length; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
        text += L' ';
    }
    return CString(std::move(text));
}

void ParseDeviceFrame(const uint8_t* bytes, uint16_t length, DeviceFrame& frame) {
    frame = DeviceFrame{};
    frame.frameLength = length;
    if (!bytes || length < 3)
        return;
    const uint16_t received = static_cast<uint16_t>(bytes[length - 2] | (bytes[length - 1] << 8));
    if (Crc16Modbus(bytes, length - 2u) != received)
        return;
    frame.address = bytes[0];
    frame.functionCode = bytes[1];
    frame.valid = 1;
    const auto word = [bytes](int offset) {
        return static_cast<uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
    };
    switch (frame.functionCode) {
        case FUNC_STATUS:
            if (length >= 5) {
                frame.status = bytes[2];
                if (length > 5) {
                    frame.dataLength = static_cast<uint8_t>((length - 5) % 256);
                    frame.data.assign(bytes + 3, bytes + 3 + frame.dataLength);
                }
            }
            break;
        case FUNC_BLOCK:
            if (length >= 8) {
                frame.blockNumber = word(2);
                frame.blockCount = word(4);
            }
            break;
        case FUNC_MODEL:
            if (length >= 4) {
                frame.dataLength = bytes[2];
                if (frame.dataLength != 0 && length >= frame.dataLength + 5) {
                    frame.data.assign(bytes + 3, bytes + 3 + frame.dataLength);
                }
            }
            break;
        case FUNC_EXTENDED:
            if (length >= 8) {
                frame.dataLength = bytes[2];
                frame.blockNumber = word(3);
                frame.blockCount = word(5);
                if (frame.dataLength >= 4 && length >= frame.dataLength + 5) {
                    frame.data.assign(bytes + 7, bytes + 7 + (frame.dataLength - 4));
                }
            }
            break;
        default:
            frame.valid = 0;
            break;
    }
}
