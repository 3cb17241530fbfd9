// orvane-cli in both languages: the same runs in a Chinese locale (one that is not installed here)
// and in an English one. A Chinese run prints no English sentence; the machine fields of JSON lines
// and records stay the same in both.
#include <nlohmann/json.hpp>

#include <fstream>
#include <regex>
#include <sstream>

#include "tests/cli/CliFixture.h"

namespace {

// LC_ALL outranks what the test's own environment sets.
const std::vector<std::string> kChineseLocale = {"LC_ALL=zh_CN.UTF-8"};
const std::vector<std::string> kEnglishLocale = {"LC_ALL=en_US.UTF-8"};

// The runs of three or more English words in `text`. Not sentences, and so left out: JSON lines
// (machine fields), quoted text (file names and arguments echoed back), and tokens that are names
// rather than words: options (--port), paths and file names, COM names, numbers, and placeholders
// in capitals (FILE, TEXT).
std::vector<std::string> EnglishSentences(const std::string& text) {
    static const std::regex quoted(R"('[^']*'|"[^"]*"|“.*?”)");
    static const std::regex word(R"(\(?[A-Za-z]*[a-z][A-Za-z]*[,.;:!?)]*)");
    std::vector<std::string> found;
    for (std::string line : Lines(text)) {
        if (line.rfind("[COM", 0) == 0 && line.find("] ") != std::string::npos)
            line = line.substr(line.find("] ") + 2);
        if (!line.empty() && line[0] == '{')
            continue;
        std::istringstream tokens(std::regex_replace(line, quoted, " "));
        std::string token, run;
        int words = 0;
        auto endRun = [&] {
            if (words >= 3)
                found.push_back(run);
            run.clear();
            words = 0;
        };
        while (tokens >> token) {
            if (!std::regex_match(token, word)) {
                endRun();
                continue;
            }
            run += (words++ == 0 ? "" : " ") + token;
        }
        endRun();
    }
    return found;
}

std::string Joined(const std::vector<std::string>& sentences) {
    std::string text;
    for (const std::string& sentence : sentences)
        text += "\n  " + sentence;
    return text;
}

}  // namespace

TEST(EnglishSentences, FindsSentencesButNotNames) {
    EXPECT_EQ(EnglishSentences("the device sent nothing for 30 s").size(), 1u);
    EXPECT_EQ(EnglishSentences("[COM3] stopped by the user").size(), 1u);
    EXPECT_TRUE(EnglishSentences("用法：orvane-cli program FILE.tr3 --port P... [--address A]").empty());
    EXPECT_TRUE(EnglishSentences("设备 COM3 /dev/ttyUSB0 usb 0403:6001 'Dual RS232 adapter'").empty());
    EXPECT_TRUE(
        EnglishSentences(R"({"type":"result","status":"timeout","message":"the device sent nothing"})")
            .empty());
    EXPECT_TRUE(EnglishSentences("没有“some file name here”这个文件").empty());
}

class Languages : public CliTest {};

// Every kind of text the tool prints on its own: usage and its errors, help, file and port errors,
// the image tool, a device's answer, an update's progress and result, a station's table.
TEST_F(Languages, AChineseRunPrintsNoEnglishSentence) {
    SimulatedDevice device({"--count", "2"}, 2);
    ASSERT_TRUE(device.Ready());
    const std::string port = device.Ports()[0];
    const std::string other = device.Ports()[1];
    const std::string program = Write("good.tr3", RandomBytes(120));
    const std::string image = Image("fw.trs", RandomBytes(120));
    Bytes corrupt = Read(image);
    corrupt[274 + 10] ^= 0x01;
    const std::string corruptImage = Write("corrupt.trs", corrupt);
    const std::string payload = Write("payload.bin", RandomBytes(60));

    const std::vector<std::vector<std::string>> runs = {
        {},
        {"--help"},
        {"bogus"},
        {"--lang", "fr", "ports"},
        {"test", "--help"},
        {"program", "--help"},
        {"firmware", "--help"},
        {"image", "--help"},
        {"program", program, "--port", port, "--bogus"},
        {"program", program, "--port", port, "--port"},
        {"test", "--port", port, "--address", "300"},
        {"program", program},
        {"program", "--port", port},
        {"firmware", program, "--port", port},
        {"program", image, "--port", port},
        {"program", Path("missing.tr3").string(), "--port", port},
        {"test", "--port", "COM0"},
        {"test", "--ports", "COM5"},
        {"image"},
        {"image", "pack"},
        {"image", "pack", payload, "--model", "ORV-SIM"},
        {"image", "pack", payload, "--model", "ORV-SIM", "-o", Path("out.trs").string()},
        {"image", "info", image},
        {"image", "info", corruptImage},
        {"image", "info", payload},
        {"image", "pack", payload, "--model", "X", "-o", Path("no-such-folder/out.trs").string()},
        {"ports", "--help"},
        {"ports", "--bogus"},
        {"simulate", "--help"},
        {"simulate", "--swap", "2"},
        {"test", "--port", port, "--port", other, "--port", port},
        {"test", "--port", port, "--port", "COM99", "--record", Path("station.jsonl").string()},
        {"program", program, "--port", port, "--tag", "bad key=1"},
        {"program", program, "--port", port, "--record", Path("no-such-folder/r.jsonl").string()},
        {"firmware", image, "--ports", "COM250-COM251"},
        {"program", program, "--ports", other + "-" + other, "--expect", "2"},
    };
    for (const std::vector<std::string>& args : runs) {
        std::string command = "orvane-cli";
        for (const std::string& arg : args)
            command += " " + arg;
        SCOPED_TRACE(command);
        const CliRun chinese = RunCli(args, kHostRunLimit, kChineseLocale);
        const CliRun english = RunCli(args, kHostRunLimit, kEnglishLocale);
        EXPECT_EQ(chinese.exitCode, english.exitCode);
        const std::string said = chinese.out + chinese.err;
        EXPECT_TRUE(EnglishSentences(said).empty()) << said << "\nEnglish:" << Joined(EnglishSentences(said));
        EXPECT_NE(said, english.out + english.err) << "the same text in both languages";
    }
    // Runs that print only the window's log lines and the ports listing: nothing of the tool's own to
    // translate, and no English either.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"ports"}, {"test", "--port", port}, {"program", program, "--port", port}}) {
        const CliRun chinese = RunCli(args, kHostRunLimit, kChineseLocale);
        EXPECT_EQ(chinese.exitCode, 0) << chinese.out << chinese.err;
        EXPECT_TRUE(EnglishSentences(chinese.out + chinese.err).empty()) << chinese.out << chinese.err;
    }
}

