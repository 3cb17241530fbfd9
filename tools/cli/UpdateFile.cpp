#include "tools/cli/UpdateFile.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tools/sim/Sha256.h"
#include "update/FirmwareUpdate.h"
#include "update/ProgramUpdate.h"

bool InspectUpdateFile(HostOptions::Kind kind, const std::string& path, UpdateFileInfo& info) {
    info = UpdateFileInfo{};
    std::error_code ec;
    info.path = std::filesystem::absolute(path, ec).string();
    if (!std::filesystem::exists(path, ec)) {
        info.error = "the file " + path + " does not exist";
        return false;
    }
    if (std::filesystem::is_directory(path, ec)) {
        info.error = path + " is a folder, not a file";
        return false;
    }
    FirmwareUpdate firmware;
    ProgramUpdate program;
    BaseUpdate& engine = kind == HostOptions::Kind::Firmware ? static_cast<BaseUpdate&>(firmware)
                                                             : static_cast<BaseUpdate&>(program);
    if (!engine.LoadFile(CString::FromUtf8(info.path))) {
        info.error = engine.GetStatusMessage().ToUtf8();
        return false;
    }
    info.payloadBytes = engine.m_fileSize;
    info.blocks = engine.m_totalBlocks;

    std::ifstream in(info.path, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in.eof() && in.fail()) {
        info.error = "the file " + path + " could not be read";
        return false;
    }
    info.fileBytes = bytes.size();
    info.sha256 = Sha256::Hex(bytes);
    return true;
}
