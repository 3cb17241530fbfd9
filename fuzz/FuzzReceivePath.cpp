// Fuzz target: the main window's receive path on an arbitrary byte stream. ReceiveBuffer is driven
// step for step as Dialog_Update::ProcessReceivedByte drives it (recognise, dump, parse, consume;
// else drop stray bytes and discard past RX_DISCARD_LIMIT), and the buffer's running CRC is checked
// against a CRC over the whole buffer after every step.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "framework/TextCodec.h"
#include "fuzz/FuzzSupport.h"
#include "protocol/Protocol.h"
#include "protocol/ReceiveBuffer.h"
#include "ui/Dialog_Update.h"

namespace {

constexpr size_t kAlwaysCheckedSize = 512;

bool IsFunctionCode(uint8_t code) {
    return code == FUNC_EXTENDED || code == FUNC_MODEL || code == FUNC_BLOCK || code == FUNC_STATUS;
}

bool DirectTrailerMatches(const ReceiveBuffer& buffer) {
    const size_t n = buffer.size();
    if (n < 3)
        return false;
    const uint16_t crc = Crc16Modbus(buffer.data(), static_cast<uint32_t>(n - 2));
    return crc == (buffer[n - 2] | (buffer[n - 1] << 8));
}

// The buffer's own answer must agree with the direct one. Agreement alone would reveal a stale
// running CRC only when a trailer happened to match, so a copy is also closed with the true CRC of
// everything in it, which must match, and with a wrong one, which must not.
void CheckRunningCrc(const ReceiveBuffer& buffer) {
    FUZZ_CHECK(buffer.TrailerMatches() == DirectTrailerMatches(buffer));
    if (buffer.empty())
        return;
    const uint16_t crc = Crc16Modbus(buffer.data(), static_cast<uint32_t>(buffer.size()));
    ReceiveBuffer closed = buffer;
    closed.push_back(static_cast<uint8_t>(crc & 0xFF));
    ReceiveBuffer wrong = closed;
    closed.push_back(static_cast<uint8_t>(crc >> 8));
    wrong.push_back(static_cast<uint8_t>((crc >> 8) ^ 0x01));
    FUZZ_CHECK(closed.TrailerMatches() && !wrong.TrailerMatches());
}

// Where every byte that went in has gone.
struct Tally {
    size_t pushed = 0;
    size_t framed = 0;
    size_t stray = 0;
    size_t discarded = 0;
};

// One received byte; returns the length of the frame it completed, or 0.
uint16_t ProcessByte(ReceiveBuffer& buffer, uint8_t byte, Tally& tally) {
    buffer.push_back(byte);
    ++tally.pushed;
    FUZZ_CHECK(buffer.size() <= RX_DISCARD_LIMIT + 1);
    // The full check costs a pass over the buffer. Short buffers get it on every byte; long ones
    // whenever they claim a match and on every 64th byte, which still finds a wrong running CRC,
    // since it stays wrong until the next erase (and every erase is checked).
    if (buffer.size() <= kAlwaysCheckedSize || buffer.TrailerMatches() || buffer.size() % 64 == 0)
        CheckRunningCrc(buffer);

    if (const uint16_t frameLength = buffer.CompleteFrameLength(); frameLength != 0) {
        FUZZ_CHECK(frameLength >= 3 && frameLength <= buffer.size());
        FUZZ_CHECK(IsFunctionCode(buffer[1]) && buffer.TrailerMatches());
        FUZZ_CHECK(FormatHexBytes(buffer.data(), frameLength).GetLength() == 3 * frameLength);
        DeviceFrame frame;
        ParseDeviceFrame(buffer.data(), frameLength, frame);
        // A frame that is the whole buffer passed the very CRC check the parse repeats.
        if (frameLength == buffer.size())
            FUZZ_CHECK(frame.valid);
        if (frame.valid) {
            FUZZ_CHECK(frame.data.size() <= frameLength);
            // The connection test widens a model reply's text for the log.
            if (frame.functionCode == FUNC_MODEL && !frame.data.empty())
                FUZZ_CHECK(AnsiToWide(frame.data.data(), frame.data.size()).GetLength() <=
                           static_cast<int>(frame.data.size()));
        }
        buffer.erase_front(frameLength);
        tally.framed += frameLength;
        CheckRunningCrc(buffer);
        return frameLength;
    }

    const size_t stray = buffer.DropStrayBytes();
    tally.stray += stray;
    FUZZ_CHECK(buffer.size() < 2 || IsFunctionCode(buffer[1]));
    if (stray > 0)
        CheckRunningCrc(buffer);
    if (buffer.size() > RX_DISCARD_LIMIT) {
        tally.discarded += buffer.size();
        buffer.clear();
    }
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ReceiveBuffer buffer;
    Tally tally;
    for (size_t i = 0; i < size; ++i)
        ProcessByte(buffer, data[i], tally);
    FUZZ_CHECK(tally.pushed == tally.framed + tally.stray + tally.discarded + buffer.size());

    // The window empties the buffer on a port close or a mode switch; afterwards it must behave
    // exactly like a new one.
    buffer.clear();
    FUZZ_CHECK(buffer.empty() && !buffer.TrailerMatches());
    ReceiveBuffer fresh;
    Tally ignored;
    for (size_t i = 0; i < size && i < 64; ++i) {
        FUZZ_CHECK(ProcessByte(buffer, data[i], ignored) == ProcessByte(fresh, data[i], ignored));
        FUZZ_CHECK(buffer.bytes() == fresh.bytes());
    }
    return 0;
}
