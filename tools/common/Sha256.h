// SHA-256, so the station record and the simulator's summary can name an image or a received payload
// by a digest that anybody can recompute from the original file with standard tools.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class Sha256 {
public:
    Sha256();

    void Update(const uint8_t* data, size_t length);
    // Finishes the digest; the object must not be updated afterwards.
    std::array<uint8_t, 32> Final();

    // Lower-case hex digest of a whole buffer.
    static std::string Hex(const std::vector<uint8_t>& data);

private:
    void Compress(const uint8_t* block);

    std::array<uint32_t, 8> m_state;
    std::array<uint8_t, 64> m_block{};
    size_t m_blockUsed = 0;
    uint64_t m_totalBytes = 0;
};