// --lang outranks the locale, in either direction, before or after the command's own arguments.
TEST_F(Languages, TheLangOptionOutranksTheLocale) {
    const CliRun chinese = RunCli({"bogus", "--lang", "zh"}, kHostRunLimit, kEnglishLocale);
    EXPECT_TRUE(Contains(chinese.err, "没有")) << chinese.err;
    const CliRun english = RunCli({"--lang=en", "bogus"}, kHostRunLimit, kChineseLocale);
    EXPECT_TRUE(Contains(english.err, "unknown command 'bogus'")) << english.err;
    // LANG counts when LC_ALL and LC_MESSAGES are unset or empty, and C names no language.
    EXPECT_TRUE(Contains(RunCli({"bogus"}, kHostRunLimit, {"LC_ALL=", "LANG=zh_TW.Big5"}).err, "没有"));
    EXPECT_TRUE(Contains(RunCli({"bogus"}, kHostRunLimit, {"LC_ALL=C", "LANG=zh_CN.UTF-8"}).err, "unknown"));
}

// The same failure (the device stops acknowledging, the host gives up after its time-out) in a Chinese
// and in an English locale: the reason reads in each language, the machine fields do not change.
TEST_F(Languages, TheSameFailureReadsInEitherLanguageWithTheSameCodes) {
    SimulatedDevice device({"--drop-ack-at", "2"});
    ASSERT_TRUE(device.Ready());
    const std::string program = Write("p.tr3", RandomBytes(400));
    const std::vector<std::string> args = {"program", program, "--port", device.Port(), "--timeout", "1"};

    const CliRun chinese = RunCli(args, kHostRunLimit, kChineseLocale);
    const CliRun english = RunCli(args, kHostRunLimit, kEnglishLocale);
    EXPECT_EQ(chinese.exitCode, 3) << chinese.err;
    EXPECT_EQ(english.exitCode, 3) << english.err;
    EXPECT_TRUE(Contains(chinese.err, "设备 1 秒内没有发送任何数据；更新已停止")) << chinese.err;
    EXPECT_TRUE(Contains(english.err, "the device sent nothing for 1 s; the update was stopped"))
        << english.err;
    EXPECT_TRUE(EnglishSentences(chinese.out + chinese.err).empty()) << chinese.out << chinese.err;
    // The window's log lines, on stdout, are the same in both.
    EXPECT_TRUE(Contains(chinese.out, "开始程序更新")) << chinese.out;
    EXPECT_EQ(chinese.out, english.out);

    std::vector<nlohmann::json> results, records;
    for (const auto& locale : {kChineseLocale, kEnglishLocale}) {
        std::vector<std::string> json = args;
        json.insert(json.end(), {"--json", "--record", Path("record.jsonl").string()});
        const CliRun run = RunCli(json, kHostRunLimit, locale);
        EXPECT_EQ(run.exitCode, 3) << run.out;
        for (const std::string& line : Lines(run.out)) {
            const nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
            ASSERT_FALSE(object.is_discarded()) << line;
            if (object.value("type", "") == "result")
                results.push_back(object);
        }
    }
    std::ifstream recordFile(Path("record.jsonl"));
    for (std::string line; std::getline(recordFile, line);)
        records.push_back(nlohmann::json::parse(line, nullptr, false));
    ASSERT_EQ(results.size(), 2u);
    ASSERT_EQ(records.size(), 2u);
    for (const std::vector<nlohmann::json>* pair : {&results, &records}) {
        const nlohmann::json& zh = (*pair)[0];
        const nlohmann::json& en = (*pair)[1];
        EXPECT_EQ(zh.value("reason_code", "?"), "device-silent") << zh;
        EXPECT_EQ(en.value("reason_code", "?"), "device-silent") << en;
        const char* status = pair == &results ? "status" : "result";
        EXPECT_EQ(zh.value(status, "?"), "timeout") << zh;
        EXPECT_EQ(en.value(status, "?"), "timeout") << en;
        const char* reason = pair == &results ? "message" : "reason";
        EXPECT_TRUE(Contains(zh.value(reason, ""), "更新已停止")) << zh;
        EXPECT_TRUE(Contains(en.value(reason, ""), "the update was stopped")) << en;
        // Every key the one has, the other has too.
        for (const auto& [key, value] : zh.items())
            EXPECT_TRUE(en.contains(key)) << key;
    }
    EXPECT_EQ(device.Stop(), 0);
}

