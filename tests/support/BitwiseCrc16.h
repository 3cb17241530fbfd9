// CRC-16/MODBUS the way it is defined, bit by bit: the independent reference the table-driven
// routine is checked and measured against in tests, benchmarks and fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>

inline uint16_t BitwiseCrc16Modbus(const uint8_t* data, size_t length) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}
