// The receive path fed byte by byte, as the reader thread's posted messages feed it.
#include "protocol/Protocol.h"
#include "tests/support/Dialog_UpdateTestAccess.h"
#include "tests/ui/MainWindowFixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kVerifyAck{0x01, 0x6A, 0x27, 0x10, 0x00, 0x01, 0xD3, 0x72};
const Bytes kModelAbc{0x01, 0x69, 0x03, 0x61, 0x62, 0x63, 0x65, 0x10};

class ReceivePathTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        m_dialog.m_debugLogEnabled = true;
    }
    void Feed(const Bytes& bytes) {
        for (uint8_t b : bytes)
            m_dialog.ProcessReceivedByte(b);
    }
    int CountLines(const CString& line) {
        int n = 0;
        for (const CString& l : LogLines())
            n += l == line;
        return n;
    }
};

TEST_F(ReceivePathTest, AckRecognisedOnItsEighthByte) {
    for (size_t i = 0; i + 1 < kVerifyAck.size(); ++i) {
        m_dialog.ProcessReceivedByte(kVerifyAck[i]);
        EXPECT_EQ(Inside(m_dialog).m_rxBuffer.size(), i + 1);
    }
    EXPECT_EQ(LogLines().size(), 1u);
    m_dialog.ProcessReceivedByte(kVerifyAck.back());
    EXPECT_TRUE(LogHas(L"DEBUG：接收帧数据：01 6A 27 10 00 01 D3 72 "));
    EXPECT_TRUE(Inside(m_dialog).m_rxBuffer.empty());
}

TEST_F(ReceivePathTest, TwoFramesBackToBack) {
    Feed(kVerifyAck);
    Feed(kModelAbc);
    EXPECT_EQ(CountLines(L"DEBUG：接收帧数据：01 6A 27 10 00 01 D3 72 "), 1);
    EXPECT_EQ(CountLines(L"DEBUG：接收帧数据：01 69 03 61 62 63 65 10 "), 1);
    EXPECT_TRUE(Inside(m_dialog).m_rxBuffer.empty());
}

// A stray byte ahead of a reply is dropped as soon as the byte after it shows no function code.
TEST_F(ReceivePathTest, StrayBytesAheadOfAFrameAreSkipped) {
    for (const Bytes& stray : {Bytes{0x00}, Bytes{0x00, 0x00}, Bytes{0xFF, 0x13, 0x00}}) {
        Inside(m_dialog).m_rxBuffer.clear();
        Bytes stream = stray;
        stream.insert(stream.end(), kVerifyAck.begin(), kVerifyAck.end());
        const int before = CountLines(L"DEBUG：接收帧数据：01 6A 27 10 00 01 D3 72 ");
        Feed(stream);
        EXPECT_EQ(CountLines(L"DEBUG：接收帧数据：01 6A 27 10 00 01 D3 72 "), before + 1);
        EXPECT_TRUE(Inside(m_dialog).m_rxBuffer.empty());
    }
}

TEST_F(ReceivePathTest, StrayByteAheadOfAModelReplyDuringATest) {
    Inside(m_dialog).m_testing = 1;
    Feed({0x00});
    Feed(kModelAbc);
    EXPECT_TRUE(LogHas(L"收到设备回应报文"));
    EXPECT_TRUE(LogHas(L"DEBUG：设备型号: abc"));
    EXPECT_FALSE(Inside(m_dialog).m_testing);
}

TEST_F(ReceivePathTest, GarbageThatNeverFormsAFrameIsDiscardedPast4096Bytes) {
    // Byte 1 is a function code, so nothing is skipped as stray; each further byte is chosen so
    // that no prefix ever ends in a matching CRC.
    Bytes garbage{0x00, FUNC_BLOCK};
    while (garbage.size() < RX_DISCARD_LIMIT + 1) {
        uint8_t next = 0x55;
        const size_t n = garbage.size() + 1;
        const auto matches = [&](uint8_t b) {
            return n >= 3 &&
                   Crc16Modbus(garbage.data(), static_cast<uint32_t>(n - 2)) == (garbage.back() | (b << 8));
        };
        while (matches(next))
            ++next;
        garbage.push_back(next);
    }
    Feed(Bytes(garbage.begin(), garbage.begin() + RX_DISCARD_LIMIT));
    EXPECT_EQ(Inside(m_dialog).m_rxBuffer.size(), RX_DISCARD_LIMIT);  // exactly 4096: kept
    EXPECT_EQ(LogLines().size(), 1u);
    m_dialog.ProcessReceivedByte(garbage.back());
    EXPECT_TRUE(Inside(m_dialog).m_rxBuffer.empty());
    Feed(kVerifyAck);
    EXPECT_TRUE(LogHas(L"DEBUG：接收帧数据：01 6A 27 10 00 01 D3 72 "));
}

TEST_F(ReceivePathTest, ModelReplyDuringATestNeverReachesTheEngine) {
    m_dialog.SwitchWorkMode(MODE_FIRMWARE);
    Inside(m_dialog).m_firmwareUpdate.m_running = 1;
    Inside(m_dialog).m_firmwareUpdate.m_state = FW_WAIT_MODEL;
    Inside(m_dialog).m_testing = 1;
    Feed(kModelAbc);
    EXPECT_EQ(Inside(m_dialog).m_firmwareUpdate.m_state, FW_WAIT_MODEL);
    EXPECT_FALSE(Inside(m_dialog).m_testing);
    Inside(m_dialog).m_firmwareUpdate.m_running = 0;
}

TEST_F(ReceivePathTest, FramesWhileNothingRunsAreLoggedAndDropped) {
    Feed(kVerifyAck);
    const std::vector<CString> lines = LogLines();
    EXPECT_EQ(lines.back(), CString(L"DEBUG：接收帧数据：01 6A 27 10 00 01 D3 72 "));
}

TEST_F(ReceivePathTest, StatusReplyTakesTheWholeBuffer) {
    Bytes reply{0x01, 0x6C, 0x00};
    const uint16_t crc = Crc16Modbus(reply.data(), 3);
    reply.push_back(crc & 0xFF);
    reply.push_back(crc >> 8);
    Feed(reply);
    EXPECT_TRUE(Inside(m_dialog).m_rxBuffer.empty());
    EXPECT_EQ(CountLines(CString(L"DEBUG：接收帧数据：") + FormatHexBytes(reply.data(), reply.size())), 1);
}

}  // namespace