// A loop in a Chinese locale: the operator's lines as units end, and the summary, read in Chinese.
TEST_F(Languages, ALoopSpeaksChineseToTheOperator) {
    // Out for longer than the two unanswered polls that tell the loop a unit is gone.
    SimulatedDevice fixture({"--units", "2", "--swap", "3.5", "--unit", "2:--drop-ack-at=2"});
    ASSERT_TRUE(fixture.Ready());
    CliProcess loop(
        {"program", Write("app.tr3", RandomBytes(300)), "--port", fixture.Port(), "--loop", "--timeout", "1"},
        kChineseLocale);
    bool secondEnded = false;
    for (std::optional<std::string> line; !secondEnded && (line = loop.NextLine(kHostRunLimit));)
        secondEnded = Contains(*line, "第 2 台");
    ASSERT_TRUE(secondEnded) << loop.Out() << loop.Err();
    loop.Signal(SIGINT);
    EXPECT_EQ(loop.Wait(kHostRunLimit), 130) << loop.Out() << loop.Err();
    EXPECT_TRUE(Contains(loop.Out(), "共 2 台，完成 1 台")) << loop.Out();
    const std::string said = loop.Out() + loop.Err();
    EXPECT_TRUE(EnglishSentences(said).empty()) << said << "\nEnglish:" << Joined(EnglishSentences(said));
}
