// Port discovery: the list rules, and the registry on a fake hardware tree.
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "framework/PortRegistry.h"
#include "framework/SerialPortNames.h"
#include "serial/PortDiscovery.h"
#include "tests/support/Pty.h"
#include "tests/support/TempRegistry.h"

namespace {

namespace fs = std::filesystem;

TEST(ComPortNumbersFromNames, ListRules) {
    const std::vector<CString> names{L"COM10", L"COM2", L"com7", L"Com3", L"COM0", L"COM257",
                                     L"LPT1",  L"CO",   L"COM3", L"COM1", L"COMx", L"COM 4"};
    // " 4" parses as 4: leading white space is skipped as _wtoi does.
    EXPECT_EQ(ComPortNumbersFromNames(names), (std::vector<int>{1, 2, 3, 3, 4, 7, 10}));
    EXPECT_TRUE(ComPortNumbersFromNames({}).empty());
    EXPECT_EQ(ComPortNumbersFromNames({L"COM256", L"COM+5", L"COM-5", L"COM99999999999"}),
              (std::vector<int>{5, 256}));
}

TEST(EnumerateComPorts, LinksWhoseDevicesExist) {
    TempRegistry registry;
    const fs::path dev = registry.HardwareRoot() / "dev";
    for (const char* name : {"a", "b", "c", "d"})
        std::ofstream(dev / name).put('x');
    registry.Link("COM10", (dev / "a").string());
    registry.Link("COM2", (dev / "b").string());
    registry.Link("com7", (dev / "c").string());
    registry.Link("COM1", (dev / "d").string());
    registry.Link("COM3", (dev / "gone").string());  // device unplugged: not listed
    registry.Link("LPT1", (dev / "a").string());
    EXPECT_EQ(EnumerateComPorts(), (std::vector<int>{1, 2, 7, 10}));
}

TEST(EnumerateComPorts, RealDevicesGetStableNumbersInDeviceOrder) {
    TempRegistry registry;
    registry.AddDevice("ttyUSB1");
    registry.AddDevice("ttyACM0");
    registry.AddDevice("ttyS1", 0);  // no UART behind it
    registry.AddDevice("ttyS0");
    registry.AddDevice("ttyUSB0");
    registry.AddDevice("ttyUSB10");
    registry.Link("COM2", (registry.Root() / "elsewhere").string());  // a dangling link keeps its number

    EXPECT_EQ(EnumerateComPorts(), (std::vector<int>{1, 3, 4, 5, 6}));
    PortRegistry reg = PortRegistry::Default();
    const fs::path dev = registry.HardwareRoot() / "dev";
    EXPECT_EQ(reg.Resolve(1), (dev / "ttyS0").string());
    EXPECT_EQ(reg.Resolve(3), (dev / "ttyUSB0").string());
    EXPECT_EQ(reg.Resolve(4), (dev / "ttyUSB1").string());
    EXPECT_EQ(reg.Resolve(5), (dev / "ttyUSB10").string());
    EXPECT_EQ(reg.Resolve(6), (dev / "ttyACM0").string());

    // A device plugged in later gets the next free number; the others keep theirs.
    registry.AddDevice("ttyUSB2");
    EXPECT_EQ(EnumerateComPorts(), (std::vector<int>{1, 3, 4, 5, 6, 7}));
    EXPECT_EQ(reg.Resolve(7), (dev / "ttyUSB2").string());
    EXPECT_EQ(reg.Resolve(3), (dev / "ttyUSB0").string());
}

// ttyS0 is the kernel's console on many servers and virtual machines: a port list must not offer it,
// or a run over every port writes frames onto the console.
TEST(EnumerateComPorts, LeavesOutTheActiveConsoles) {
    TempRegistry registry;
    for (const char* name : {"ttyS0", "ttyS1", "ttyS2", "ttyUSB0"})
        registry.AddDevice(name);
    const fs::path dev = registry.HardwareRoot() / "dev";
    registry.Link("COM7", (dev / "ttyS2").string());  // linked before it became a console
    fs::create_directories(registry.HardwareRoot() / "proc");
    std::ofstream(registry.HardwareRoot() / "proc" / "consoles")
        << "ttyS0                -W- (EC p a)    4:64\n"
           "tty0                 -WU (E  p  )    4:1\n"
           "ttyS1                -W- (   p a)    4:65\n"
           "ttyS2                -W- (E  p a)    4:66\n";
    EXPECT_EQ(EnumerateComPorts(), (std::vector<int>{1, 2})) << "ttyS1 (disabled console) and ttyUSB0";
    PortRegistry reg = PortRegistry::Default();
    EXPECT_EQ(reg.Resolve(1), (dev / "ttyS1").string());
    EXPECT_EQ(reg.Resolve(2), (dev / "ttyUSB0").string());
    EXPECT_EQ(reg.Resolve(7), (dev / "ttyS2").string()) << "named on purpose, it still opens";
}

TEST(PortRegistry, RegisterFromALowestNumberAndUnregister) {
    TempRegistry registry;
    PortRegistry reg = PortRegistry::Default();
    const fs::path dev = registry.HardwareRoot() / "dev";
    std::ofstream(dev / "p1").put('x');
    std::ofstream(dev / "p2").put('x');
    EXPECT_EQ(reg.Register((dev / "p1").string(), 9), 9);
    EXPECT_EQ(reg.Register((dev / "p1").string(), 9), 9);  // already registered
    EXPECT_EQ(reg.Register((dev / "p2").string(), 9), 10);
    EXPECT_TRUE(reg.Unregister(9));
    EXPECT_TRUE(reg.Resolve(9).empty());
    EXPECT_EQ(ListSerialPortNames(), (std::vector<CString>{L"COM10"}));
}

// A link left by a process that served a pseudo-terminal and is gone must not lead to whatever
// terminal has the pty's number now; a link whose lock is held counts, and so does one to a real
// device, lock or not.
TEST(PortRegistry, PseudoTerminalLinksCountWhileTheirLockIsHeld) {
    TempRegistry registry;
    Pty served, orphaned;
    registry.AddDevice("ttyUSB0");
    registry.Link("COM20", served.SlavePath());  // holds the lock, as a simulator does
    fs::create_symlink(orphaned.SlavePath(), registry.PortsDir() / "COM21");
    fs::create_symlink("/dev/pts/4095", registry.PortsDir() / "COM22");  // its pty is gone too
    EXPECT_EQ(EnumerateComPorts(), (std::vector<int>{1, 20}));
    EXPECT_FALSE(fs::is_symlink(registry.PortsDir() / "COM21"));
    EXPECT_FALSE(fs::is_symlink(registry.PortsDir() / "COM22"));

    // Registering a pty holds its lock in this process until Unregister.
    PortRegistry reg = PortRegistry::Default();
    EXPECT_EQ(reg.Register(orphaned.SlavePath(), 21), 21);
    EXPECT_EQ(reg.Resolve(21), orphaned.SlavePath());
    bool taken = false;
    EXPECT_EQ(reg.RegisterAt(20, orphaned.SlavePath(), taken),
              "COM20 is taken by another link (" + served.SlavePath() + ")");
    EXPECT_TRUE(taken);
    EXPECT_TRUE(reg.Unregister(21));
    fs::create_symlink(orphaned.SlavePath(), registry.PortsDir() / "COM21");
    EXPECT_EQ(reg.Resolve(21), "") << "the lock went with Unregister";
    EXPECT_EQ(reg.RegisterAt(21, orphaned.SlavePath(), taken), "");
    EXPECT_EQ(reg.Resolve(21), orphaned.SlavePath());
}

// The advice for a port that will not open fits its node: a group to join only when that group
// may use it.
TEST(PortRegistry, PermissionAdviceFitsTheNode) {
    TempRegistry temp;
    const fs::path node = temp.Root() / "ttyS0";
    std::ofstream(node).put('\0');
    fs::permissions(node, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
    const std::string owner = ::getpwuid(::geteuid())->pw_name;
    const std::string said = PortRegistry::WhyPermissionDenied(node.string());
    EXPECT_NE(said.find(" 0600): only " + owner + " may open it (no group has access"), std::string::npos)
        << said;
    EXPECT_EQ(said.find("usermod"), std::string::npos) << said;

    // Root stands in for a member-to-be by giving the node a group of the system's.
    const gid_t gid = ::geteuid() == 0 ? 20 : ::getegid();
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(node.c_str(), 0, gid), 0);
    }
    const group* entry = ::getgrgid(gid);
    const std::string name = entry ? entry->gr_name : std::to_string(gid);
    fs::permissions(node, fs::perms::group_read | fs::perms::group_write, fs::perm_options::add);
    EXPECT_EQ(PortRegistry::WhyPermissionDenied(node.string()),
              "permission denied on " + node.string() + " (" + owner + ":" + name + " 0660): join the " +
                  name + " group (sudo usermod -aG " + name + " $USER), then log in again");
}

