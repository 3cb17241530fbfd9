// Debug lines appear only when a LOG.ini stands beside the executable. The test runs this very test
// program again from a folder of its own (a hard link), once with an empty LOG.ini there and once
// without, since the setting is read from the executable's own directory at start-up.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "framework/ModulePath.h"
#include "tests/ui/MainWindowFixture.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kExpectVariable = "ORVANE_EXPECT_DEBUG_LOG";

// Runs in the child only.
TEST_F(MainWindowTest, DebugLinesFollowLogIniBesideTheProgram) {
    const char* expect = std::getenv(kExpectVariable);
    if (!expect)
        GTEST_SKIP() << "runs as the child of LogIni.DecidesAtStartUp";
    const bool enabled = std::string(expect) == "1";
    EXPECT_EQ(m_dialog.m_debugLogEnabled, enabled);
    m_dialog.AppendLog(LOG_DEBUG, L"细节");
    EXPECT_EQ(LogHas(L"DEBUG：细节"), enabled);
}

int RunChild(const fs::path& program, bool withLogIni) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv(kExpectVariable, withLogIni ? "1" : "0", 1);
        ::execl(program.c_str(), program.c_str(),
                "--gtest_filter=MainWindowTest.DebugLinesFollowLogIniBesideTheProgram",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(LogIni, DecidesAtStartUp) {
    CString self;
    ASSERT_TRUE(GetModuleFilePath(self));
    TempRegistry scratch;
    for (const bool withLogIni : {true, false}) {
        const fs::path dir = scratch.Root() / (withLogIni ? "with" : "without");
        fs::create_directories(dir);
        const fs::path program = dir / "ui_tests";
        std::error_code ec;
        fs::create_hard_link(self.ToUtf8(), program, ec);
        if (ec)
            fs::copy_file(self.ToUtf8(), program, ec);
        ASSERT_FALSE(ec) << ec.message();
        if (withLogIni)
            std::ofstream(dir / "LOG.ini").flush();  // empty: its presence is what counts
        EXPECT_EQ(RunChild(program, withLogIni), 0) << (withLogIni ? "with" : "without") << " LOG.ini";
    }
}

}  // namespace
