// The program engine driven as the main window drives it, over a real pty.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>

#include "tests/update/EngineHarness.h"
#include "update/ProgramUpdate.h"

namespace {

using namespace std::chrono_literals;

class ProgramUpdateTest : public ::testing::Test {
protected:
    void Load(const std::vector<uint8_t>& bytes, const char* name = "program.tr3") {
        ASSERT_TRUE(engine.LoadFile(EngineHarness::PathText(h.WriteFile(name, bytes))))
            << engine.m_statusMessage.ToUtf8();
    }
    // Starts a run and takes the trigger and block 0 off the line.
    void StartRun() {
        engine.Start();
        ASSERT_EQ(h.Sent(20), kTriggerFrame);
        ASSERT_EQ(h.Sent(std::min<size_t>(59, engine.m_fileSize + 9)).size(),
                  std::min<size_t>(59, engine.m_fileSize + 9));
    }

    EngineHarness h;
    ProgramUpdate engine;
};

class ProgramWholeRun : public ProgramUpdateTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ProgramWholeRun, SendsEveryBlockInOrderAndLogsEachStep) {
    const bool withLog = GetParam();
    const std::vector<uint8_t> data = Payload(120, 1);
    Load(data);
    h.Attach(engine, withLog);

    engine.Start();
    EXPECT_EQ(h.Sent(20), kTriggerFrame);
    const std::vector<uint8_t> blocks[] = {DataBlock(0, 3, &data[0], 50), DataBlock(1, 3, &data[50], 50),
                                           DataBlock(2, 3, &data[100], 20)};
    const int progress[] = {0, 33, 66};
    for (uint16_t i = 0; i < 3; ++i) {
        EXPECT_EQ(h.Sent(blocks[i].size()), blocks[i]) << "block " << i;
        EXPECT_EQ(engine.GetProgress(), progress[i]);
        CString state;
        state.Format(L"写入数据 %u/3", i);
        EXPECT_EQ(engine.GetStateText(), state);
        engine.HandleFrame(BlockAck(i, 3));
    }
    EXPECT_TRUE(h.NothingSent());
    EXPECT_EQ((std::array{engine.IsRunning(), engine.IsStopped(), engine.IsCompleted()}),
              (std::array{0, 0, 1}));
    EXPECT_EQ(engine.GetProgress(), 100);
    EXPECT_EQ(engine.GetStateText(), L"更新完成");
    EXPECT_EQ(engine.GetStatusMessage(), L"程序更新完成！");

    if (!withLog) {
        EXPECT_TRUE(h.log.empty());
        return;
    }
    const std::vector<LogLine> expected = {
        {LOG_INFO, L"开始程序更新..."},
        {LOG_DEBUG, L"发送触发帧"},
        {LOG_DEBUG, L"发送数据报文：FF 00 FF 00 AA 55 4F 52 56 41 4E 45 2D 55 50 44 41 54 45 00 "},
        {LOG_DEBUG, L"发送数据块 1/3 (块号: 0, 50字节)"},
        {LOG_DEBUG, CString(L"发送数据报文：") + FormatHexBytes(blocks[0].data(), blocks[0].size())},
        {LOG_DEBUG, L"数据块 1/3 确认成功"},
        {LOG_DEBUG, L"发送数据块 2/3 (块号: 1, 50字节)"},
        {LOG_DEBUG, CString(L"发送数据报文：") + FormatHexBytes(blocks[1].data(), blocks[1].size())},
        {LOG_DEBUG, L"数据块 2/3 确认成功"},
        {LOG_DEBUG, L"发送数据块 3/3 (块号: 2, 20字节)"},
        {LOG_DEBUG, CString(L"发送数据报文：") + FormatHexBytes(blocks[2].data(), blocks[2].size())},
        {LOG_DEBUG, L"数据块 3/3 确认成功"},
        {LOG_INFO, L"程序更新完成！"},
    };
    EXPECT_EQ(h.log, expected);
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutLog, ProgramWholeRun, ::testing::Bool());

struct SizeCase {
    uint32_t size;
    uint32_t blocks;
    uint32_t lastBlock;
};

void PrintTo(const SizeCase& c, std::ostream* os) {
    *os << c.size << " bytes";
}

class ProgramFileSize : public ProgramUpdateTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(ProgramFileSize, SplitsIntoBlocksAndCompletes) {
    const SizeCase c = GetParam();
    const std::vector<uint8_t> data = Payload(c.size, 7);
    Load(data);
    EXPECT_EQ(engine.m_fileSize, c.size);
    EXPECT_EQ(engine.m_totalBlocks, c.blocks);
    CString loaded;
    loaded.Format(L"程序文件加载成功: %s, %u 字节, %u 块", engine.m_filePath, c.size, c.blocks);
    EXPECT_EQ(engine.m_statusMessage, loaded);

