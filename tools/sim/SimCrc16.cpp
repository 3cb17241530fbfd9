#include "tools/sim/SimCrc16.h"

namespace {

constexpr uint16_t kInitial = 0xFFFF;
constexpr uint16_t kReflectedPolynomial = 0xA001;

}  // namespace

uint16_t SimCrc16Modbus(const uint8_t* data, size_t length) {
    uint16_t crc = kInitial;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1u) ? static_cast<uint16_t>((crc >> 1) ^ kReflectedPolynomial)
                             : static_cast<uint16_t>(crc >> 1);
        }
    }
    return crc;
}

uint16_t SimCrc16Modbus(const std::vector<uint8_t>& data) {
    return SimCrc16Modbus(data.data(), data.size());
}
