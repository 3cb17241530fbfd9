// The window's receive path against a plain transcription of its algorithm (a CRC over the whole
// buffer for every byte, stray bytes dropped one by one): on random streams both must recognise the
// same frames, log the same lines and keep the same bytes after every byte.
#include <random>

#include "protocol/Protocol.h"
#include "tests/support/Dialog_UpdateTestAccess.h"
#include "tests/ui/MainWindowFixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

class Transcription {
public:
    std::vector<CString> lines;
    Bytes buffer;

    void Push(uint8_t byte) {
        buffer.push_back(byte);
        const auto len = static_cast<uint16_t>(buffer.size());
        if (len >= 3 && Crc16Modbus(buffer.data(), len - 2u) == (buffer[len - 2] | (buffer[len - 1] << 8))) {
            uint16_t f = 0;
            const uint8_t code = buffer[1];
            if (code == 0x67 && len >= 8 && len >= buffer[2] + 5)
                f = buffer[2] + 5;
            if (code == 0x69 && len >= 4 && len >= buffer[2] + 5)
                f = buffer[2] + 5;
            if (code == 0x6A && len >= 8)
                f = 8;
            if (code == 0x6C && len >= 5)
                f = len;
            if (f != 0) {
                lines.push_back(CString(L"DEBUG：接收帧数据：") + FormatHexBytes(buffer.data(), f));
                DeviceFrame frame;
                ParseDeviceFrame(buffer.data(), f, frame);
                if (!frame.valid)
                    lines.push_back(
                        L"错误：[调试] ⚠️ 帧解析失败（CRC错误或格式不匹配）");
                buffer.erase(buffer.begin(), buffer.begin() + f);
                return;
            }
        }
        while (buffer.size() >= 2 && buffer[1] != 0x67 && buffer[1] != 0x69 && buffer[1] != 0x6A &&
               buffer[1] != 0x6C) {
            buffer.erase(buffer.begin());
        }
        if (buffer.size() > 4096)
            buffer.clear();
    }
};

Bytes WithCrc(Bytes body) {
    const uint16_t crc = Crc16Modbus(body.data(), static_cast<uint32_t>(body.size()));
    body.push_back(crc & 0xFF);
    body.push_back(crc >> 8);
    return body;
}

Bytes RandomPiece(std::mt19937& random) {
    const auto byte = [&] { return static_cast<uint8_t>(random()); };
    switch (random() % 9) {
        case 0:
            return WithCrc({byte(), 0x6A, byte(), byte(), byte(), byte()});
        case 1: {
            Bytes body{byte(), 0x69, static_cast<uint8_t>(random() % 12)};
            for (int i = 0; i < body[2]; ++i)
                body.push_back(byte());
            return WithCrc(body);
        }
        case 2: {
            Bytes body{byte(), 0x6C, byte()};
            for (uint32_t i = random() % 6; i > 0; --i)
                body.push_back(byte());
            return WithCrc(body);
        }
        case 3: {
            Bytes body{byte(), 0x67, static_cast<uint8_t>(3 + random() % 6)};
            for (int i = 0; i < body[2]; ++i)
                body.push_back(byte());
            return WithCrc(body);
        }
        case 4:
            return {0x00};
        case 5: {
            Bytes frame = WithCrc({byte(), 0x6A, byte(), byte(), byte(), byte()});
            frame.back() ^= 0x01;  // a damaged acknowledgement
            return frame;
        }
        case 6:
            return {byte(), 0x6A, byte()};  // a cut-off frame
        default: {
            Bytes garbage;
            for (uint32_t i = 1 + random() % 4; i > 0; --i)
                garbage.push_back(byte());
            return garbage;
        }
    }
}

TEST_F(MainWindowTest, ReceivePathMatchesTheTranscriptionOnRandomStreams) {
    m_dialog.m_debugLogEnabled = true;
    std::mt19937 random(7);
    size_t frames = 0;
    for (int stream = 0; stream < 3; ++stream) {
        m_dialog.m_editLog.SetWindowText(L"");
        Inside(m_dialog).m_logLineCount = 0;
        Inside(m_dialog).m_rxBuffer.clear();
        Transcription reference;
        // Short enough that the log never trims: every line stays comparable.
        while (reference.lines.size() < 200) {
            for (uint8_t b : RandomPiece(random)) {
                m_dialog.ProcessReceivedByte(b);
                reference.Push(b);
                ASSERT_EQ(Inside(m_dialog).m_rxBuffer.bytes(), reference.buffer) << "stream " << stream;
            }
        }
        ASSERT_EQ(LogLines(), reference.lines) << "stream " << stream;
        frames += reference.lines.size();
    }
    EXPECT_GE(frames, 600u);
}

}  // namespace
