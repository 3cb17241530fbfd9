// 'orvane-cli image' run as a user runs it: packs images the engine accepts and explains, in plain
// words, why an image is not valid.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "update/FirmwareFile.h"

namespace {

namespace fs = std::filesystem;

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class ImageTool : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "orvane-image-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    Result Run(std::vector<std::string> args) {
        args.insert(args.begin(), {ORVANE_CLI_PATH, "image"});
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const std::string out = (dir / "stdout").string(), err = (dir / "stderr").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = 0;
        Result result;
        if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
            int status = 0;
            ::waitpid(pid, &status, 0);
            result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        posix_spawn_file_actions_destroy(&actions);
        result.out = ReadText(out);
        result.err = ReadText(err);
        return result;
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const fs::path path = dir / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }
    static std::string ReadText(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static std::vector<uint8_t> Bytes(size_t n) {
        std::vector<uint8_t> bytes(n);
        for (size_t i = 0; i < n; ++i)
            bytes[i] = static_cast<uint8_t>(i * 7 + 3);
        return bytes;
    }

    fs::path dir;
};

TEST_F(ImageTool, PackedImageLoadsAndVerifiesAndInfoDescribesIt) {
    const std::vector<uint8_t> payload = Bytes(101);
    const std::string in = Write("payload.bin", payload), out = (dir / "out.trs").string();
    const Result pack = Run({"pack", in, "--model", "芯片-A1", "-o", out});
    ASSERT_EQ(pack.exitCode, 0) << pack.err;

    FirmwareFile file;
    ASSERT_TRUE(file.Load(CString::FromUtf8(out)));
    ASSERT_TRUE(file.Verify());
    EXPECT_EQ(file.GetChipModel(), L"芯片-A1");
    std::vector<uint8_t> copy(payload.size());
    EXPECT_EQ(file.GetPayload(copy.data()), payload.size());
    EXPECT_EQ(copy, payload);

    const Result info = Run({"info", out});
    EXPECT_EQ(info.exitCode, 0) << info.out;
    for (const char* line :
         {"header length:   274\n", "payload length:  101 bytes\n", "chip model:      \"芯片-A1\"\n",
          "blocks:          3\n", "check:           verifies\n", "image is valid\n"}) {
        EXPECT_NE(info.out.find(line), std::string::npos) << line;
    }
}

TEST_F(ImageTool, InfoNamesWhatIsWrongWithAnInvalidImage) {
    std::vector<uint8_t> good;
    ASSERT_TRUE(BuildFirmwareImage(Bytes(120).data(), 120, "M1", good));
    std::vector<uint8_t> otherKey;
    const uint8_t key[4] = {'A', 'B', 'C', 'D'};
    ASSERT_TRUE(BuildFirmwareImage(Bytes(120).data(), 120, "M1", otherKey, key));
    const struct {
        std::vector<uint8_t> image;
        const char* reason;
    } cases[] = {
        {std::vector<uint8_t>(good.begin(), good.begin() + 273),
         "the file is 273 bytes, too short for the 274-byte header"},
        {[&] {
             auto f = good;
             f[5] = 'x';
             return f;
         }(),
         "this is no firmware image"},
        {std::vector<uint8_t>(600, '#'), "this is no firmware image"},
        {[&] {
             auto f = good;
             f[8] = 0x01, f[9] = 0x12;
             return f;
         }(),
         "wrong header length: the header says 4609"},
        {[&] {
             auto f = good;
             f.push_back(0);
             return f;
         }(),
         "payload length 120 does not match the file size: 121"},
        {[&] {
             auto f = good;
             f[300] ^= 1;
             return f;
         }(),
         "check value mismatch"},
        {otherKey, "check value mismatch"},
    };
    for (const auto& c : cases) {
        const Result info = Run({"info", Write("bad.trs", c.image)});
        EXPECT_EQ(info.exitCode, 1) << c.reason;
        EXPECT_NE(info.out.find(std::string("invalid image: ") + c.reason), std::string::npos) << info.out;
        // A file that is no image is said to be none before any of its bytes are shown as header
        // fields.
        if (c.reason == std::string("this is no firmware image")) {
            EXPECT_EQ(std::count(info.out.begin(), info.out.end(), '\n'), 2) << info.out;
        }
    }
}

TEST_F(ImageTool, PackRefusesWhatCannotMakeAnUpdatableImage) {
    const std::string out = (dir / "refused.trs").string();
    std::string longModel;
    for (int i = 0; i < 128; ++i)
        longModel += "芯";  // 256 bytes in GBK
    const struct {
        std::vector<uint8_t> payload;
        std::string model;
        const char* reason;
    } cases[] = {
        {Bytes(FIRMWARE_MAX_PAYLOAD + 1), "M", "block numbers are 16 bits"},
        {{}, "M", "the payload is empty"},
        {Bytes(10), longModel, "256 bytes in GBK, at most 255 fit"},
        {Bytes(10), "\xF0\x9F\x98\x80", "characters GBK cannot hold"},
        {Bytes(FIRMWARE_MAX_PAYLOAD), longModel.substr(3) + "M", nullptr},
    };
    for (const auto& c : cases) {
        fs::remove(out);
        const Result pack = Run({"pack", Write("p.bin", c.payload), "--model", c.model, "-o", out});
        EXPECT_EQ(pack.exitCode, c.reason ? 1 : 0) << pack.err;
        EXPECT_EQ(fs::exists(out), c.reason == nullptr);
        if (c.reason) {
            EXPECT_EQ(pack.err.rfind("orvane-cli image pack: refused: ", 0), 0u) << pack.err;
            EXPECT_NE(pack.err.find(c.reason), std::string::npos) << pack.err;
        }
    }
    EXPECT_EQ(Run({"info", out}).exitCode, 0);
}

TEST_F(ImageTool, BadArgumentsGiveOneLineAndExitTwo) {
    const std::string payload = Write("p.bin", Bytes(10));
    fs::create_directory(dir / "folder");
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"unpack"},
        {"pack"},
        {"pack", payload, "-o", "x.trs"},
        {"pack", payload, "--model"},
        {"pack", payload, "--model", "M"},
        {"pack", payload, "--model", "M", "--model", "N", "-o", "x.trs"},
        {"pack", payload, "--colour", "-o", "x.trs"},
        {"pack", (dir / "missing.bin").string(), "--model", "M", "-o", (dir / "x.trs").string()},
        {"info"},
        {"info", payload, payload},
        {"info", (dir / "missing.trs").string()},
        {"info", (dir / "folder").string()},
    };
    for (const auto& args : cases) {
        const Result r = Run(args);
        EXPECT_EQ(r.exitCode, 2) << ::testing::PrintToString(args);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    // The payload as its own output, under any name, would be lost.
    fs::create_hard_link(payload, dir / "link.bin");
    for (const fs::path& same : {fs::path(payload), dir / "." / "p.bin", dir / "link.bin"}) {
        const Result r = Run({"pack", payload, "--model", "M", "-o", same.string()});
        EXPECT_EQ(r.exitCode, 2) << same;
        EXPECT_NE(r.err.find("is the payload file itself"), std::string::npos) << r.err;
        EXPECT_EQ(ReadText(payload), ReadText(Write("expected.bin", Bytes(10)))) << same;
    }
    for (const std::vector<std::string>& help : {std::vector<std::string>{"--help"}, {"pack", "--help"}}) {
        const Result r = Run(help);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_NE(r.out.find("usage: orvane-cli image pack"), std::string::npos);
    }
}

}  // namespace
