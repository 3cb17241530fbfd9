// The pure pieces of orvane-cli, without processes: argument parsing, --port, the progress bar text
// and JSON lines written and read back.
#include <gtest/gtest.h>

#include <fstream>

#include "framework/PortRegistry.h"
#include "tests/support/Pty.h"
#include "tests/support/TempRegistry.h"
#include "tools/cli/HostOptions.h"
#include "tools/cli/Json.h"
#include "tools/cli/PortArgument.h"
#include "tools/cli/ProgressReporter.h"
#include "tools/cli/StationRun.h"
#include "tools/i18n/EmbeddedCatalog.h"
#include "tools/i18n/Messages.h"
#include "tools/i18n/MoCatalog.h"

using Kind = HostOptions::Kind;

TEST(HostOptionsParse, AcceptsWhatTheUsageOffers) {
    HostOptions o;
    std::string error;
    ASSERT_TRUE(HostOptions::Parse(Kind::Test, {"--port", "COM3"}, o, error)) << error;
    EXPECT_EQ(o.ports, std::vector<std::string>{"COM3"});
    EXPECT_FALSE(o.ManyPorts());
    EXPECT_EQ(o.address, 1);
    EXPECT_EQ(o.timeout, std::chrono::seconds(30));
    EXPECT_FALSE(o.json || o.debug || o.trace || o.highSpeed || o.lowLatency || o.help);

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
        Kind::Firmware, {"--baud", "115200", "--address", "0", "f.trs", "--port", "/dev/x", "--low-latency"},
        o, error))
        << error;
    EXPECT_TRUE(o.highSpeed && o.lowLatency);
    EXPECT_EQ(o.address, 0);
    EXPECT_EQ(o.file, "f.trs");
    ASSERT_TRUE(HostOptions::Parse(Kind::Firmware, {"f.trs", "--port", "1", "--baud", "9600"}, o, error));
    EXPECT_FALSE(o.highSpeed);
    ASSERT_TRUE(HostOptions::Parse(Kind::Program, {"--help"}, o, error)) << "help needs no port";
    EXPECT_TRUE(o.help);
    EXPECT_EQ(o.expect, -1);
    EXPECT_FALSE(o.force);
    ASSERT_TRUE(
        HostOptions::Parse(Kind::Program, {"--port=COM3", "a.trs", "--force", "--expect=4"}, o, error))
        << error;
    EXPECT_EQ(o.ports, std::vector<std::string>{"COM3"});
    EXPECT_TRUE(o.force);
    EXPECT_EQ(o.expect, 4);

    // Several devices: repeated --port keeps every one in order, a range, or all; and a record.
    ASSERT_TRUE(HostOptions::Parse(Kind::Program,
                                   {"p", "--port", "COM3", "--port", "4", "--record", "r.jsonl"}, o, error));
    EXPECT_EQ(o.ports, (std::vector<std::string>{"COM3", "4"}));
    EXPECT_TRUE(o.ManyPorts());
    EXPECT_EQ(o.record, "r.jsonl");
    ASSERT_TRUE(HostOptions::Parse(Kind::Test, {"--ports", "com3-COM10"}, o, error)) << error;
    EXPECT_EQ(o.rangeFirst, 3);
    EXPECT_EQ(o.rangeLast, 10);
    EXPECT_TRUE(o.ManyPorts());
    ASSERT_TRUE(HostOptions::Parse(Kind::Test, {"--ports", "5-5"}, o, error)) << error;
    EXPECT_TRUE(o.ManyPorts()) << "a range is a station run even when it holds one port";
    ASSERT_TRUE(HostOptions::Parse(Kind::Test, {"--all-ports"}, o, error)) << error;
    EXPECT_TRUE(o.allPorts && o.ManyPorts());
}

