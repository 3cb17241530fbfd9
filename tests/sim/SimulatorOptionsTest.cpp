// Reading 'simulate' arguments: the model goes out as GBK within the reply's length byte, and bad
// arguments give one line naming them.
#include <gtest/gtest.h>

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
        {{"--save", ""}, "--save"},
    };
    for (const auto& [args, mentions] : cases) {
        SimulatorOptions o;
        std::string error;
        EXPECT_FALSE(Parse(args, o, error)) << args.front();
        EXPECT_NE(error.find(mentions), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}
