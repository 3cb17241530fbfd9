// The pure pieces of orvane-cli, without processes: argument parsing, --port, the progress bar text
// and JSON strings.
#include <gtest/gtest.h>

#include <fstream>

#include "framework/posix/PortRegistry.h"
#include "tests/support/Pty.h"
#include "tests/support/TempRegistry.h"
#include "tools/cli/HostOptions.h"
#include "tools/cli/Json.h"
#include "tools/cli/PortArgument.h"
#include "tools/cli/ProgressReporter.h"

using Kind = HostOptions::Kind;

TEST(HostOptionsParse, AcceptsWhatTheUsageOffers) {
    HostOptions o;
    std::string error;
    ASSERT_TRUE(HostOptions::Parse(Kind::Test, {"--port", "COM3"}, o, error)) << error;
    EXPECT_EQ(o.port, "COM3");
    EXPECT_EQ(o.address, 1);
    EXPECT_EQ(o.timeout, std::chrono::seconds(30));
    EXPECT_FALSE(o.json || o.debug || o.trace || o.highSpeed || o.help);

    ASSERT_TRUE(HostOptions::Parse(
        Kind::Program,
        {"a.tr3", "--port", "3", "--address", "255", "--timeout", "86400", "--json", "--debug", "--trace"}, o,
        error))
        << error;
    EXPECT_EQ(o.file, "a.tr3");
    EXPECT_EQ(o.address, 255);
    EXPECT_EQ(o.timeout, std::chrono::seconds(86400));
    EXPECT_TRUE(o.json && o.debug && o.trace);

    ASSERT_TRUE(HostOptions::Parse(
        Kind::Firmware, {"--baud", "115200", "--address", "0", "f.trs", "--port", "/dev/x"}, o, error))
        << error;
    EXPECT_TRUE(o.highSpeed);
    EXPECT_EQ(o.address, 0);
    EXPECT_EQ(o.file, "f.trs");
    ASSERT_TRUE(HostOptions::Parse(Kind::Firmware, {"f.trs", "--port", "1", "--baud", "9600"}, o, error));
    EXPECT_FALSE(o.highSpeed);
    ASSERT_TRUE(HostOptions::Parse(Kind::Program, {"--help"}, o, error)) << "help needs no port";
    EXPECT_TRUE(o.help);
}

