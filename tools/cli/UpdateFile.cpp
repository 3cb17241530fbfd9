#include "tools/cli/UpdateFile.h"

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tools/common/Sha256.h"
#include "tools/i18n/Messages.h"
#include "update/FirmwareFile.h"
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

bool HasExtension(const fs::path& file, const char* extension) {
    std::string actual = Utf8Text(file.extension());
    for (char& c : actual)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return actual == extension;
}

// The window's file dialog offers only .tr3 files for a program and only .trs files for a firmware
// image; the tool keeps to that, so a file picked for the wrong command is not sent as something it
// is not. Empty when `file` fits `kind`.
std::string Misfit(HostOptions::Kind kind, const std::string& path, const fs::path& file) {
    if (kind == HostOptions::Kind::Firmware) {
        if (HasExtension(file, ".trs"))
            return "";
        if (HasExtension(file, ".tr3"))
            return FormatText(Tr("%s is a program file (.tr3): send it with 'orvane-cli program'"),
                              path.c_str());
        return FormatText(
            Tr("%s is no firmware image (.trs); 'orvane-cli image pack' makes one from a payload"),
            path.c_str());
    }
    if (HasExtension(file, ".trs"))
        return FormatText(Tr("%s is a firmware image (.trs): send it with 'orvane-cli firmware'"),
                          path.c_str());
    if (!HasExtension(file, ".tr3"))
        return FormatText(Tr("%s is no program file (.tr3)"), path.c_str());
    // A firmware image renamed to .tr3 would go out with its header as part of the program.
    std::ifstream in(file, std::ios::binary);
    char start[sizeof FIRMWARE_MAGIC] = {};
    if (in.read(start, sizeof start) && std::memcmp(start, FIRMWARE_MAGIC, sizeof start) == 0)
        return FormatText(
            Tr("%s starts like a firmware image: send it with 'orvane-cli firmware' as a .trs file"),
            path.c_str());
    return "";
}

}  // namespace

bool InspectUpdateFile(HostOptions::Kind kind, const std::string& path, bool force, UpdateFileInfo& info) {
    info = UpdateFileInfo{};
    std::error_code ec;
    const fs::path file = Utf8Path(path);
    info.path = Utf8Text(fs::absolute(file, ec));
    if (!fs::exists(file, ec)) {
        info.error = FormatText(Tr("the file %s does not exist"), path.c_str());
        info.errorCode = "file-missing";
        return false;
    }
    if (fs::is_directory(file, ec)) {
        info.error = FormatText(Tr("%s is a folder, not a file"), path.c_str());
        info.errorCode = "file-is-folder";
        return false;
    }
    if (!force) {
        if (const std::string misfit = Misfit(kind, path, file); !misfit.empty()) {
            info.error = FormatText(Tr("%s (--force sends it anyway)"), misfit.c_str());
            info.errorCode = "file-misfit";
            return false;
        }
    }
    FirmwareUpdate firmware;
    ProgramUpdate program;
    BaseUpdate& engine = kind == HostOptions::Kind::Firmware ? static_cast<BaseUpdate&>(firmware)
                                                             : static_cast<BaseUpdate&>(program);
    if (!engine.LoadFile(CString::FromUtf8(info.path))) {
        info.error = engine.GetStatusMessage().ToUtf8();
        info.errorCode = "file-refused";
        return false;
    }
    info.payloadBytes = engine.m_fileSize;
    info.blocks = engine.m_totalBlocks;
    if (kind == HostOptions::Kind::Firmware)
        info.model = firmware.m_chipModel.ToUtf8();

    std::ifstream in(Utf8Path(info.path), std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in.eof() && in.fail()) {
        info.error = FormatText(Tr("the file %s could not be read"), path.c_str());
        info.errorCode = "file-unreadable";
        return false;
    }
    info.fileBytes = bytes.size();
    info.sha256 = Sha256::Hex(bytes);
    return true;
}
