// What some serial drivers do that a pseudo-terminal does not, played through the comm calls: a
// driver that reports no flow-control characters and refuses them back, and one that counts no
// output queue for writes it has completed. Built for Linux and, over the in-process line, Windows.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "serial/SerialPort.h"
#include "tests/support/DiagCapture.h"
#include "tests/support/FaultyCommApi.h"
#include "tests/support/Pty.h"
#include "tests/support/TempRegistry.h"
#include "tests/support/TestOwner.h"

namespace {

using namespace std::chrono_literals;

constexpr int kPort = 5;
constexpr DWORD kDriverBuffer = 4096;
constexpr DWORD kInvalidParameter = 87;  // ERROR_INVALID_PARAMETER

class SerialDriverQuirksTest : public ::testing::Test {
protected:
    void SetUp() override { registry.Link("COM5", pty.SlavePath()); }

    TempRegistry registry;
    Pty pty;
    TestOwner owner;
    DiagCapture diag;
    FaultyCommApi api;
};

// Such a driver reports XON = XOFF = 0 and levels beyond its buffer, and refuses the whole state
// when it gets them back: opening and changing the rate must both hand it sane ones.
TEST_F(SerialDriverQuirksTest, DriverThatRefusesItsOwnFlowCharactersStillOpensAndChangesRate) {
    std::vector<CommState> refused;
    api.beforeSetState = [&](CommHandle, CommState& state) {
        if (state.XonChar == state.XoffChar || state.XonLim > kDriverBuffer ||
            state.XoffLim > kDriverBuffer) {
            refused.push_back(state);
            SetLastError(kInvalidParameter);
            return false;
        }
        return true;
    };
    SerialPort port(api);
    ASSERT_TRUE(port.Open(&owner, kPort));
    ASSERT_TRUE(port.SetBaudRate(115200));
    EXPECT_EQ(pty.LineSpeed(), 115200u);
    EXPECT_TRUE(refused.empty());
}

// Writes complete once the driver has the bytes; it may count none as queued while the adapter is
// still sending them. The rate must not change under bytes still on the wire.
TEST_F(SerialDriverQuirksTest, RateChangeWaitsForTheBytesStillOnTheWire) {
    api.outQueue = [](DWORD& count) {
        count = 0;
        return true;
    };
    SerialPort port(api);
    ASSERT_TRUE(port.Open(&owner, kPort));
    const std::vector<uint8_t> bytes(480, 0x5A);  // half a second at 9600
    ASSERT_TRUE(port.Write(bytes.data(), static_cast<uint32_t>(bytes.size())));
    const auto written = std::chrono::steady_clock::now();
    ASSERT_TRUE(port.SetBaudRate(115200));
    EXPECT_GE(std::chrono::steady_clock::now() - written, 500ms);
    EXPECT_EQ(pty.Read(bytes.size()).size(), bytes.size());
}

}  // namespace
