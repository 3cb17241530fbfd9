// The firmware engine driven as the main window drives it (timer 1 is played by setting the state
// and calling ProcessState), over a real pty.
#include <gtest/gtest.h>

#include <array>
#include <cerrno>

#include "framework/LastError.h"
#include "tests/support/FaultyCommApi.h"
#include "tests/update/EngineHarness.h"
#include "update/FirmwareFile.h"
#include "update/FirmwareUpdate.h"

namespace {

CString WriteImage(EngineHarness& h, const std::vector<uint8_t>& payload, const std::string& model,
                   const char* name = "firmware.trs") {
    std::vector<uint8_t> image;
    EXPECT_TRUE(BuildFirmwareImage(payload.data(), static_cast<uint32_t>(payload.size()), model, image));
    return EngineHarness::PathText(h.WriteFile(name, image));
}

void ReleaseTimer1(FirmwareUpdate& engine) {
    engine.m_state = FW_SEND_MODEL_QUERY;
    engine.ProcessState();
}

const std::vector<uint8_t> kModelQuery9600 = {0x01, 0x69, 0x00, 0x65, 0x00, 0x00, 0x4D, 0xDC};
const std::vector<uint8_t> kModelQuery115200 = {0x01, 0x69, 0x00, 0x65, 0x04, 0x80, 0x4E, 0xBC};
const std::vector<uint8_t> kStatusQuery = {0x01, 0x6C, 0x00, 0x65, 0x00, 0x0A, 0x0A, 0,    0,   0,
                                           0,    0,    0,    0,    0,    0,    0,    0x50, 0x68};

class FirmwareUpdateTest : public ::testing::Test {
protected:
    // A 120-byte payload: three blocks of 50, 50 and 20 bytes.
    void SetUp() override {
        payload = Payload(120, 4);
        ASSERT_TRUE(engine.LoadFile(WriteImage(h, payload, model)));
        h.Attach(engine);
    }
    // One step of the dialogue, as the dialog and a well-behaved device take it.
    void Step(int step) {
        switch (step) {
            case 0:
                engine.Start();
                break;
            case 1:
                ReleaseTimer1(engine);
                break;
            case 2:
                engine.HandleFrame(ModelReply(model));
                break;
            case 3:
                engine.HandleFrame(StatusReply(0));
                break;
            case 4:
                engine.HandleFrame(BlockAck(10000, 3));
                break;
            default:
                engine.HandleFrame(BlockAck(static_cast<uint16_t>(10001 + step - 5), 3));
                break;
        }
    }
    // Takes the first `steps` steps and the frames they write off the line.
    void RunSteps(int steps) {
        const size_t frameSizes[] = {20, 8, 19, 25, 59, 59, 29};
        for (int i = 0; i < steps; ++i) {
            Step(i);
            ASSERT_EQ(h.Sent(frameSizes[i]).size(), frameSizes[i]) << "step " << i;
        }
    }