TEST(HostOptionsParse, RefusesBadArgumentsWithAReason) {
    struct Case {
        Kind kind;
        CommandArgs args;
        const char* says;
    };
    const Case cases[] = {
        {Kind::Test, {}, "--port is required"},
        {Kind::Test, {"--port"}, "--port needs a value"},
        {Kind::Program, {"--port", "3"}, "the program file (.tr3) is missing"},
        {Kind::Firmware, {"--port", "3"}, "the firmware image (.trs) is missing"},
        {Kind::Test,
         {"--port", "3", "--address", "256"},
         "--address takes a number from 0 to 255, not '256'"},
        {Kind::Test, {"--port", "3", "--address", "-1"}, "--address takes"},
        {Kind::Test, {"--port", "3", "--address", "1x"}, "--address takes"},
        {Kind::Test, {"--port", "3", "--address", ""}, "--address takes"},
        {Kind::Test, {"--port", "3", "--address"}, "--address needs a value"},
        {Kind::Test, {"--port", "3", "--timeout", "5"}, "unknown option '--timeout'"},
        {Kind::Program, {"f", "--port", "3", "--baud", "115200"}, "unknown option '--baud'"},
        {Kind::Program, {"f", "--port", "3", "--timeout", "0"}, "--timeout takes a number of seconds"},
        {Kind::Program, {"f", "--port", "3", "--timeout", "86401"}, "--timeout takes"},
        {Kind::Program, {"f", "--port", "3", "--timeout", "99999999999"}, "--timeout takes"},
        {Kind::Firmware, {"f", "--port", "3", "--baud", "57600"}, "--baud takes 9600 or 115200, not '57600'"},
        {Kind::Test, {"--port", "3", "extra"}, "unexpected argument 'extra'"},
        {Kind::Program, {"a", "b", "--port", "3"}, "unexpected argument 'b'"},
        {Kind::Program, {"a", "--port", "3", "-x"}, "unknown option '-x'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        HostOptions o;
        std::string error;
        EXPECT_FALSE(HostOptions::Parse(c.kind, c.args, o, error));
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
}

TEST(ResolvePortArgument, NamesNumbersAndPaths) {
    TempRegistry registry;
    registry.Link("COM1", "/dev/ttyS0");
    registry.Link("COM3", "/dev/ttyUSB0");
    struct Case {
        std::string argument;
        int number;
        const char* deviceOrError;
    };
    const Case cases[] = {
        {"COM3", 3, "/dev/ttyUSB0"},
        {"com3", 3, "/dev/ttyUSB0"},
        {"3", 3, "/dev/ttyUSB0"},
        {"COM7", 7, ""},  // not there: opening it will say so
        {"0", 0, "port numbers go from COM1 to COM256, not '0'"},
        {"257", 0, "port numbers go from COM1 to COM256, not '257'"},
        {"COM0", 0, "port numbers go from COM1 to COM256"},
        {"abc", 0, "'abc' is no port"},
        {"COM", 0, "'COM' is no port"},
        {"", 0, "is no port"},
        {"/no/such/device", 0, "the device /no/such/device does not exist"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argument);
        const PortChoice choice = ResolvePortArgument(c.argument);
        EXPECT_EQ(choice.number, c.number);
        if (c.number != 0) {
            EXPECT_EQ(choice.device, c.deviceOrError);
            EXPECT_EQ(choice.error, "");
        } else {
            EXPECT_NE(choice.error.find(c.deviceOrError), std::string::npos) << choice.error;
        }
    }

    // Only a terminal is given a number: anything else would keep it for good.
    const std::string notes = (registry.Root() / "notes.txt").string();
    std::ofstream(notes).put('\0');
    const std::pair<std::string, const char*> refused[] = {
        {notes, " is a regular file, not a serial line"},
        {registry.Root().string(), " is a folder, not a serial line"},
        {"/dev/null", " is a device, but not a serial line"},
    };
    for (const auto& [path, says] : refused) {
        const PortChoice choice = ResolvePortArgument(path);
        EXPECT_EQ(choice.number, 0);
        EXPECT_EQ(choice.error, path + says);
    }
    EXPECT_EQ(PortRegistry::Default().Resolve(2), "");

    // A path gets the lowest free number, and the same number every time after.
    Pty pty;
    for (int round = 0; round < 2; ++round) {
        const PortChoice choice = ResolvePortArgument(pty.SlavePath());
        EXPECT_EQ(choice.number, 2) << choice.error;
        EXPECT_EQ(choice.device, pty.SlavePath());
    }
}

TEST(ProgressBar, StaysInsideItsBounds) {
    struct Case {
        int percent;
        uint32_t done, total;
        double rate, left;
        const char* text;
    };
    const Case cases[] = {
        {-5, 0, 20, 0, -1, "[..............................]   0%  0/20 blocks  0 B/s"},
        {0, 0, 20, 0, 0, "[..............................]   0%  0/20 blocks  0 B/s  0:00 left"},
        {33, 1, 3, 49.6, 125, "[#########.....................]  33%  1/3 blocks  50 B/s  2:05 left"},
        {100, 4000, 4000, 4545, 0,
         "[##############################] 100%  4000/4000 blocks  4545 B/s  0:00 left"},
        {250, 3, 3, 1, 0, "[##############################] 100%  3/3 blocks  1 B/s  0:00 left"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ProgressReporter::FormatBar(c.percent, c.done, c.total, c.rate, c.left), c.text);
    }
}

TEST(JsonText, EscapesWhatJsonRequiresAndPassesTheRest) {
    struct Case {
        std::string in;
        const char* out;
    };
    const Case cases[] = {
        {"plain", R"("plain")"},
        {"say \"hi\"", R"("say \"hi\"")"},
        {"C:\\dir\\", R"("C:\\dir\\")"},
        {"a\nb\tc\r", R"("a\nb\tc\r")"},
        {std::string("\x01\x1f\x00", 3), R"("\u0001\u001f\u0000")"},
        {"设备型号: ORV-SIM ü \x7f", "\"设备型号: ORV-SIM ü \x7f\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(JsonString(c.in), c.out);
    EXPECT_EQ(JsonObject().Add("type", "log").Add("exit", int64_t{3}).Add("ok", false).Add("k\"", "v").Text(),
              R"({"type":"log","exit":3,"ok":false,"k\"":"v"})");
}