    h.Attach(engine, false);
    engine.Start();
    ASSERT_EQ(h.Sent(20), kTriggerFrame);
    for (uint32_t i = 0; i < c.blocks; ++i) {
        const size_t n = i + 1 < c.blocks ? 50 : c.lastBlock;
        const auto expected =
            DataBlock(static_cast<uint16_t>(i), static_cast<uint16_t>(c.blocks), &data[i * 50], n);
        ASSERT_EQ(h.Sent(expected.size()), expected) << "block " << i;
        engine.HandleFrame(BlockAck(static_cast<uint16_t>(i), static_cast<uint16_t>(c.blocks)));
    }
    EXPECT_TRUE(engine.IsCompleted());
    EXPECT_TRUE(h.NothingSent());
}

INSTANTIATE_TEST_SUITE_P(Sizes, ProgramFileSize,
                         ::testing::Values(SizeCase{1, 1, 1}, SizeCase{100, 2, 50}, SizeCase{101, 3, 1},
                                           SizeCase{200000, 4000, 50}));

TEST_F(ProgramUpdateTest, RefusedLoadKeepsTheEarlierFileWhole) {
    const std::vector<uint8_t> data = Payload(120, 3);
    Load(data);
    const CString path = engine.m_filePath;
    std::filesystem::create_directory(h.registry.Root() / "folder.tr3");
    const struct {
        CString path;
        const wchar_t* message;
    } cases[] = {
        {EngineHarness::PathText(h.WriteFile("empty.tr3", {})), L"程序文件大小无效 (0或超过200000字节)"},
        {EngineHarness::PathText(h.WriteFile("big.tr3", Payload(200001, 1))),
         L"程序文件大小无效 (0或超过200000字节)"},
        {EngineHarness::PathText(h.registry.Root() / "missing.tr3"), L"加载程序文件失败"},
        {EngineHarness::PathText(h.registry.Root() / "folder.tr3"), L"加载程序文件失败"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(engine.LoadFile(c.path)) << c.path.ToUtf8();
        EXPECT_EQ(engine.m_statusMessage, c.message);
        EXPECT_EQ(engine.m_filePath, path);
        EXPECT_EQ(engine.m_fileSize, 120u);
        EXPECT_EQ(engine.m_totalBlocks, 3u);
        EXPECT_EQ(engine.m_data, data);
    }
    // The earlier file still runs, from its own data and length.
    h.Attach(engine);
    engine.Start();
    EXPECT_EQ(h.Sent(20), kTriggerFrame);
    EXPECT_EQ(h.Sent(59), DataBlock(0, 3, &data[0], 50));
}

TEST_F(ProgramUpdateTest, FileThatDeliversLessThanItsSizeIsNotLoaded) {
    // sysfs reports a size of a whole page for files that hold a few bytes.
    const char* file = "/sys/devices/system/cpu/online";
    std::error_code ec;
    if (std::filesystem::file_size(file, ec) != 4096)
        GTEST_SKIP() << "no sysfs attribute to read";
    EXPECT_FALSE(engine.LoadFile(CString::FromUtf8(file)));
    EXPECT_EQ(engine.m_statusMessage, L"加载程序文件失败");
    EXPECT_EQ(engine.m_fileSize, 0u);
    EXPECT_TRUE(engine.m_data.empty());
}

TEST_F(ProgramUpdateTest, WrongAcknowledgementKeepsWaitingUntilTheRightOne) {
    const std::vector<uint8_t> data = Payload(120, 5);
    Load(data);
    h.Attach(engine);
    StartRun();
    const size_t before = h.log.size();

    engine.HandleFrame(BlockAck(1, 3));
    EXPECT_EQ(h.log.back(), (LogLine{LOG_ERROR, L"块号不匹配: 期望0, 收到1"}));
    EXPECT_EQ(engine.m_statusMessage, L"块号不匹配: 期望0, 收到1");
    engine.HandleFrame(BlockAck(0, 4));
    EXPECT_EQ(h.log.back(), (LogLine{LOG_ERROR, L"总块数不匹配: 期望3, 收到4"}));
    engine.HandleFrame(StatusReply(0));
    DeviceFrame corrupt = BlockAck(0, 3);
    corrupt.valid = 0;
    engine.HandleFrame(corrupt);
    EXPECT_EQ(h.log.size(), before + 2);
    EXPECT_TRUE(h.NothingSent());
    EXPECT_EQ(engine.m_state, PROG_WAIT_BLOCK_ACK);

    // A changed address shows in the very next frame.
    h.protocol.address = 0x2A;
    engine.HandleFrame(BlockAck(0, 3));
    EXPECT_EQ(h.Sent(59), DataBlock(1, 3, &data[50], 50, 0x2A));
    EXPECT_EQ(engine.GetProgress(), 33);
}

TEST_F(ProgramUpdateTest, StopEndsTheRunAndLaterAcknowledgementsAreIgnored) {
    Load(Payload(120, 6));
    h.Attach(engine);
    StartRun();
    engine.Stop();
    EXPECT_EQ((std::array{engine.IsRunning(), engine.IsStopped(), engine.IsCompleted()}),
              (std::array{0, 1, 0}));
    EXPECT_EQ(h.log.back(), (LogLine{LOG_ERROR, L"程序更新已停止"}));
    EXPECT_EQ(engine.GetProgress(), 0);
    EXPECT_EQ(engine.GetStateText(), L"更新已停止");
    const size_t lines = h.log.size();
    engine.HandleFrame(BlockAck(0, 3));
    engine.Stop();
    EXPECT_EQ(h.log.size(), lines);
    EXPECT_TRUE(h.NothingSent());
    EXPECT_EQ(engine.m_blocksDone, 0u);

    // A new start sends the whole file again from block 0.
    StartRun();
    EXPECT_TRUE(engine.IsRunning());
}

TEST_F(ProgramUpdateTest, TriggerThatCannotBeWrittenStopsTheRunBeforeAnyBlock) {
    Load(Payload(120, 8));
    h.Attach(engine);
    h.pty.HangUp();
    const auto begin = std::chrono::steady_clock::now();
    engine.Start();
    EXPECT_GE(std::chrono::steady_clock::now() - begin, 100ms);
    EXPECT_TRUE(engine.IsStopped());
    EXPECT_EQ(engine.GetStatusMessage(), L"程序更新已停止");
    EXPECT_EQ(h.LastLines(3), (std::vector<LogLine>{{LOG_ERROR, L"发送报文失败"},
                                                    {LOG_ERROR, L"发送触发帧失败"},
                                                    {LOG_ERROR, L"程序更新已停止"}}));
    for (const LogLine& line : h.log)
        EXPECT_EQ(line.text.Find(L"发送数据块"), -1);
}

TEST_F(ProgramUpdateTest, BlockThatCannotBeWrittenStopsTheRun) {
    Load(Payload(120, 9));
    h.Attach(engine);
    StartRun();
    h.pty.HangUp();
    engine.HandleFrame(BlockAck(0, 3));
    EXPECT_TRUE(engine.IsStopped());
    EXPECT_EQ(engine.m_state, PROG_STOPPED);
    EXPECT_EQ(engine.GetStatusMessage(), L"发送数据块失败");
    EXPECT_EQ(h.LastLines(3), (std::vector<LogLine>{{LOG_ERROR, L"发送报文失败"},
                                                    {LOG_ERROR, L"发送数据块 2 失败"},
                                                    {LOG_ERROR, L"发送数据块失败"}}));
}

TEST_F(ProgramUpdateTest, StartIsRefusedWithoutFileOrLinks) {
    engine.m_logCallback = [this](LOG_LEVEL level, const CString& text) { h.log.push_back({level, text}); };
    engine.Start();
    EXPECT_EQ(h.log, (std::vector<LogLine>{{LOG_WARNING, L"请先加载程序文件"}}));
    Load(Payload(10, 1));
    engine.Start();
    EXPECT_EQ(h.log.back(), (LogLine{LOG_WARNING, L"协议或串口对象无效"}));
    EXPECT_FALSE(engine.IsRunning());
    EXPECT_FALSE(engine.IsStopped());
    EXPECT_TRUE(h.NothingSent());

    // While running, a load is refused and changes nothing.
    h.Attach(engine);
    StartRun();
    const CString status = engine.m_statusMessage;
    EXPECT_FALSE(engine.LoadFile(EngineHarness::PathText(h.WriteFile("other.tr3", Payload(70, 2)))));
    EXPECT_EQ(engine.m_statusMessage, status);
    EXPECT_EQ(engine.m_fileSize, 10u);
}

TEST(SendFrame, RefusesNothingToSendAndReportsAFailedWrite) {
    EngineHarness h;
    ProgramUpdate engine;
    h.Attach(engine);
    const uint8_t bytes[] = {0x01, 0x6A, 0x00};
    EXPECT_FALSE(engine.SendFrame(nullptr, 3));
    EXPECT_FALSE(engine.SendFrame(bytes, 0));
    EXPECT_EQ(h.log, (std::vector<LogLine>(2, {LOG_ERROR, L"发送报文失败: 数据为空或串口无效"})));
    EXPECT_TRUE(h.NothingSent());

    h.log.clear();
    h.port.Close();
    EXPECT_FALSE(engine.SendFrame(bytes, 3));
    EXPECT_EQ(h.log,
              (std::vector<LogLine>{{LOG_DEBUG, L"发送数据报文：01 6A 00 "}, {LOG_ERROR, L"发送报文失败"}}));
}

TEST(ProgramUpdateLifetime, DestroyingARunningEngineLogsTheStop) {
    EngineHarness h;
    {
        ProgramUpdate engine;
        ASSERT_TRUE(engine.LoadFile(EngineHarness::PathText(h.WriteFile("p.tr3", Payload(60, 1)))));
        h.Attach(engine);
        engine.Start();
    }
    EXPECT_EQ(h.log.back(), (LogLine{LOG_ERROR, L"程序更新已停止"}));
}

}  // namespace