    std::string model = "CHIP-A";
    std::vector<uint8_t> payload;
    EngineHarness h;
    FirmwareUpdate engine;
};

class FirmwareWholeRun : public ::testing::TestWithParam<bool> {};

TEST_P(FirmwareWholeRun, RunsTheDialogueAt9600WithProgressAndStateText) {
    const bool withLog = GetParam();
    EngineHarness h;
    FirmwareUpdate engine;
    const std::vector<uint8_t> data = Payload(101, 2);
    ASSERT_TRUE(engine.LoadFile(WriteImage(h, data, "CHIP-A")));
    EXPECT_EQ(engine.m_totalBlocks, 3u);
    h.Attach(engine, withLog);

    engine.Start();
    EXPECT_EQ(h.Sent(20), kTriggerFrame);
    EXPECT_EQ(engine.m_state, FW_WAIT_TRIGGER);
    EXPECT_EQ(engine.GetStatusMessage(), L"发送触发帧，等待...");
    ReleaseTimer1(engine);
    EXPECT_EQ(h.Sent(8), kModelQuery9600);
    EXPECT_EQ(engine.GetProgress(), 2);
    engine.HandleFrame(ModelReply("CHIP-A"));
    EXPECT_EQ(h.Sent(19), kStatusQuery);
    EXPECT_EQ(engine.GetProgress(), 4);
    engine.HandleFrame(StatusReply(0x5A));
    const std::vector<uint8_t> verify = h.Sent(25);
    ASSERT_EQ(verify.size(), 25u);
    EXPECT_EQ(std::vector<uint8_t>(verify.begin(), verify.begin() + 15),
              (std::vector<uint8_t>{0x01, 0x6A, 0x27, 0x10, 0x00, 0x03, 0x10, 0x08, 0x00, 0x60, 0x00, 0x00,
                                    0x00, 0x00, 101}));
    EXPECT_EQ(WithCrc(std::vector<uint8_t>(verify.begin(), verify.end() - 2)), verify);
    EXPECT_EQ(engine.GetProgress(), 5);

    const int progress[] = {5, 35, 65};
    engine.HandleFrame(BlockAck(10000, 3));
    for (uint16_t i = 0; i < 3; ++i) {
        const size_t n = i < 2 ? 50 : 1;
        EXPECT_EQ(h.Sent(n + 9), DataBlock(static_cast<uint16_t>(10001 + i), 3, &data[i * 50], n))
            << "block " << i;
        EXPECT_EQ(engine.GetProgress(), progress[i]);
        CString state;
        state.Format(L"发送数据 %u/3", i);
        EXPECT_EQ(engine.GetStateText(), state);
        engine.HandleFrame(BlockAck(static_cast<uint16_t>(10001 + i), 3));
    }
    EXPECT_EQ((std::array{engine.IsRunning(), engine.IsStopped(), engine.IsCompleted()}),
              (std::array{0, 0, 1}));
    EXPECT_EQ(engine.GetProgress(), 100);
    EXPECT_EQ(engine.GetStateText(), L"更新完成");
    EXPECT_EQ(engine.GetStatusMessage(), L"固件更新完成！");
    EXPECT_TRUE(h.NothingSent());
    EXPECT_EQ(h.LineSpeed(), 9600u);

    if (!withLog) {
        EXPECT_TRUE(h.log.empty());
        return;
    }
    EXPECT_EQ(h.Lines(), (std::vector<LogLine>{
                             {LOG_INFO, L"发送触发帧"},
                             {LOG_INFO, L"等待..."},
                             {LOG_DEBUG, L"发送读取MCU (模式: 9600, 长度: 0)"},
                             {LOG_DEBUG, L"收到MCU型号回复: CHIP-A"},
                             {LOG_DEBUG, L"发送获取更新状态"},
                             {LOG_DEBUG, L"收到状态回复: 状态码=0x5A"},
                             {LOG_DEBUG, L"发送校验参数 (块号: 10000, 数据: 16字节)"},
                             {LOG_DEBUG, L"校验参数确认 (块号: 10000)"},
                             {LOG_DEBUG, L"发送数据块 1/3 (块号: 10001, 50字节)"},
                             {LOG_DEBUG, L"发送数据块 2/3 (块号: 10002, 50字节)"},
                             {LOG_DEBUG, L"发送数据块 3/3 (块号: 10003, 1字节)"},
                             {LOG_INFO, L"固件更新完成！"},
                         }));
    EXPECT_EQ(h.log.size(), h.Lines().size() + 7);  // one dump per frame
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutLog, FirmwareWholeRun, ::testing::Bool());

TEST(FirmwareHighSpeed, SwitchesTo115200AfterTheQueryAndBackAtTheEnd) {
    EngineHarness h;
    FirmwareUpdate engine;
    const std::vector<uint8_t> abc = {'a', 'b', 'c'};
    ASSERT_TRUE(engine.LoadFile(WriteImage(h, abc, "")));
    h.Attach(engine);
    engine.m_highSpeed = 1;

    engine.Start();
    EXPECT_EQ(h.Sent(20), kTriggerFrame);
    ReleaseTimer1(engine);
    EXPECT_EQ(h.Sent(8), kModelQuery115200);
    EXPECT_EQ(h.LineSpeed(), 115200u);
    EXPECT_TRUE(h.diag.Contains(ConsoleStream::Output, L"波特率已从 9600 成功更改为 115200"));
    EXPECT_EQ(engine.GetStatusMessage(), L"发送读取MCU (模式: 115200, 长度: 1152) → 切换到115200");
    EXPECT_EQ(h.log.back(), (LogLine{LOG_INFO, L"切换到115200成功"}));

    // The image names no chip model, so even an empty reply lets the update go on.
    engine.HandleFrame(Reply(WithCrc({0x01, 0x69, 0x00})));
    EXPECT_EQ(h.Lines().back(), (LogLine{LOG_DEBUG, L"发送获取更新状态"}));
    EXPECT_EQ(h.Sent(19), kStatusQuery);
    engine.HandleFrame(StatusReply(0));
    EXPECT_EQ(h.Sent(25), (std::vector<uint8_t>{0x01, 0x6A, 0x27, 0x10, 0x00, 0x01, 0x10, 0x08, 0x00,
                                                0x60, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x49,
                                                0x57, 0x26, 0x60, 0xCC, 0xCC, 0x52, 0x89}));
    engine.HandleFrame(Reply({0x01, 0x6A, 0x27, 0x10, 0x00, 0x01, 0xD3, 0x72}));
    EXPECT_EQ(h.Sent(12),
              (std::vector<uint8_t>{0x01, 0x6A, 0x27, 0x11, 0x00, 0x01, 0x03, 0x61, 0x62, 0x63, 0xB0, 0x8C}));
    engine.HandleFrame(BlockAck(10001, 1));

    EXPECT_TRUE(engine.IsCompleted());
    EXPECT_EQ(h.LineSpeed(), 9600u);
    EXPECT_TRUE(h.diag.Contains(ConsoleStream::Output, L"波特率已从 115200 成功更改为 9600"));
    EXPECT_EQ(h.LastLines(2),
              (std::vector<LogLine>{{LOG_INFO, L"恢复波特率到9600"}, {LOG_INFO, L"固件更新完成！"}}));
}

TEST(FirmwareHighSpeed, FailedSwitchAbortsAndFailedReturnStillCompletes) {
    FaultyCommApi api;
    DWORD failingRate = 115200;
    api.beforeSetState = [&](CommHandle, const CommState& state) {
        if (state.BaudRate != failingRate)
            return true;
        SetLastError(EIO);
        return false;
    };
    EngineHarness h(api);
    FirmwareUpdate engine;
    ASSERT_TRUE(engine.LoadFile(WriteImage(h, Payload(10, 1), "")));
    h.Attach(engine);
    engine.m_highSpeed = 1;

    engine.Start();
    ReleaseTimer1(engine);
    EXPECT_TRUE(engine.IsStopped());
    EXPECT_EQ(engine.GetStatusMessage(), L"切换到115200失败");
    EXPECT_EQ(h.LastLines(2), (std::vector<LogLine>(2, {LOG_ERROR, L"切换到115200失败"})));

    failingRate = 0;
    h.Sent(28);
    engine.Start();
    ReleaseTimer1(engine);
    ASSERT_EQ(h.LineSpeed(), 115200u);
    failingRate = 9600;
    engine.HandleFrame(ModelReply(""));
    engine.HandleFrame(StatusReply(0));
    engine.HandleFrame(BlockAck(10000, 1));
    engine.HandleFrame(BlockAck(10001, 1));
    EXPECT_TRUE(engine.IsCompleted());
    EXPECT_EQ(engine.GetStatusMessage(), L"固件更新完成！");
    EXPECT_EQ(h.LastLines(2),
              (std::vector<LogLine>{{LOG_ERROR, L"恢复波特率到9600失败"}, {LOG_INFO, L"固件更新完成！"}}));
}

struct ModelCase {
    std::string imageModel;
    std::string reply;
    bool accepted;
};

void PrintTo(const ModelCase& c, std::ostream* os) {
    *os << "image '" << c.imageModel << "', reply '" << c.reply << "'";
}

class FirmwareChipModel : public ::testing::TestWithParam<ModelCase> {};

TEST_P(FirmwareChipModel, OnlyAnExactMatchOrAnEmptyImageModelGoesOn) {
    const ModelCase c = GetParam();
    EngineHarness h;
    FirmwareUpdate engine;
    ASSERT_TRUE(engine.LoadFile(WriteImage(h, Payload(60, 3), c.imageModel)));
    h.Attach(engine);
    engine.Start();
    ReleaseTimer1(engine);
    h.Sent(28);
    engine.HandleFrame(ModelReply(c.reply));
    if (c.accepted) {
        EXPECT_EQ(h.Sent(19), kStatusQuery);
        EXPECT_TRUE(engine.IsRunning());
        return;
    }
    EXPECT_TRUE(h.NothingSent());
    EXPECT_TRUE(engine.IsStopped());
    EXPECT_EQ(engine.GetStatusMessage(), L"更新已停止");
    EXPECT_EQ(h.LastLines(2),
              (std::vector<LogLine>{
                  {LOG_ERROR, L"错误！！！设备芯片型号与固件对应芯片型号不符，不能进行固件更新！"},
                  {LOG_ERROR, L"更新已停止"}}));
}

INSTANTIATE_TEST_SUITE_P(Models, FirmwareChipModel,
                         ::testing::Values(ModelCase{"STM8S003", "STM8S003", true},
                                           ModelCase{"STM8S003", "stm8s003", false},
                                           ModelCase{"STM8S003", "STM8S0031", false},
                                           ModelCase{"STM8S003", "", false}, ModelCase{"", "ANY-CHIP", true},
                                           ModelCase{"", "", true},
                                           ModelCase{"\xD0\xBE\xC6\xAC-1", "\xD0\xBE\xC6\xAC-1", true}));

struct WriteFailure {
    int step;
    const wchar_t* message;
    const wchar_t* blockLine;
};

void PrintTo(const WriteFailure& c, std::ostream* os) {
    *os << "step " << c.step;
}

class FirmwareWriteFailure : public FirmwareUpdateTest, public ::testing::WithParamInterface<WriteFailure> {};

TEST_P(FirmwareWriteFailure, AbortsTheRunWithTheStepsMessage) {
    const WriteFailure c = GetParam();
    RunSteps(c.step);
    h.pty.HangUp();
    Step(c.step);
    EXPECT_TRUE(engine.IsStopped());
    EXPECT_EQ(engine.m_state, FW_STOPPED);
    EXPECT_EQ(engine.GetStatusMessage(), c.message);
    EXPECT_EQ(engine.GetProgress(), 0);
    EXPECT_EQ(engine.GetStateText(), L"更新已停止");
    std::vector<LogLine> expected = {{LOG_ERROR, L"发送报文失败"}, {LOG_ERROR, c.message}};
    if (c.blockLine)
        expected.insert(expected.begin() + 1, {LOG_ERROR, c.blockLine});
    EXPECT_EQ(h.LastLines(expected.size()), expected);
}

INSTANTIATE_TEST_SUITE_P(Steps, FirmwareWriteFailure,
                         ::testing::Values(WriteFailure{0, L"发送触发帧失败", nullptr},
                                           WriteFailure{1, L"发送读取MCU型号失败", nullptr},
                                           WriteFailure{2, L"发送获取状态失败", nullptr},
                                           WriteFailure{3, L"发送校验参数失败", nullptr},
                                           WriteFailure{4, L"发送数据块失败", L"发送数据块 1 失败"},
                                           WriteFailure{5, L"发送数据块失败", L"发送数据块 2 失败"}));

TEST_F(FirmwareUpdateTest, OnlyTheAwaitedBlockNumberIsAnAcknowledgement) {
    RunSteps(4);  // verify parameters sent
    ASSERT_EQ(engine.m_state, FW_WAIT_VERIFY_ACK);
    engine.HandleFrame(BlockAck(10001, 3));
    EXPECT_EQ(h.log.back(), (LogLine{LOG_ERROR, L"块号不匹配: 期望10000, 收到10001"}));
    EXPECT_EQ(engine.GetStatusMessage(), L"块号不匹配: 期望10000, 收到10001");
    const size_t lines = h.log.size();
    engine.HandleFrame(BlockAck(9999, 3));
    engine.HandleFrame(StatusReply(0));
    EXPECT_EQ(h.log.size(), lines);
    EXPECT_TRUE(h.NothingSent());
    EXPECT_EQ(engine.m_state, FW_WAIT_VERIFY_ACK);

    const auto block0 = DataBlock(10001, 3, &payload[0], 50);
    engine.HandleFrame(BlockAck(10000, 3));
    EXPECT_EQ(h.Sent(59), block0);
    engine.HandleFrame(BlockAck(10002, 3));
    EXPECT_EQ(h.log.back(), (LogLine{LOG_ERROR, L"块号不匹配: 期望10001, 收到10002"}));
    EXPECT_TRUE(h.NothingSent());
    EXPECT_EQ(engine.m_blocksDone, 0u);
    // The verify acknowledgement again: the outstanding block goes out once more.
    engine.HandleFrame(BlockAck(10000, 3));
    EXPECT_EQ(h.Sent(59), block0);
    // The block count of an acknowledgement plays no part.
    engine.HandleFrame(BlockAck(10001, 99));
    EXPECT_EQ(h.Sent(59), DataBlock(10002, 3, &payload[50], 50));
    EXPECT_EQ(engine.m_blocksDone, 1u);
}

TEST_F(FirmwareUpdateTest, AddressChangeAppliesFromTheNextFrame) {
    RunSteps(3);
    h.protocol.address = 0x11;
    Step(3);
    const std::vector<uint8_t> verify = h.Sent(25);
    ASSERT_EQ(verify.size(), 25u);
    EXPECT_EQ(verify[0], 0x11);
    EXPECT_EQ(WithCrc(std::vector<uint8_t>(verify.begin(), verify.end() - 2)), verify);
}

TEST_F(FirmwareUpdateTest, StopEndsTheRunAndNothingMovesItAfterwards) {
    RunSteps(5);
    engine.Stop();
    EXPECT_EQ((std::array{engine.IsRunning(), engine.IsStopped(), engine.IsCompleted()}),
              (std::array{0, 1, 0}));
    EXPECT_EQ(h.log.back(), (LogLine{LOG_ERROR, L"更新已停止"}));
    const size_t lines = h.log.size();
    engine.HandleFrame(BlockAck(10001, 3));
    engine.m_state = FW_SEND_BLOCK;
    engine.ProcessState();
    engine.Stop();
    EXPECT_TRUE(h.NothingSent());
    EXPECT_EQ(h.log.size(), lines);
    EXPECT_EQ(engine.m_blocksDone, 0u);
}

TEST_F(FirmwareUpdateTest, LoadRefusalsKeepTheEarlierImage) {
    ASSERT_TRUE(engine.LoadFile(WriteImage(h, payload, "CHIP-A", "again.trs")));
    EXPECT_TRUE(h.log.empty());  // a good load is the dialog's to report
    const CString path = engine.m_filePath;
    CString loaded;
    loaded.Format(L"固件文件加载成功: %s, %u 字节, %u 块", path, 120u, 3u);
    EXPECT_EQ(engine.GetStatusMessage(), loaded);

    std::vector<uint8_t> badImage;
    BuildFirmwareImage(payload.data(), 120, "CHIP-A", badImage);
    badImage.back() ^= 0x01;
    std::vector<uint8_t> big(FIRMWARE_MAX_PAYLOAD + 1, 0x5A);
    const struct {
        CString path;
        CString message;
    } cases[] = {
        {EngineHarness::PathText(h.WriteFile("bad.trs", badImage)), L"固件校验错误，加载固件文件失败"},
        {EngineHarness::PathText(h.registry.Root() / "missing.trs"), L"固件校验错误，加载固件文件失败"},
        {WriteImage(h, big, "CHIP-B", "big.trs"), L"固件文件过大 (超过2776750字节)"},
    };
    for (const auto& c : cases) {
        h.log.clear();
        EXPECT_FALSE(engine.LoadFile(c.path));
        EXPECT_EQ(engine.GetStatusMessage(), c.message);
        EXPECT_EQ(h.log, (std::vector<LogLine>{{LOG_ERROR, c.message}}));
        EXPECT_EQ(engine.m_filePath, path);
        EXPECT_EQ(engine.m_fileSize, 120u);
        EXPECT_EQ(engine.m_totalBlocks, 3u);
        EXPECT_EQ(engine.m_chipModel, L"CHIP-A");
        EXPECT_EQ(engine.m_data, payload);
    }

    // The largest payload whose block numbers still fit 16 bits loads.
    big.pop_back();
    EXPECT_TRUE(engine.LoadFile(WriteImage(h, big, "CHIP-B", "largest.trs")));
    EXPECT_EQ(engine.m_totalBlocks, 55535u);

    // While running nothing is loaded.
    RunSteps(1);
    EXPECT_FALSE(engine.LoadFile(WriteImage(h, payload, "X", "other.trs")));
    EXPECT_EQ(engine.m_chipModel, L"CHIP-B");
}

TEST(FirmwareStart, IsRefusedWithoutFileOrLinksAndLogsNothing) {
    EngineHarness h;
    FirmwareUpdate engine;
    engine.m_logCallback = [&](LOG_LEVEL level, const CString& text) { h.log.push_back({level, text}); };
    engine.Start();
    EXPECT_EQ(engine.GetStatusMessage(), L"请先加载固件文件");
    EXPECT_EQ(engine.GetStateText(), L"等待开始");
    ASSERT_TRUE(engine.LoadFile(WriteImage(h, Payload(10, 1), "")));
    engine.Start();
    EXPECT_EQ(engine.GetStatusMessage(), L"协议或串口对象无效");
    engine.Stop();
    EXPECT_FALSE(engine.IsRunning());
    EXPECT_FALSE(engine.IsStopped());
    EXPECT_TRUE(h.log.empty());
    EXPECT_TRUE(h.NothingSent());
}

TEST(FirmwareLifetime, DestroyingARunningEngineLogsTheStop) {
    EngineHarness h;
    {
        FirmwareUpdate engine;
        ASSERT_TRUE(engine.LoadFile(WriteImage(h, Payload(10, 1), "")));
        h.Attach(engine);
        engine.Start();
    }
    EXPECT_EQ(h.log.back(), (LogLine{LOG_ERROR, L"更新已停止"}));
}

}  // namespace