TEST(HostOptionsParse, RefusesBadArgumentsWithAReason) {
    struct Case {
        Kind kind;
        CommandArgs args;
        const char* says;
    };
    const Case cases[] = {
        {Kind::Test, {}, "--port, --ports or --all-ports is required"},
        {Kind::Test, {"--ports", "COM10-COM3"}, "--ports takes a range such as COM3-COM10, not 'COM10-COM3'"},
        {Kind::Test, {"--ports", "COM3"}, "--ports takes a range"},
        {Kind::Test, {"--ports", "COM0-COM3"}, "--ports takes a range"},
        {Kind::Test,
         {"--ports", "COM1-COM300"},
         "--ports: port numbers go from COM1 to COM256, not 'COM1-COM300'"},
        {Kind::Test, {"--ports", "3-99999999999"}, "--ports takes a range"},
        {Kind::Test, {"--ports", "-3"}, "--ports takes a range"},
        {Kind::Test, {"--port", "3", "--record", ""}, "--record needs a file name"},
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
        {Kind::Test, {"--port", "3", "--json=false"}, "--json takes no value"},
        {Kind::Test, {"--port", "3", "/json"}, "unexpected argument '/json'"},  // on Windows, too
        {Kind::Test,
         {"--port", "3", "--expect", "0"},
         "--expect takes a number of devices from 1 to 256, not '0'"},
        // A single-value option given twice is a mistake in a script, not the last one winning.
        {Kind::Test, {"--port", "3", "--record", "a", "--record", "b"}, "--record is given more than once"},
        {Kind::Test, {"--address=1", "--port", "3", "--address", "1"}, "--address is given more than once"},
        {Kind::Program, {"f", "--port", "3", "--timeout", "5", "--timeout", "6"}, "--timeout is given more"},
        {Kind::Firmware, {"f", "--port", "3", "--baud", "9600", "--baud", "9600"}, "--baud is given more"},
        {Kind::Test, {"--ports", "1-2", "--ports", "3-4"}, "--ports is given more"},
        {Kind::Test, {"--port", "3", "--expect", "2", "--expect", "3"}, "--expect is given more"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        HostOptions o;
        std::string error;
        EXPECT_FALSE(HostOptions::Parse(c.kind, c.args, o, error));
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
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

// The percentage is that of the blocks beside it, never ahead of them, and stays inside its bounds.
TEST(ProgressBar, StaysInsideItsBoundsAndAgreesWithTheBlocks) {
    struct Case {
        uint32_t done, total;
        double rate, left;
        const char* text;
    };
    const Case cases[] = {
        {0, 20, 0, -1, "[..............................]   0%  0/20 blocks  0 B/s"},
        {0, 0, 0, 0, "[..............................]   0%  0/0 blocks  0 B/s  0:00 left"},
        {1, 3, 49.6, 125, "[#########.....................]  33%  1/3 blocks  50 B/s  2:05 left"},
        {3999, 4000, 4545, 0, "[#############################.]  99%  3999/4000 blocks  4545 B/s  0:00 left"},
        {4000, 4000, 4545, -1, "[##############################] 100%  4000/4000 blocks  4545 B/s"},
        {5, 3, 1, 0, "[##############################] 100%  5/3 blocks  1 B/s  0:00 left"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProgressReporter::FormatBar(c.done, c.total, c.rate, c.left), c.text);
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
        {"bad \xff\xfe UTF-8", "\"bad \xEF\xBF\xBD\xEF\xBF\xBD UTF-8\""},  // U+FFFD each, still JSON
    };
    for (const Case& c : cases)
        EXPECT_EQ(JsonString(c.in), c.out);
    EXPECT_EQ(JsonObject().Add("type", "log").Add("exit", int64_t{3}).Add("ok", false).Add("k\"", "v").Text(),
              R"({"type":"log","exit":3,"ok":false,"k\"":"v"})");
}

// A station reads its children's lines back: what JsonObject writes comes back whole, escapes
// included, and a line that is not one flat object is refused rather than half read.
TEST(JsonText, ReadsBackFlatObjectsAndRefusesTheRest) {
    const std::string awkward = std::string("设备 \"x\"\\\n\t\x01 ü");
    JsonFields fields;
    ASSERT_TRUE(fields.Parse(JsonObject()
                                 .Add("type", "result")
                                 .Add("text", awkward)
                                 .Add("bytes", int64_t{200000})
                                 .Add("seconds", 18.5)
                                 .Add("ok", true)
                                 .Text()));
    EXPECT_EQ(fields.String("type"), "result");
    EXPECT_EQ(fields.String("text"), awkward);
    EXPECT_EQ(fields.Integer("bytes"), 200000);
    EXPECT_DOUBLE_EQ(fields.Number("seconds"), 18.5);
    EXPECT_TRUE(fields.Boolean("ok"));
    // Absent keys and keys of another kind read as empty, never as the other kind's text.
    EXPECT_EQ(fields.String("bytes"), "");
    EXPECT_EQ(fields.Integer("type"), 0);
    EXPECT_FALSE(fields.Has("missing"));

    ASSERT_TRUE(fields.Parse(R"( { "a" : "\u00fc\ud83d\ude00\/" , "n" : -2.5e3, "big": 1e300 } )"));
    EXPECT_EQ(fields.String("a"), "ü\xF0\x9F\x98\x80/");
    EXPECT_EQ(fields.Integer("n"), -2500);
    EXPECT_EQ(fields.Integer("big"), 0);
    EXPECT_TRUE(fields.Parse("{}"));

    for (const char* bad : {"", "plain text", "[1]", R"({"a":1)", R"({"a":1} x)", R"({"a":{"b":1}})",
                            R"({"a":null})", R"({"a":tru})", R"({"a":"\ud83d"})", R"({"a":"\q"})",
                            "{\"a\":\"x\ny\"}", R"({"a":1,})", R"({"a" 1})", R"({"a":inf})"}) {
        EXPECT_FALSE(fields.Parse(bad)) << bad;
        EXPECT_FALSE(fields.Has("a")) << bad;
    }
}

// The end of a station run: the exit code is the worst single-port outcome (a failure outranks a
// time-out), and the table names each outcome with its reason, aligned however long the model.
TEST(StationOutcome, ExitCodeAndTableNameEveryDevice) {
    using Device = StationRun::Device;
    auto device = [](const char* port, const char* model, const char* status, int exit, const char* why) {
        Device d;
        d.port = port;
        d.model = model;
        d.status = status;
        d.exitCode = exit;
        d.message = why;
        d.bytes = exit == 0 ? 20000 : 350;
        d.seconds = 28.04;
        return d;
    };
    const Device ok = device("COM9", "ORV-SIM", "completed", 0, "更新完成！");
    const Device late = device("COM10", "", "timeout", 3, "the device sent nothing for 30 s");
    const Device lost = device("COM11", "型号-7", "line-lost", 1, "the serial line failed");
    const Device vanished = device("COM12", "", "no-port", 2, "COM12 is not among the ports present");
    EXPECT_EQ(StationRun::CombinedExitCode({ok, ok}), 0);
    EXPECT_EQ(StationRun::CombinedExitCode({ok, late}), 3);
    EXPECT_EQ(StationRun::CombinedExitCode({late, lost, ok}), 1);
    EXPECT_EQ(StationRun::CombinedExitCode({ok, vanished}), 1) << "a port gone after the start failed";
    EXPECT_EQ(StationRun::CombinedExitCode({vanished, vanished}), 2) << "nothing was sent to any device";

    // A process that ends without a result failed, whatever its code, and keeps the progress seen;
    // one that ends otherwise than its result said failed too.
    struct Ending {
        bool resultSeen;
        int resultExit;
        ChildExit exit;
        int exitCode;
        const char* status;
        const char* says;
    };
    const Ending endings[] = {
        {false,
         -1,
         {0, "", {}, {}},
         1,
         "crashed",
         "ended with code 0 without a result after 12 of 40 blocks"},
        {false, -1, {137, "", {}, {}}, 1, "crashed", "ended by signal 9 without a result after 12 of 40"},
        {true, 0, {139, "", {}, {}}, 1, "completed", "ended by signal 11 after reporting 'completed'"},
        {true, 3, {3, "", {}, {}}, 3, "timeout", "the device sent nothing"},
        {true, 143, {143, "", {}, {}}, 143, "interrupted", "the device sent nothing"},
    };
    for (const Ending& e : endings) {
        SCOPED_TRACE(e.says);
        Device d = device("COM9", "", e.resultSeen ? e.status : "", e.resultExit, "the device sent nothing");
        d.resultSeen = e.resultSeen;
        d.resultExit = e.resultExit;
        d.blocksDone = 12;
        d.blocksTotal = 40;
        d.bytes = e.resultSeen ? 600 : 0;
        StationRun::Conclude(d, e.exit, 1980);
        EXPECT_EQ(d.exitCode, e.exitCode);
        EXPECT_EQ(d.status, e.status);
        EXPECT_NE(d.message.find(e.says), std::string::npos) << d.message;
        EXPECT_EQ(d.bytes, 600) << "the bytes acknowledged, not 0";
    }

    EXPECT_EQ(StationRun::PortList({82}), "COM82");
    EXPECT_EQ(StationRun::PortList({9, 3, 4, 5, 7, 10}), "COM3-COM5, COM7, COM9-COM10");
    EXPECT_EQ(StationRun::FitColumns("COM9   [####] 50%", 10), "COM9   [##");
    EXPECT_EQ(StationRun::FitColumns("COM9 更新完成", 8), "COM9 更") << "a wide character is not split";
    EXPECT_EQ(StationRun::FitColumns("short", 80), "short");

    EXPECT_EQ(StationRun::FormatTable({ok, late, lost}),
              "port   model    result     bytes  time    reason\n"
              "COM9   ORV-SIM  completed  20000  28.0 s\n"
              "COM10  -        timeout    350    28.0 s  the device sent nothing for 30 s\n"
              "COM11  型号-7   line-lost  350    28.0 s  the serial line failed\n");
}

namespace {

// A .mo file as msgfmt lays it out, of (original, translation) pairs, in either byte order.
std::string MoFile(const std::vector<std::pair<std::string, std::string>>& messages, bool bigEndian) {
    std::string out;
    auto word = [&](uint32_t value) {
        for (int i = 0; i < 4; ++i)
            out += static_cast<char>(value >> (bigEndian ? 24 - 8 * i : 8 * i));
    };
    const auto count = static_cast<uint32_t>(messages.size());
    const uint32_t originals = 28, translations = originals + 8 * count;
    uint32_t text = translations + 8 * count;
    word(0x950412de), word(0), word(count), word(originals), word(translations), word(0), word(text);
    std::string strings;
    for (int table = 0; table < 2; ++table) {
        for (const auto& message : messages) {
            const std::string& part = table == 0 ? message.first : message.second;
            word(static_cast<uint32_t>(part.size())), word(text);
            strings += part + '\0';
            text += static_cast<uint32_t>(part.size()) + 1;
        }
    }
    return out + strings;
}

}  // namespace

// The compiled catalogue: read in either byte order, plural forms picked by the count, and a damaged
// file refused whole rather than read outside its bounds.
TEST(MessageCatalog, ReadsCompiledCataloguesAndRefusesDamagedOnes) {
    const std::vector<std::pair<std::string, std::string>> messages = {
        {"", "Content-Type: text/plain; charset=UTF-8\nPlural-Forms: nplurals=1; plural=0;\n"},
        {"port %s", "串口 %s"},
        {std::string("one unit\0%lu units", 19), "%lu 台"},
        {"untranslated", ""},
    };
    for (bool bigEndian : {false, true}) {
        const std::string file = MoFile(messages, bigEndian);
        MoCatalog catalog;
        std::string error;
        ASSERT_TRUE(catalog.Load(file, error)) << error;
        EXPECT_STREQ(catalog.Find("port %s"), "串口 %s");
        EXPECT_EQ(catalog.Find("port"), nullptr);
        EXPECT_EQ(catalog.Find("untranslated"), nullptr) << "an empty translation is none";
        EXPECT_STREQ(catalog.FindPlural("one unit", 1), "%lu 台");
        EXPECT_STREQ(catalog.FindPlural("one unit", 7), "%lu 台");

        // Cut short anywhere, or with a string's end moved past the file's, it is refused, not read.
        for (size_t size = 0; size < file.size(); ++size)
            EXPECT_FALSE(catalog.Load(std::string_view(file).substr(0, size), error)) << size;
        std::string pastTheEnd = file;
        pastTheEnd[bigEndian ? 28 + 8 : 28 + 8 + 3] = '\x7f';  // the top byte of the second original's length
        EXPECT_FALSE(catalog.Load(pastTheEnd, error));
        EXPECT_EQ(catalog.Find("port %s"), nullptr) << "nothing kept from a refused catalogue";
    }
    MoCatalog catalog;
    std::string error;
    EXPECT_FALSE(catalog.Load(std::string(64, 'x'), error));

    // The program's own catalogue loads, and English stays the fallback for a text it lacks.
    ASSERT_TRUE(catalog.Load(EmbeddedChineseCatalog(), error)) << error;
    EXPECT_GT(catalog.Size(), 10u);
    SetMessageLanguage(MessageLanguage::Chinese);
    EXPECT_STRNE(Tr("--lang takes zh or en, not '%s'"), "--lang takes zh or en, not '%s'");
    EXPECT_STREQ(Tr("a text nobody translated"), "a text nobody translated");
    SetMessageLanguage(MessageLanguage::English);
    EXPECT_STREQ(Tr("--lang takes zh or en, not '%s'"), "--lang takes zh or en, not '%s'");
}
