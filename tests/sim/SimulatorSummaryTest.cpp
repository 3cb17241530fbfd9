// The JSON summary read back as JSON: the fields a test or a trainer relies on.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "tests/sim/SimTestFrames.h"
#include "tools/sim/DeviceSimulator.h"
#include "tools/sim/SimFrameSplitter.h"
#include "tools/sim/SimulatorSummary.h"

using namespace simtest;
using std::chrono::milliseconds;

namespace {

void Feed(DeviceSimulator& device, const std::vector<Bytes>& frames) {
    SimFrameSplitter splitter;
    int ms = 0;
    for (const Bytes& frame : frames) {
        splitter.Feed(frame.data(), frame.size(), At(milliseconds(ms)));
        while (auto f = splitter.Next())
            device.OnFrame(*f, At(milliseconds(ms)));
        device.TakeDue(At(milliseconds(ms += 1000)));
    }
}

QJsonObject Summary(const DeviceSimulator& device, uint64_t badFrames = 0) {
    SimReport report = device.Report();
    report.badFrames = badFrames;
    report.skippedBytes = badFrames * 3;
    const std::string json = SimulatorSummary::ToJson(report);
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json;
    return doc.object();
}

}  // namespace

TEST(SimulatorSummaryTest, FirmwareTransferWithItsRecord) {
    DeviceSimulator device(SimulatorOptions{});
    const Bytes abc = {0x61, 0x62, 0x63};
    Feed(device,
         {Trigger(), ModelQuery(1, 0x0480), StatusQuery(1), Verify(1, abc), PayloadBlock(1, abc, 0, 10001)});
    const QJsonObject s = Summary(device, 2);

    const QJsonObject frames = s["frames"].toObject();
    EXPECT_EQ(frames["trigger"].toInt(), 1);
    EXPECT_EQ(frames["modelQuery"].toInt(), 1);
    EXPECT_EQ(frames["statusQuery"].toInt(), 1);
    EXPECT_EQ(frames["verify"].toInt(), 1);
    EXPECT_EQ(frames["dataBlock"].toInt(), 1);
    EXPECT_EQ(s["badFrames"].toInt(), 2);
    EXPECT_EQ(s["skippedBytes"].toInt(), 6);
    EXPECT_EQ(s["mode"].toString(), "firmware");
    EXPECT_EQ(s["blocksReceived"].toInt(), 1);
    EXPECT_EQ(s["blocksExpected"].toInt(), 1);
    EXPECT_EQ(s["numberingErrors"].toInt(), 0);
    EXPECT_TRUE(s["complete"].toBool());
    EXPECT_EQ(s["transfersCompleted"].toInt(), 1);
    EXPECT_EQ(s["payloadLength"].toInt(), 3);
    EXPECT_EQ(s["payloadSha256"].toString(),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(s["lastRate"].toInt(), 9600) << "back at 9600 after the last block";

    const QJsonObject record = s["record"].toObject();
    EXPECT_TRUE(record["ok"].toBool());
    EXPECT_TRUE(record["fixedBytes"].toBool());
    EXPECT_EQ(record["crc"].toObject()["announced"].toInt(), 0x5749);
    for (const char* field : {"length", "crc", "sum", "xor", "blockCount"}) {
        EXPECT_TRUE(record[field].toObject()["ok"].toBool()) << field;
    }
}

TEST(SimulatorSummaryTest, ProgramTransferAndAFailedRecord) {
    DeviceSimulator program(SimulatorOptions{});
    const Bytes payload = Pattern(120);
    Feed(program, {Trigger(), PayloadBlock(1, payload, 0, 0), PayloadBlock(1, payload, 0, 0),
                   PayloadBlock(1, payload, 2, 0)});
    const QJsonObject p = Summary(program);
    EXPECT_EQ(p["mode"].toString(), "program");
    EXPECT_TRUE(p["record"].isNull());
    EXPECT_FALSE(p["complete"].toBool());
    EXPECT_EQ(p["blocksReceived"].toInt(), 2);
    EXPECT_EQ(p["blocksExpected"].toInt(), 3);
    EXPECT_EQ(p["duplicateBlocks"].toInt(), 1);
    EXPECT_EQ(p["numberingErrors"].toInt(), 1);
    EXPECT_EQ(p["payloadLength"].toInt(), 70);

    DeviceSimulator firmware(SimulatorOptions{});
    const Bytes announced = Pattern(60);
    Feed(firmware, {Trigger(), Verify(1, announced), PayloadBlock(1, announced, 0, 10001)});
    const QJsonObject record = Summary(firmware)["record"].toObject();
    EXPECT_FALSE(record["ok"].toBool());
    const QJsonObject length = record["length"].toObject();
    EXPECT_EQ(length["announced"].toInt(), 60);
    EXPECT_EQ(length["received"].toInt(), 50);
    EXPECT_FALSE(length["ok"].toBool());
}
