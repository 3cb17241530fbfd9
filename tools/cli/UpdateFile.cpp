#include "tools/cli/UpdateFile.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tools/common/Sha256.h"
#include "update/FirmwareUpdate.h"
#include "update/ProgramUpdate.h"

namespace fs = std::filesystem;

namespace {

// The tool's paths are UTF-8 on every system. Built from char8_t they stay so on Windows too, where
// a path made from a plain narrow string is read in the ANSI code page and Chinese names are lost.
fs::path Utf8Path(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Text(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace

bool InspectUpdateFile(HostOptions::Kind kind, const std::string& path, UpdateFileInfo& info) {
    info = UpdateFileInfo{};
    std::error_code ec;
    const fs::path file = Utf8Path(path);
    info.path = Utf8Text(fs::absolute(file, ec));
    if (!fs::exists(file, ec)) {
        info.error = "the file " + path + " does not exist";
        return false;
    }
    if (fs::is_directory(file, ec)) {
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

    std::ifstream in(Utf8Path(info.path), std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in.eof() && in.fail()) {
        info.error = "the file " + path + " could not be read";
        return false;
    }
    info.fileBytes = bytes.size();
    info.sha256 = Sha256::Hex(bytes);
    return true;
}
