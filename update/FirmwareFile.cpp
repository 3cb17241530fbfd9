#include "update/FirmwareFile.h"

#include <array>
#include <cstring>
#include <new>

#include "framework/TextCodec.h"

namespace {

constexpr uint32_t kCrc32Polynomial = 0xEDB88320;  // reflected form of 0x04C11DB7

uint32_t ReadLittleEndian(const uint8_t* bytes, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

void WriteLittleEndian(uint8_t* bytes, uint32_t value, int count) {
    for (int i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

uint16_t FirmwareHeaderLength(const FirmwareHeader& header) {
    return static_cast<uint16_t>(ReadLittleEndian(header.headerLength, 2));
}

uint32_t FirmwarePayloadLength(const FirmwareHeader& header) {
    return ReadLittleEndian(header.payloadLength, 4);
}

uint32_t FirmwareCheckValue(const FirmwareHeader& header) {
    return ReadLittleEndian(header.checkValue, 4);
}

FIRMWARE_HEADER_CHECK CheckFirmwareHeader(const uint8_t* file, uint32_t fileSize) {
    if (!file || fileSize < FIRMWARE_HEADER_SIZE)
        return FIRMWARE_HEADER_TOO_SHORT;
    FirmwareHeader header;
    std::memcpy(&header, file, sizeof(header));
    if (std::memcmp(header.magic, FIRMWARE_MAGIC, sizeof(FIRMWARE_MAGIC)) != 0)
        return FIRMWARE_HEADER_BAD_MAGIC;
    if (FirmwareHeaderLength(header) != FIRMWARE_HEADER_SIZE)
        return FIRMWARE_HEADER_BAD_LENGTH;
    if (FirmwarePayloadLength(header) != fileSize - FIRMWARE_HEADER_SIZE)
        return FIRMWARE_HEADER_BAD_PAYLOAD_LENGTH;
    return FIRMWARE_HEADER_OK;
}

uint32_t KeyedCrc32(const uint8_t* data, uint32_t length, const uint8_t key[4]) {
    std::array<uint32_t, 256> table;
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? (c >> 1) ^ kCrc32Polynomial : c >> 1;
        table[i] = c;
    }
    uint32_t crc = 0xFFFFFFFF;
    for (uint32_t i = 0; data && i < length; ++i)
        crc = (crc >> 8) ^ table[(crc ^ data[i]) & 0xFF];
    crc = ~crc;
    // Each byte takes its key letter on its own: no carry runs into the next byte.
    uint32_t keyed = 0;
    for (int i = 0; i < 4; ++i) {
        const auto byte = static_cast<uint8_t>((crc >> (8 * i)) + key[i]);
        keyed |= static_cast<uint32_t>(byte) << (8 * i);
    }
    return keyed;
}

bool BuildFirmwareImage(const uint8_t* payload, uint32_t length, const std::string& chipModel,
                        std::vector<uint8_t>& image, const uint8_t key[4]) {
    image.clear();
    if (chipModel.size() > FIRMWARE_MAX_CHIP_MODEL)
        return false;
    if (length > 0xFFFFFFFEu - FIRMWARE_HEADER_SIZE || (!payload && length > 0))
        return false;
    FirmwareHeader header{};
    std::memcpy(header.magic, FIRMWARE_MAGIC, sizeof(FIRMWARE_MAGIC));
    WriteLittleEndian(header.headerLength, FIRMWARE_HEADER_SIZE, 2);
    WriteLittleEndian(header.payloadLength, length, 4);
    WriteLittleEndian(header.checkValue, KeyedCrc32(payload, length, key), 4);
    std::memcpy(header.chipModel, chipModel.data(), chipModel.size());
    image.resize(FIRMWARE_HEADER_SIZE + static_cast<size_t>(length));
    std::memcpy(image.data(), &header, sizeof(header));
    if (length > 0)
        std::memcpy(image.data() + FIRMWARE_HEADER_SIZE, payload, length);
    return true;
}

FirmwareFile::~FirmwareFile() {
    Release();
}

bool FirmwareFile::Load(CString path) {
    if (m_loaded)
        Release();
    if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES)
        return false;

    m_hFile = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                          nullptr);
    if (m_hFile == INVALID_HANDLE_VALUE)
        return false;

    auto fail = [this] {
        m_buffer.reset();
        CloseHandle(m_hFile);
        m_hFile = INVALID_HANDLE_VALUE;
        return false;
    };

    DWORD high = 0;
    m_fileSize = GetFileSize(m_hFile, &high);
    // Beyond 4 GiB the low half alone would describe only part of the file.
    if (high != 0 || m_fileSize < FIRMWARE_HEADER_SIZE || m_fileSize == INVALID_FILE_SIZE)
        return fail();

    m_buffer.reset(new (std::nothrow) uint8_t[m_fileSize]);
    if (!m_buffer)
        return fail();
    DWORD read = 0;
    if (!ReadFile(m_hFile, m_buffer.get(), m_fileSize, &read, nullptr) || read != m_fileSize)
        return fail();

    m_path = path;
    m_loaded = true;
    std::memcpy(&m_header, m_buffer.get(), sizeof(m_header));
    m_headerValid = CheckFirmwareHeader(m_buffer.get(), m_fileSize) == FIRMWARE_HEADER_OK;
    return true;
}

bool FirmwareFile::MakePayload() {
    m_payload.reset();
    m_payloadSize = 0;
    const uint32_t size = m_fileSize - FIRMWARE_HEADER_SIZE;
    // One byte at least, so that an empty payload still has an array to point at.
    m_payload.reset(new (std::nothrow) uint8_t[size > 0 ? size : 1]);
    if (!m_payload)
        return false;
    if (size > 0)
        std::memcpy(m_payload.get(), m_buffer.get() + FIRMWARE_HEADER_SIZE, size);
    m_payloadSize = size;
    return true;
}

bool FirmwareFile::Verify() {
    if (!m_loaded || !m_headerValid || !m_buffer)
        return false;
    if (!MakePayload())
        return false;
    return KeyedCrc32(m_payload.get(), m_payloadSize) == FirmwareCheckValue(m_header);
}

uint32_t FirmwareFile::GetPayload(uint8_t* dest) {
    if (!m_loaded || !m_headerValid || !m_buffer)
        return PAYLOAD_INVALID;
    if (!m_payload && !MakePayload())
        return PAYLOAD_INVALID;
    if (dest && m_payloadSize > 0)
        std::memcpy(dest, m_payload.get(), m_payloadSize);
    return m_payloadSize;
}

CString FirmwareFile::GetChipModel() const {
    if (!m_headerValid)
        return CString();
    return AnsiToWide(m_header.chipModel, sizeof(m_header.chipModel));
}

bool FirmwareFile::Release() {
    m_buffer.reset();
    m_payload.reset();
    if (m_hFile != INVALID_HANDLE_VALUE) {
        CloseHandle(m_hFile);
        m_hFile = INVALID_HANDLE_VALUE;
    }
    m_loaded = false;
    m_headerValid = false;
    m_fileSize = 0;
    m_payloadSize = 0;
    m_path.Empty();
    std::memset(&m_header, 0, sizeof(m_header));
    return true;
}
