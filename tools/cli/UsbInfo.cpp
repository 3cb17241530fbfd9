#include "tools/cli/UsbInfo.h"

#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;

namespace {

std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string value;
    std::getline(in, value);
    return value;
}

}  // namespace

bool FindUsbInfo(const fs::path& hardwareRoot, const std::string& device, UsbInfo& info) {
    const std::string name = fs::path(device).filename().string();
    std::error_code ec;
    fs::path node = fs::canonical(hardwareRoot / "sys" / "class" / "tty" / name / "device", ec);
    const fs::path top = fs::canonical(hardwareRoot / "sys", ec);
    if (ec)
        return false;
    for (int depth = 0; depth < 8 && !node.empty() && node != top && node != node.parent_path(); ++depth) {
        if (fs::exists(node / "idVendor", ec)) {
            info.vendorId = ReadAttribute(node / "idVendor");
            info.productId = ReadAttribute(node / "idProduct");
            info.product = ReadAttribute(node / "product");
            info.serial = ReadAttribute(node / "serial");
            return true;
        }
        node = node.parent_path();
    }
    return false;
}

fs::path HardwareRoot() {
    const char* hw = std::getenv("ORVANE_HW_ROOT");
    return hw && *hw ? fs::path(hw) : fs::path("/");
}
