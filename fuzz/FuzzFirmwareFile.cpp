// Fuzz target: a file with arbitrary contents, read the three ways the program reads a firmware
// image: FirmwareFile (Load, Verify, GetPayload, GetChipModel), the firmware engine's LoadFile, and
// 'orvane-cli image info'; plus CheckFirmwareHeader on the raw bytes. The check value is confirmed
// with zlib's CRC-32, independent of the image code's own. The same file also goes to the program
// engine's LoadFile, the other file a technician opens.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "framework/CString.h"
#include "fuzz/FuzzSupport.h"
#include "tools/cli/Commands.h"
#include "update/FirmwareFile.h"
#include "update/FirmwareUpdate.h"
#include "update/ProgramUpdate.h"

int RunImage(const CommandArgs& args);

namespace {

uint32_t ReadLittleEndian32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

bool CheckValueMatches(const uint8_t* payload, size_t length, const uint8_t checkValue[4]) {
    const auto crc = static_cast<uint32_t>(crc32(0L, payload, static_cast<uInt>(length)));
    for (int i = 0; i < 4; ++i) {
        if (static_cast<uint8_t>((crc >> (8 * i)) + kFirmwareKey[i]) != checkValue[i])
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = FuzzTempDir() + "/image.trs";
    WriteFuzzFile(path, data, size);
    const auto fileSize = static_cast<uint32_t>(size);

    const FIRMWARE_HEADER_CHECK header = CheckFirmwareHeader(data, fileSize);
    const bool headerOk = header == FIRMWARE_HEADER_OK;
    FUZZ_CHECK((header == FIRMWARE_HEADER_TOO_SHORT) == (size < FIRMWARE_HEADER_SIZE));
    if (headerOk)
        FUZZ_CHECK(ReadLittleEndian32(data + 10) == size - FIRMWARE_HEADER_SIZE);
    const uint8_t* payload = data + FIRMWARE_HEADER_SIZE;
    const size_t payloadSize = headerOk ? size - FIRMWARE_HEADER_SIZE : 0;
    const bool checkOk = headerOk && CheckValueMatches(payload, payloadSize, data + 14);

    FirmwareFile file;
    const bool loaded = file.Load(CString::FromUtf8(path));
    FUZZ_CHECK(loaded == (size >= FIRMWARE_HEADER_SIZE));
    FUZZ_CHECK(file.m_fileSize == fileSize);  // kept after a failed load too
    FUZZ_CHECK(file.IsHeaderValid() == headerOk);
    FUZZ_CHECK(file.Verify() == checkOk);

    const uint32_t reported = file.GetPayload(nullptr);
    if (headerOk) {
        FUZZ_CHECK(reported == payloadSize);
        std::vector<uint8_t> copy(reported + 1u, 0xEE);
        FUZZ_CHECK(file.GetPayload(copy.data()) == reported);
        FUZZ_CHECK(std::memcmp(copy.data(), payload, payloadSize) == 0 && copy[reported] == 0xEE);
        // Each byte of the 256-byte field widens to at most one character.
        FUZZ_CHECK(file.GetChipModel().GetLength() <= static_cast<int>(FIRMWARE_CHIP_MODEL_SIZE));
    } else {
        FUZZ_CHECK(reported == PAYLOAD_INVALID);
        FUZZ_CHECK(file.GetChipModel().IsEmpty());
    }

    // A second load of the same object starts from scratch.
    FUZZ_CHECK(file.Load(CString::FromUtf8(path)) == loaded && file.IsHeaderValid() == headerOk);
    file.Release();
    FUZZ_CHECK(!file.IsLoaded() && !file.IsHeaderValid() && file.m_fileSize == 0);
    FUZZ_CHECK(file.GetPayload(nullptr) == PAYLOAD_INVALID && !file.Verify());

    FirmwareUpdate engine;
    const bool accepted = engine.LoadFile(CString::FromUtf8(path)) != FALSE;
    FUZZ_CHECK(accepted == (checkOk && payloadSize <= FIRMWARE_MAX_PAYLOAD));
    if (accepted) {
        FUZZ_CHECK(engine.m_fileSize == payloadSize && engine.m_data.size() == payloadSize);
        FUZZ_CHECK(payloadSize == 0 || std::memcmp(engine.m_data.data(), payload, payloadSize) == 0);
        FUZZ_CHECK(engine.m_totalBlocks == BlockCount(engine.m_fileSize));
    }

    ProgramUpdate program;
    const bool taken = program.LoadFile(CString::FromUtf8(path)) != FALSE;
    FUZZ_CHECK(taken == (size >= 1 && size <= PROGRAM_MAX_SIZE));
    if (taken) {
        FUZZ_CHECK(program.m_fileSize == size && program.m_data.size() == size);
        FUZZ_CHECK(std::memcmp(program.m_data.data(), data, size) == 0);
        FUZZ_CHECK(program.m_totalBlocks == BlockCount(program.m_fileSize));
    }

    // The image tool calls an image valid when it verifies and has something to send.
    const int rc = RunImage({"info", path});
    FUZZ_CHECK(rc == (checkOk && payloadSize > 0 ? kExitOk : kExitFailed));
    return 0;
}
