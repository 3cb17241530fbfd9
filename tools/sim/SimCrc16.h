// CRC-16/MODBUS as the device computes it: over host frames, its own replies and the whole payload
// it has received (which may exceed 65535 bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

uint16_t SimCrc16Modbus(const uint8_t* data, size_t length);
uint16_t SimCrc16Modbus(const std::vector<uint8_t>& data);
