#include "tools/sim/SimulatorSummary.h"

#include <nlohmann/json.hpp>

#include "tools/common/Sha256.h"

namespace {

using Json = nlohmann::ordered_json;

Json Field(const VerifyField& field) {
    return {{"announced", field.announced}, {"received", field.received}, {"ok", field.ok()}};
}

}  // namespace

const char* SimulatorSummary::ModeName(SimTransferMode mode) {
    switch (mode) {
        case SimTransferMode::None:
            return "none";
        case SimTransferMode::Firmware:
            return "firmware";
        case SimTransferMode::Program:
            return "program";
    }
    return "none";
}

std::string SimulatorSummary::ToJson(const SimReport& report) {
    Json json;
    json["frames"] = report.framesByKind;
    json["badFrames"] = report.badFrames;
    json["skippedBytes"] = report.skippedBytes;
    json["mode"] = ModeName(report.mode);
    json["blocksReceived"] = report.blocksReceived;
    json["blocksExpected"] = report.blocksExpected;
    json["dataFrames"] = report.dataFrames;
    json["duplicateBlocks"] = report.duplicateBlocks;
    json["numberingErrors"] = report.numberingErrors;
    json["countMismatches"] = report.countMismatches;
    json["complete"] = report.complete;
    json["transfersCompleted"] = report.transfersCompleted;
    json["record"] = nullptr;
    if (report.record) {
        const VerifyRecordResult& r = *report.record;
        json["record"] = {{"fixedBytes", r.fixedBytesOk},
                          {"length", Field(r.length)},
                          {"crc", Field(r.crc)},
                          {"sum", Field(r.sum)},
                          {"xor", Field(r.xorValue)},
                          {"blockCount", Field(r.blockCount)},
                          {"ok", r.AllOk()}};
    }
    json["payloadLength"] = report.payload.size();
    json["payloadSha256"] = Sha256::Hex(report.payload);
    json["lastRate"] = report.lastRate;
    if (!report.units.empty()) {
        json["units"] = Json::array();
        for (const SimUnitReport& unit : report.units) {
            json["units"].push_back({{"unit", unit.unit},
                                     {"transfersStarted", unit.transfersStarted},
                                     {"transfersCompleted", unit.transfersCompleted},
                                     {"payloadSha256", unit.payloadSha256}});
        }
    }
    return json.dump(2) + "\n";
}
