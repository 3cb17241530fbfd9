// What a USB serial adapter says about itself in sysfs: IDs, product name and serial number. The
// serial number is the surest way to tell two adapters, and so two units on a bench, apart.
#pragma once

#include <filesystem>
#include <string>

struct UsbInfo {
    std::string vendorId, productId, product, serial;
};

// Walks up from the tty's device under `hardwareRoot` to the USB device that carries idVendor;
// false when the device is not on USB (or not found).
bool FindUsbInfo(const std::filesystem::path& hardwareRoot, const std::string& device, UsbInfo& info);

// The root the port listing reads sysfs under: ORVANE_HW_ROOT when set, else "/".
std::filesystem::path HardwareRoot();
