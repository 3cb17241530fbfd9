// Reading 'simulate' arguments: good ones land in the options, bad ones give one clear line.
#include <gtest/gtest.h>

#include "tools/sim/SimulatorOptions.h"

namespace {

struct Parsed {
    bool ok;
    bool help;
    SimulatorOptions options;
    std::string error;
};

Parsed Parse(const std::vector<std::string>& args) {
    Parsed p{};
    p.ok = SimulatorOptions::Parse(args, p.options, p.help, p.error);
    return p;
}

}  // namespace

TEST(SimulatorOptionsTest, DefaultsAndEveryOption) {
    const Parsed defaults = Parse({});
    ASSERT_TRUE(defaults.ok);
    EXPECT_EQ(defaults.options.port, 0);
    EXPECT_EQ(defaults.options.modelGbk, "ORV-SIM");
    EXPECT_EQ(defaults.options.switchDelay, std::chrono::milliseconds(250));
    EXPECT_EQ(defaults.options.recoverDelay, std::chrono::milliseconds(200));

    const Parsed all = Parse({"--port",
                              "12",
                              "--model=测试",
                              "--status",
                              "0x5A",
                              "--switch-delay",
                              "40",
                              "--pace",
                              "--ack-delay",
                              "3",
                              "--recover-ms=70",
                              "--save",
                              "out.bin",
                              "--summary",
                              "s.json",
                              "--verbose",
                              "--silent",
                              "--stray-byte",
                              "--wrong-number-at",
                              "2",
                              "--wrong-count-at",
                              "3",
                              "--drop-ack-at",
                              "4",
                              "--hangup-at",
                              "5"});
    ASSERT_TRUE(all.ok) << all.error;
    const SimulatorOptions& o = all.options;
    EXPECT_EQ(o.port, 12);
    EXPECT_EQ(o.modelGbk, "\xB2\xE2\xCA\xD4") << "the model goes out as GBK";
    EXPECT_EQ(o.statusCode, 0x5A);
    EXPECT_EQ(o.switchDelay, std::chrono::milliseconds(40));
    EXPECT_EQ(o.ackDelay, std::chrono::milliseconds(3));
    EXPECT_EQ(o.recoverDelay, std::chrono::milliseconds(70));
    EXPECT_TRUE(o.pace && o.verbose && o.silent && o.strayByte);
    EXPECT_EQ(o.saveFile, "out.bin");
    EXPECT_EQ(o.summaryFile, "s.json");
    EXPECT_EQ(o.wrongNumberAt, 2u);
    EXPECT_EQ(o.wrongCountAt, 3u);
    EXPECT_EQ(o.dropAckAt, 4u);
    EXPECT_EQ(o.hangupAt, 5u);

    EXPECT_TRUE(Parse({"--model", ""}).ok) << "an empty model is a legal reply";
    EXPECT_TRUE(Parse({"--port", "3", "--help", "--bogus"}).help);
}

TEST(SimulatorOptionsTest, BadArgumentsAreRefusedWithTheirName) {
    struct Case {
        std::vector<std::string> args;
        std::string mentions;
    };
    const std::vector<Case> cases = {
        {{"--bogus"}, "--bogus"},
        {{"extra"}, "extra"},
        {{"--port"}, "--port needs a value"},
        {{"--port", "0"}, "--port"},
        {{"--port", "257"}, "--port"},
        {{"--port", "9x"}, "--port"},
        {{"--port", "-9"}, "--port"},
        {{"--port", " 9"}, "--port"},
        {{"--port", "99999999999999999999"}, "--port"},
        {{"--status", "256"}, "--status"},
        {{"--switch-delay", "-1"}, "--switch-delay"},
        {{"--ack-delay", "1e3"}, "--ack-delay"},
        {{"--hangup-at", "0"}, "--hangup-at"},
        {{"--save", ""}, "--save"},
        {{"--pace=1"}, "--pace takes no value"},
        {{"--model", std::string(256, 'x')}, "--model"},
    };
    for (const Case& c : cases) {
        const Parsed p = Parse(c.args);
        EXPECT_FALSE(p.ok) << c.args.front();
        EXPECT_NE(p.error.find(c.mentions), std::string::npos) << p.error;
        EXPECT_EQ(p.error.find('\n'), std::string::npos) << "one line: " << p.error;
    }
}

TEST(SimulatorOptionsTest, ModelLimitCountsGbkBytesNotUtf8) {
    std::string fits, tooLong;
    for (int i = 0; i < 127; ++i)
        fits += "测";  // 381 UTF-8 bytes, 254 GBK bytes
    tooLong = fits + "测";
    const Parsed ok = Parse({"--model", fits});
    ASSERT_TRUE(ok.ok) << ok.error;
    EXPECT_EQ(ok.options.modelGbk.size(), 254u);
    EXPECT_FALSE(Parse({"--model", tooLong}).ok);
}