// Whoever can write into the port folder decides which device a COM number opens: the registry
// makes its folders private and will not use them unless they are.
TEST(PortRegistry, UsesOnlyAPrivateFolderOfItsOwn) {
    TempRegistry temp;
    const fs::path base = temp.Root() / "orvane-1000";
    const fs::path ports = base / "ports";
    PortRegistry reg(ports, temp.HardwareRoot(), base);
    const fs::path dev = temp.HardwareRoot() / "dev";
    std::ofstream(dev / "p1").put('x');
    std::ofstream(dev / "p2").put('x');
    ASSERT_EQ(reg.Register((dev / "p1").string()), 1);
    for (const fs::path& folder : {base, ports})
        EXPECT_EQ(fs::symlink_status(folder).permissions(), fs::perms::owner_all) << folder;
    EXPECT_EQ(reg.Problem(), "");

    auto expectRefused = [&](const std::string& why) {
        EXPECT_EQ(reg.Problem(), why);
        EXPECT_EQ(reg.Resolve(1), "");
        EXPECT_EQ(reg.Register((dev / "p2").string()), 0);
        EXPECT_FALSE(reg.Unregister(1));
    };
    for (const fs::path& folder : {base, ports}) {
        for (const fs::perms others : {fs::perms::group_write, fs::perms::others_write}) {
            SCOPED_TRACE(folder.string());
            fs::permissions(folder, fs::perms::owner_all | others, fs::perm_options::replace);
            expectRefused("the port folder " + folder.string() +
                          " is writable by others; make it private (chmod 700) or remove it");
            fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace);
        }
    }

    const fs::path real = temp.Root() / "real";
    fs::rename(base, real);
    fs::create_directory_symlink(real, base);
    expectRefused("the port folder " + base.string() +
                  " is a symbolic link, not a folder of its own; remove it");
    fs::remove(base);
    fs::rename(real, base);

    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(base.c_str(), 65534, 65534), 0);
        expectRefused("the port folder " + base.string() +
                      " belongs to uid 65534, not to you (uid 0); remove it or set XDG_RUNTIME_DIR");
        ASSERT_EQ(::chown(base.c_str(), 0, 0), 0);
    } else {
        // Nobody but root can give a folder away; one of the system's stands in.
        PortRegistry foreign("/usr/share/orvane-ports", temp.HardwareRoot(), "/usr/share");
        EXPECT_EQ(foreign.Prepare(), "the port folder /usr/share belongs to uid 0, not to you (uid " +
                                         std::to_string(::geteuid()) + "); remove it or set XDG_RUNTIME_DIR");
        EXPECT_EQ(foreign.Register((dev / "p2").string()), 0);
    }
    EXPECT_EQ(reg.Resolve(1), (dev / "p1").string());  // usable again once private

    // Without a runtime directory the folder is the user's own under /tmp.
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(PortRegistry::Default().Directory(),
              fs::path("/tmp") / ("orvane-" + std::to_string(::getuid())) / "ports");
}

}  // namespace
