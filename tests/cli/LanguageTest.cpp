// orvane-cli in both languages: the same runs in a Chinese locale (one that is not installed here)
// and in an English one. A Chinese run prints no English sentence; the machine fields of JSON lines
// and records stay the same in both.
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
