// Reading 'simulate' arguments: the model goes out as GBK within the reply's length byte, and bad
// arguments give one line naming them.
#include <gtest/gtest.h>

#include <chrono>

#include "tools/sim/SimulatorOptions.h"

namespace {

bool Parse(const std::vector<std::string>& args, SimulatorOptions& options, std::string& error) {
    bool help = false;
    return SimulatorOptions::Parse(args, options, help, error);
}

}  // namespace

TEST(SimulatorOptionsTest, ModelIsGbkAndLimitedTo255GbkBytes) {
    SimulatorOptions o;
    std::string error;
    ASSERT_TRUE(
        Parse({"--model=测试", "--status", "0x5A", "--recover-ms", "70", "--hangup-at", "5"}, o, error));
    EXPECT_EQ(o.modelGbk, "\xB2\xE2\xCA\xD4");
    EXPECT_EQ(o.statusCode, 0x5A);
    EXPECT_EQ(o.recoverDelay, std::chrono::milliseconds(70));
    EXPECT_EQ(o.hangupAt, 5u);
    std::string model;
    for (int i = 0; i < 127; ++i)
        model += "测";  // 381 bytes of UTF-8, 254 of GBK
    EXPECT_TRUE(Parse({"--model", model}, o, error) && o.modelGbk.size() == 254u);
    EXPECT_FALSE(Parse({"--model", model + "测"}, o, error));
}

TEST(SimulatorOptionsTest, RefusesBadArgumentsWithOneLineNamingThem) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--bogus"}, "--bogus"},         {{"--port"}, "--port needs"},
        {{"--port", "257"}, "--port"},    {{"--port", "9x"}, "--port"},
        {{"--port", "-9"}, "--port"},     {{"--status", "256"}, "--status"},
        {{"--hangup-at", "0"}, "--hang"}, {{"--pace=1"}, "--pace takes no"},
        {{"--save", ""}, "--save"},       {{"--port", "9", "--port=10"}, "--port is given more than once"},
    };
    for (const auto& [args, mentions] : cases) {
        SimulatorOptions o;
        std::string error;
        EXPECT_FALSE(Parse(args, o, error)) << args.front();
        EXPECT_NE(error.find(mentions), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

// simulate --count: shared options reach every device, --device K:OPTION only device K (in each of
// its spellings), a shared --port numbers them on; mistakes name themselves.
TEST(SimulatorOptionsTest, CountGivesEachDeviceTheSharedAndItsOwnOptions) {
    std::vector<SimulatorOptions> devices;
    bool help = false;
    std::string error;
    ASSERT_TRUE(SimulatorOptions::ParseMany(
        {"--count", "4", "--pace", "--port", "20", "--device", "2:--silent", "--device", "3:--hangup-at 5",
         "--device", "4:--save=b.bin", "--device", "4:--model=X", "--model", "Y"},
        devices, help, error))
        << error;
    ASSERT_EQ(devices.size(), 4u);
    for (size_t i = 0; i < devices.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(devices[i].pace);
        EXPECT_EQ(devices[i].port, 20 + static_cast<int>(i));
        EXPECT_EQ(devices[i].silent, i == 1);
        EXPECT_EQ(devices[i].hangupAt, i == 2 ? 5u : 0u);
        EXPECT_EQ(devices[i].saveFile, i == 3 ? "b.bin" : "");
        EXPECT_EQ(devices[i].modelGbk, i == 3 ? "X" : "Y") << "a device's own option overrides a shared one";
    }
    // A fixture: --unit gives one unit of one device a fault of its own, on top of the device's.
    ASSERT_TRUE(SimulatorOptions::ParseMany({"--count", "2", "--units", "3", "--swap", "0.5", "--stray-byte",
                                             "--device", "1:--unit=2:--drop-ack-at=3"},
                                            devices, help, error))
        << error;
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[1].units, 3u);
    EXPECT_EQ(devices[1].swap, std::chrono::milliseconds(500));
    EXPECT_TRUE(devices[1].unitFaults.empty());
    ASSERT_EQ(devices[0].unitFaults.count(2), 1u);
    EXPECT_EQ(devices[0].unitFaults.at(2).dropAckAt, 3u);
    EXPECT_TRUE(devices[0].unitFaults.at(2).strayByte);
    EXPECT_EQ(devices[0].dropAckAt, 0u) << "the other units keep the device's faults";
    ASSERT_TRUE(SimulatorOptions::ParseMany({"--silent"}, devices, help, error));
    EXPECT_TRUE(devices.size() == 1u && devices[0].silent) << "without --count, one device as before";

    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"--count", "0"}, "--count: expected a number from 1 to 64"},
        {{"--count", "65"}, "--count"},
        {{"--count", "2", "--device", "3:--silent"}, "there are only 2 devices"},
        {{"--count", "2", "--device", "--silent"}, "--device takes K:OPTION"},
        {{"--count", "2", "--device", "1:"}, "--device takes K:OPTION"},
        {{"--device", "1:--silent"}, "--device needs --count"},
        {{"--count", "2", "--device", "2:--bogus"}, "device 2: unknown argument '--bogus'"},
        {{"--count", "2", "--save", "a.bin"}, "would write the same file a.bin"},
        {{"--count", "3", "--port", "255"}, "beyond COM256"},
        {{"--count", "2", "--device", "1:--status=1", "--device", "1:--status=2"},
         "device 1: --status is given"},
        {{"--swap", "1"}, "--swap needs --units"},
        {{"--units", "2", "--swap", "1s"}, "--swap: expected seconds"},
        {{"--units", "2", "--unit", "3:--silent"}, "the fixture has 2 units"},
        {{"--units", "2", "--unit", "1:--pace"}, "--unit takes U:FAULT"},
    };
    for (const auto& [args, mentions] : refused) {
        SCOPED_TRACE(testing::PrintToString(args));
        EXPECT_FALSE(SimulatorOptions::ParseMany(args, devices, help, error));
        EXPECT_NE(error.find(mentions), std::string::npos) << error;
    }
}
