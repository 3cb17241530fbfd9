#include "tools/sim/SimulatorSummary.h"

#include <cstdio>

#include "tools/cli/Sha256.h"

namespace {

std::string Bool(bool value) {
    return value ? "true" : "false";
}

std::string Field(const VerifyField& field) {
    return "{\"announced\": " + std::to_string(field.announced) +
           ", \"received\": " + std::to_string(field.received) + ", \"ok\": " + Bool(field.ok()) + "}";
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
    std::string json = "{\n  \"frames\": {";
    bool first = true;
    for (const auto& [kind, count] : report.framesByKind) {
        json += (first ? "" : ", ") + ("\"" + kind + "\": ") + std::to_string(count);
        first = false;
    }
    json += "},\n";
    json += "  \"badFrames\": " + std::to_string(report.badFrames) + ",\n";
    json += "  \"skippedBytes\": " + std::to_string(report.skippedBytes) + ",\n";
    json += std::string("  \"mode\": \"") + ModeName(report.mode) + "\",\n";
    json += "  \"blocksReceived\": " + std::to_string(report.blocksReceived) + ",\n";
    json += "  \"blocksExpected\": " + std::to_string(report.blocksExpected) + ",\n";
    json += "  \"dataFrames\": " + std::to_string(report.dataFrames) + ",\n";
    json += "  \"duplicateBlocks\": " + std::to_string(report.duplicateBlocks) + ",\n";
    json += "  \"numberingErrors\": " + std::to_string(report.numberingErrors) + ",\n";
    json += "  \"countMismatches\": " + std::to_string(report.countMismatches) + ",\n";
    json += "  \"complete\": " + Bool(report.complete) + ",\n";
    json += "  \"transfersCompleted\": " + std::to_string(report.transfersCompleted) + ",\n";
    if (report.record) {
        const VerifyRecordResult& r = *report.record;
        json += "  \"record\": {\n";
        json += "    \"fixedBytes\": " + Bool(r.fixedBytesOk) + ",\n";
        json += "    \"length\": " + Field(r.length) + ",\n";
        json += "    \"crc\": " + Field(r.crc) + ",\n";
        json += "    \"sum\": " + Field(r.sum) + ",\n";
        json += "    \"xor\": " + Field(r.xorValue) + ",\n";
        json += "    \"blockCount\": " + Field(r.blockCount) + ",\n";
        json += "    \"ok\": " + Bool(r.AllOk()) + "\n";
        json += "  },\n";
    } else {
        json += "  \"record\": null,\n";
    }
    json += "  \"payloadLength\": " + std::to_string(report.payload.size()) + ",\n";
    json += "  \"payloadSha256\": \"" + Sha256::Hex(report.payload) + "\",\n";
    json += "  \"lastRate\": " + std::to_string(report.lastRate) + "\n";
    json += "}\n";
    return json;
}
