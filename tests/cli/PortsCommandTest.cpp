// 'orvane-cli ports' on a fake hardware tree: which ttys count as ports, what a USB adapter shows of
// itself, as text and as JSON, and which links are stale.
#include <poll.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <fstream>

#include "framework/PortRegistry.h"
#include "tests/cli/CliFixture.h"
#include "tests/support/Pty.h"

namespace fs = std::filesystem;

class PortsCommand : public CliTest {
protected:
    // A USB adapter as sysfs shows it: the tty's `device` link leads into the interface, whose parent
    // is the USB device carrying the IDs.
    void AddUsbAdapter(const std::string& name) {
        const fs::path usb = registry.HardwareRoot() / "sys" / "devices" / "pci0000:00" / "usb1" / "1-1";
        const fs::path interface = usb / "1-1:1.0" / name;
        fs::create_directories(interface);
        const std::pair<const char*, const char*> attributes[] = {
            {"idVendor", "1a2b"}, {"idProduct", "3c4d"}, {"product", "Serial Adapter"}, {"serial", "SN0042"}};
        for (const auto& [file, value] : attributes)
            std::ofstream(usb / file) << value << "\n";
        const fs::path entry = registry.HardwareRoot() / "sys" / "class" / "tty" / name;
        fs::create_directories(entry);
        fs::create_directory_symlink(interface, entry / "device");
        std::ofstream(registry.HardwareRoot() / "dev" / name).put('\0');
    }
};

TEST_F(PortsCommand, ListsTheAdapterWithItsIdentity) {
    CliRun run = RunCli({"ports"}, kHostRunLimit);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "no serial ports found\n");

    AddUsbAdapter("ttyUSB0");
    registry.AddDevice("ttyS0", 0);                                                      // no UART behind it
    fs::create_directories(registry.HardwareRoot() / "sys" / "class" / "tty" / "tty1");  // a console
    const std::string device = (registry.HardwareRoot() / "dev" / "ttyUSB0").string();

    run = RunCli({"ports"}, kHostRunLimit);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "COM1\t" + device + "\tusb 1a2b:3c4d \"Serial Adapter\" serial SN0042\n");

    run = RunCli({"ports", "--json"}, kHostRunLimit);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 1u) << run.out;
    const QJsonObject port = QJsonDocument::fromJson(QByteArray::fromStdString(lines[0])).object();
    EXPECT_EQ(port["port"].toString(), "COM1");
    EXPECT_EQ(port["device"].toString().toStdString(), device);
    EXPECT_EQ(port["vendor_id"].toString(), "1a2b");
    EXPECT_EQ(port["product_id"].toString(), "3c4d");
    EXPECT_EQ(port["product"].toString(), "Serial Adapter");
    EXPECT_EQ(port["serial"].toString(), "SN0042");

    // The station record names the unit by its adapter's serial number, even for a run that failed
    // (this adapter is no terminal, so it cannot be opened).
    const std::string record = Path("station.jsonl").string();
    run = RunCli({"test", "--all-ports", "--record", record}, kHostRunLimit);
    EXPECT_EQ(run.exitCode, 2) << "no port could be opened: " << run.out << run.err;
    std::ifstream in(record);
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    const QJsonObject entry = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
    EXPECT_EQ(entry["port"].toString(), "COM1") << line;
    EXPECT_EQ(entry["usb_serial"].toString(), "SN0042") << line;
    EXPECT_EQ(entry["mode"].toString(), "test") << line;
    EXPECT_EQ(entry["result"].toString(), "open-failed") << line;
    EXPECT_FALSE(entry["reason"].toString().isEmpty()) << line;
    EXPECT_FALSE(std::getline(in, line)) << "one line per device run";

    run = RunCli({"ports", "--bogus"}, kHostRunLimit);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
}

// A simulator killed with SIGKILL leaves its link behind, and the kernel gives its pty's number to
// the next terminal, often somebody's shell. That link must lead nowhere: not for one port, not for
// every port, not in the list; --prune removes it, with the links of devices that are gone.
TEST_F(PortsCommand, AStalePseudoTerminalLinkLeadsNowhere) {
    Pty shell;  // the terminal that got the number
    const fs::path stale = registry.PortsDir() / "COM10";
    const auto leaveStaleLink = [&] {
        ASSERT_EQ(PortRegistry::Default().Prepare(), "");
        std::error_code ec;
        fs::remove(stale, ec);
        fs::create_symlink(shell.SlavePath(), stale);
    };
    // Whatever a run wrote is in the terminal once the run is over.
    const auto shellGotNothing = [&] {
        pollfd pfd{shell.MasterFd(), POLLIN, 0};
        return ::poll(&pfd, 1, 0) == 0;
    };

    leaveStaleLink();
    CliRun run = RunCli({"test", "--port", "COM10"}, kHostRunLimit);
    EXPECT_NE(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(Contains(run.out + run.err, "COM10 does not exist")) << run.out << run.err;
    EXPECT_TRUE(shellGotNothing());

    leaveStaleLink();
    run = RunCli({"test", "--all-ports"}, kHostRunLimit);
    EXPECT_NE(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(shellGotNothing());

    leaveStaleLink();
    run = RunCli({"ports"}, kHostRunLimit);
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(fs::is_symlink(stale)) << "reading the folder removes it";

    // A pty served by a program that holds its lock counts; a real device keeps its number even when
    // unplugged, until --prune.
    Pty served;
    registry.Link("COM11", served.SlavePath());
    registry.Link("COM3", (registry.HardwareRoot() / "dev" / "ttyUSB7").string());
    leaveStaleLink();
    run = RunCli({"ports", "--prune"}, kHostRunLimit);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "removed COM10 (" + shell.SlavePath() +
                           "): a pseudo-terminal nobody serves any more\n"
                           "removed COM3 (" +
                           (registry.HardwareRoot() / "dev" / "ttyUSB7").string() +
                           "): the device is gone\n");
    EXPECT_FALSE(fs::is_symlink(stale));
    run = RunCli({"ports"}, kHostRunLimit);
    EXPECT_EQ(run.out, "COM11\t" + served.SlavePath() + "\n");
    EXPECT_TRUE(shellGotNothing());
}

// A device path given with --port is numbered for the run; for a pty the run holds the number's
// lock, so the link counts for as long as the run needs it.
TEST_F(PortsCommand, APseudoTerminalGivenByPathWorksForTheRun) {
    SimulatedDevice device;
    ASSERT_TRUE(device.Ready());
    ASSERT_TRUE(fs::remove(registry.PortsDir() / device.Port()));  // known only by its path now
    const CliRun run = RunCli({"test", "--port", device.Device()}, kHostRunLimit);
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(Contains(run.out, "设备型号: ORV-SIM")) << run.out;
    EXPECT_EQ(PortRegistry::Default().Resolve(1), "") << "the number ends with the run";
    EXPECT_EQ(device.Stop(), 0);
}
