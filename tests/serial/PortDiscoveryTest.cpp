// Port discovery: the list rules, and the registry on a fake hardware tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "framework/PortRegistry.h"
#include "framework/SerialPortNames.h"
#include "serial/PortDiscovery.h"
#include "tests/support/TempRegistry.h"

namespace {

namespace fs = std::filesystem;

TEST(ComPortNumbersFromNames, ListRules) {
    const std::vector<CString> names{L"COM10", L"COM2", L"com7", L"Com3", L"COM0", L"COM257",
                                     L"LPT1",  L"CO",   L"COM3", L"COM1", L"COMx", L"COM 4"};
    // " 4" parses as 4: leading white space is skipped as _wtoi does.
    EXPECT_EQ(ComPortNumbersFromNames(names), (std::vector<int>{1, 2, 3, 3, 4, 7, 10}));
    EXPECT_TRUE(ComPortNumbersFromNames({}).empty());
    EXPECT_EQ(ComPortNumbersFromNames({L"COM256", L"COM+5", L"COM-5", L"COM99999999999"}),
              (std::vector<int>{5, 256}));
}

TEST(EnumerateComPorts, LinksWhoseDevicesExist) {
    TempRegistry registry;
    const fs::path dev = registry.HardwareRoot() / "dev";
    for (const char* name : {"a", "b", "c", "d"})
        std::ofstream(dev / name).put('x');
    registry.Link("COM10", (dev / "a").string());
    registry.Link("COM2", (dev / "b").string());
    registry.Link("com7", (dev / "c").string());
    registry.Link("COM1", (dev / "d").string());
    registry.Link("COM3", (dev / "gone").string());  // device unplugged: not listed
    registry.Link("LPT1", (dev / "a").string());
    EXPECT_EQ(EnumerateComPorts(), (std::vector<int>{1, 2, 7, 10}));
}

TEST(EnumerateComPorts, RealDevicesGetStableNumbersInDeviceOrder) {
    TempRegistry registry;
    registry.AddDevice("ttyUSB1");
    registry.AddDevice("ttyACM0");
    registry.AddDevice("ttyS1", 0);  // no UART behind it
    registry.AddDevice("ttyS0");
    registry.AddDevice("ttyUSB0");
    registry.AddDevice("ttyUSB10");
    registry.Link("COM2", (registry.Root() / "elsewhere").string());  // a dangling link keeps its number

    EXPECT_EQ(EnumerateComPorts(), (std::vector<int>{1, 3, 4, 5, 6}));
    PortRegistry reg = PortRegistry::Default();
    const fs::path dev = registry.HardwareRoot() / "dev";
    EXPECT_EQ(reg.Resolve(1), (dev / "ttyS0").string());
    EXPECT_EQ(reg.Resolve(3), (dev / "ttyUSB0").string());
    EXPECT_EQ(reg.Resolve(4), (dev / "ttyUSB1").string());
    EXPECT_EQ(reg.Resolve(5), (dev / "ttyUSB10").string());
    EXPECT_EQ(reg.Resolve(6), (dev / "ttyACM0").string());

    // A device plugged in later gets the next free number; the others keep theirs.
    registry.AddDevice("ttyUSB2");
    EXPECT_EQ(EnumerateComPorts(), (std::vector<int>{1, 3, 4, 5, 6, 7}));
    EXPECT_EQ(reg.Resolve(7), (dev / "ttyUSB2").string());
    EXPECT_EQ(reg.Resolve(3), (dev / "ttyUSB0").string());
}

TEST(PortRegistry, RegisterFromALowestNumberAndUnregister) {
    TempRegistry registry;
    PortRegistry reg = PortRegistry::Default();
    const fs::path dev = registry.HardwareRoot() / "dev";
    std::ofstream(dev / "p1").put('x');
    std::ofstream(dev / "p2").put('x');
    EXPECT_EQ(reg.Register((dev / "p1").string(), 9), 9);
    EXPECT_EQ(reg.Register((dev / "p1").string(), 9), 9);  // already registered
    EXPECT_EQ(reg.Register((dev / "p2").string(), 9), 10);
    EXPECT_TRUE(reg.Unregister(9));
    EXPECT_TRUE(reg.Resolve(9).empty());
    EXPECT_EQ(ListSerialPortNames(), (std::vector<CString>{L"COM10"}));
}

}  // namespace
