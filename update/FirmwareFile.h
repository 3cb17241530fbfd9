// FirmwareFile: one firmware image (.trs) read whole from disk, its 274-byte header checked and its
// payload verified against the header's keyed CRC-32. Also the pieces that make an image, so that
// the image tool and the tests build exactly what Verify accepts.
//
// Layout, integers little-endian: "tamro\0" | 2 reserved | header length (274) | payload length |
// check value | chip model (256 bytes of GBK text, 0x00-terminated unless it fills the field) |
// payload. Nothing may follow the payload.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/CString.h"
#include "framework/FileApi.h"
#include "protocol/Protocol.h"

constexpr uint32_t FIRMWARE_HEADER_SIZE = 274;
constexpr uint32_t FIRMWARE_CHIP_MODEL_SIZE = 256;
// Longest chip model an image can be made with: the field keeps room for its 0x00.
constexpr uint32_t FIRMWARE_MAX_CHIP_MODEL = FIRMWARE_CHIP_MODEL_SIZE - 1;
constexpr uint8_t FIRMWARE_MAGIC[6] = {'t', 'a', 'm', 'r', 'o', 0x00};
constexpr uint32_t PAYLOAD_INVALID = 0x7FFFFFFF;

// Firmware block i travels as number FIRMWARE_BLOCK_BASE + 1 + i in a 16-bit field, so 55535 blocks
// are all a payload can have before the numbers would wrap.
constexpr uint32_t FIRMWARE_MAX_BLOCKS = 0xFFFF - FIRMWARE_BLOCK_BASE;
constexpr uint32_t FIRMWARE_MAX_PAYLOAD = FIRMWARE_MAX_BLOCKS * BLOCK_SIZE;  // 2776750

// The key mixed into the image check value, one letter per byte of the CRC (least significant first).
constexpr uint8_t kFirmwareKey[4] = {'O', 'R', 'V', 'K'};

#pragma pack(push, 1)
struct FirmwareHeader {
    uint8_t magic[6];
    uint8_t reserved[2];
    uint8_t headerLength[2];
    uint8_t payloadLength[4];
    uint8_t checkValue[4];
    uint8_t chipModel[FIRMWARE_CHIP_MODEL_SIZE];
};
#pragma pack(pop)
static_assert(sizeof(FirmwareHeader) == FIRMWARE_HEADER_SIZE, "the header is packed to 274 bytes");

// What is wrong with an image's header, checked in this order; the first problem found is reported.
enum FIRMWARE_HEADER_CHECK {
    FIRMWARE_HEADER_OK = 0,
    FIRMWARE_HEADER_TOO_SHORT,           // fewer than 274 bytes in the file
    FIRMWARE_HEADER_BAD_MAGIC,           // not "tamro\0"
    FIRMWARE_HEADER_BAD_LENGTH,          // header length field is not 274
    FIRMWARE_HEADER_BAD_PAYLOAD_LENGTH,  // payload length field is not the file size minus 274
};

FIRMWARE_HEADER_CHECK CheckFirmwareHeader(const uint8_t* file, uint32_t fileSize);

uint16_t FirmwareHeaderLength(const FirmwareHeader& header);
uint32_t FirmwarePayloadLength(const FirmwareHeader& header);
uint32_t FirmwareCheckValue(const FirmwareHeader& header);

// CRC-32 (ISO-HDLC, as zlib computes it) of the data, with key[i] added modulo 256 to byte i of the
// CRC, byte 0 being the least significant. The table is built afresh on every call.
uint32_t KeyedCrc32(const uint8_t* data, uint32_t length, const uint8_t key[4] = kFirmwareKey);

// Builds a whole image file. chipModel is GBK text of at most FIRMWARE_MAX_CHIP_MODEL bytes; false
// (image left empty) when it is longer or the file would not fit a 32-bit size.
bool BuildFirmwareImage(const uint8_t* payload, uint32_t length, const std::string& chipModel,
                        std::vector<uint8_t>& image, const uint8_t key[4] = kFirmwareKey);

class FirmwareFile {
public:
    FirmwareFile() = default;
    FirmwareFile(const FirmwareFile&) = delete;
    FirmwareFile& operator=(const FirmwareFile&) = delete;
    ~FirmwareFile();

    // True when the whole file was read; whether its header is valid is kept apart (IsHeaderValid).
    // The file stays open, readable by others but not writable, until Release.
    bool Load(CString path);
    // True when a file is loaded, its header is valid and the payload's check value matches.
    bool Verify();
    // Copies the payload to dest (if not null) and returns its length, or PAYLOAD_INVALID.
    uint32_t GetPayload(uint8_t* dest);
    // The header's chip model, widened from GBK; empty unless the header is valid.
    CString GetChipModel() const;
    bool Release();

    bool IsLoaded() const { return m_loaded; }
    bool IsHeaderValid() const { return m_headerValid; }

    // Size of the file as the system reports it (low 32 bits); kept after a failed Load.
    uint32_t m_fileSize = 0;

private:
    bool MakePayload();

    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    CString m_path;
    FirmwareHeader m_header{};
    std::unique_ptr<uint8_t[]> m_buffer;
    std::unique_ptr<uint8_t[]> m_payload;
    uint32_t m_payloadSize = 0;
    bool m_loaded = false;
    bool m_headerValid = false;
};
