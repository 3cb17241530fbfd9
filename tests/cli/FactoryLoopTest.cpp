// orvane-cli --loop against simulated fixtures: unit after unit on every port, a record line for
// each, never a unit twice, and Ctrl-C ending it with a summary of all units.
#include <signal.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fstream>
#include <iterator>
#include <map>

#include "tests/cli/CliFixture.h"

namespace {

QJsonObject Object(const std::string& text) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

QJsonObject FileObject(const std::filesystem::path& path) {
    std::ifstream in(path);
    return Object(std::string(std::istreambuf_iterator<char>(in), {}));
}

std::vector<std::string> FileLines(const std::filesystem::path& path) {
    std::ifstream in(path);
    return Lines(std::string(std::istreambuf_iterator<char>(in), {}));
}

// Reads standard output until a line containing every one of `parts` went by (true), or it ends.
bool AwaitLine(CliProcess& process, const std::vector<std::string>& parts, size_t count = 1) {
    for (size_t seen = 0; seen < count;) {
        const std::optional<std::string> line = process.NextLine(kHostRunLimit);
        if (!line)
            return false;
        seen += std::all_of(parts.begin(), parts.end(),
                            [&](const std::string& part) { return Contains(*line, part); });
    }
    return true;
}

}  // namespace

class FactoryLoop : public CliTest {};

// Two fixtures of three units each; the second unit of the first one stops acknowledging. Six
// record lines, units 1 to 3 on each port, the failing unit recorded as such and the next one
// updated as usual, every unit updated once; Ctrl-C while the fixtures stand empty ends the loop
// with the summary.
TEST_F(FactoryLoop, TwoFixturesOfThreeUnitsEach) {
    const Bytes payload = RandomBytes(300, 5);
    const std::string program = Write("app.tr3", payload);
    // The swap leaves room for the two unanswered polls (about 2 s) that tell the loop a unit is out.
    SimulatedDevice fixtures(
        {"--count", "2", "--units", "3", "--swap", "3.5", "--device", "1:--unit=2:--drop-ack-at=3",
         "--device", "1:--summary=" + Path("s1.json").string(), "--device",
         "2:--summary=" + Path("s2.json").string()},
        2);
    ASSERT_TRUE(fixtures.Ready());
    const auto record = Path("line.jsonl");
    CliProcess loop({"program", program, "--port", fixtures.Ports()[0], "--port", fixtures.Ports()[1],
                     "--loop", "--timeout", "1", "--record", record.string(), "--tag", "order=WO-1"});
    ASSERT_TRUE(AwaitLine(loop, {"] unit "}, 6)) << loop.Out() << loop.Err();
    loop.Signal(SIGINT);
    EXPECT_EQ(loop.Wait(kHostRunLimit), 130) << loop.Out() << loop.Err();
    EXPECT_TRUE(Contains(loop.Out(), "6 units: 5 completed; " + fixtures.Ports()[0] + " unit 2 timed out"))
        << loop.Out();

    std::map<std::string, std::vector<std::pair<int, std::string>>> units;  // port: (unit, result)
    std::set<QString> runIds;
    for (const std::string& line : FileLines(record)) {
        const QJsonObject fields = Object(line);
        units[fields.value("port").toString().toStdString()].emplace_back(
            fields.value("unit").toInt(), fields.value("result").toString().toStdString());
        runIds.insert(fields.value("run_id").toString());
        EXPECT_EQ(fields.value("order").toString(), "WO-1");
    }
    using Units = std::vector<std::pair<int, std::string>>;
    EXPECT_EQ(units[fixtures.Ports()[0]], (Units{{1, "completed"}, {2, "timeout"}, {3, "completed"}}));
    EXPECT_EQ(units[fixtures.Ports()[1]], (Units{{1, "completed"}, {2, "completed"}, {3, "completed"}}));
    EXPECT_EQ(runIds.size(), 1u);

    ASSERT_EQ(fixtures.Stop(), 0);
    for (const char* summary : {"s1.json", "s2.json"}) {
        const QJsonArray seen = FileObject(Path(summary)).value("units").toArray();
        ASSERT_EQ(seen.size(), 3) << summary;
        for (const QJsonValue& unit : seen)
            EXPECT_EQ(unit.toObject().value("transfersStarted").toInt(), 1) << summary;
    }
}

// A unit that brings its own port: it arrives when its port appears and is gone when the port
// vanishes. A unit in flight when Ctrl-C comes is stopped and recorded as interrupted.
TEST_F(FactoryLoop, UnitsWithTheirOwnPortAndAnInterruptMidUnit) {
    const std::string program = Write("app.tr3", RandomBytes(300, 6));
    const auto record = Path("line.jsonl");
    CliProcess loop({"program", program, "--port", "COM40", "--loop", "--json", "--record", record.string()});
    ASSERT_TRUE(AwaitLine(loop, {"\"state\":\"waiting\""}));
    {
        SimulatedDevice first({"--port", "40", "--summary", Path("first.json").string()});
        ASSERT_TRUE(first.Ready());
        ASSERT_TRUE(AwaitLine(loop, {"\"type\":\"result\"", "\"unit\":1"})) << loop.Out() << loop.Err();
        EXPECT_EQ(first.Stop(), 0);
    }
    SimulatedDevice second({"--port", "40", "--drop-ack-at", "2"});
    ASSERT_TRUE(second.Ready());
    ASSERT_TRUE(AwaitLine(loop, {"\"state\":\"updating\"", "\"unit\":2"})) << loop.Out() << loop.Err();
    loop.Signal(SIGINT);
    EXPECT_EQ(loop.Wait(kHostRunLimit), 130) << loop.Out() << loop.Err();
    EXPECT_EQ(SummaryNumber(Path("first.json"), "transfersCompleted"), 1);

    const std::vector<std::string> lines = FileLines(record);
    ASSERT_EQ(lines.size(), 2u) << loop.Out();
    EXPECT_EQ(Object(lines[0]).value("result").toString(), "completed");
    EXPECT_EQ(Object(lines[1]).value("unit").toInt(), 2);
    EXPECT_EQ(Object(lines[1]).value("result").toString(), "interrupted");
    const QJsonObject summary = Object(Lines(loop.Out()).back());
    EXPECT_EQ(summary.value("type").toString(), "summary");
    EXPECT_EQ(summary.value("units").toInt(), 2);
    EXPECT_EQ(summary.value("failed").toArray().size(), 1);
}
