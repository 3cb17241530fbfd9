// The framework's file calls the engines and the main window read through: CFile, CStdioFile and
// their exceptions.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "framework/CStdioFile.h"
#include "tests/update/EngineHarness.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

TEST(CStdioFile, ReadsGbkLinesWithoutTheirLineEnds) {
    EngineHarness h;
    const std::string longLine(10000, 'x');  // longer than one read of the file
    const auto path = EngineHarness::PathText(
        h.WriteFile("LOG.ini", Bytes("first\r\nsecond\n\n\xD6\xD0\xCE\xC4 text\r\n" + longLine + "\nlast")));
    CStdioFile file;
    ASSERT_TRUE(file.Open(path, CFile::modeRead | CFile::typeText | CFile::shareDenyNone));
    std::vector<CString> lines;
    CString line;
    while (file.ReadString(line))
        lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<CString>{L"first", L"second", L"", L"中文 text",
                                           CString(std::wstring(10000, L'x')), L"last"}));
    EXPECT_FALSE(file.ReadString(line));
    EXPECT_TRUE(line.IsEmpty());
    file.Close();
    EXPECT_FALSE(file.IsOpen());

    ASSERT_TRUE(
        file.Open(EngineHarness::PathText(h.WriteFile("empty.ini", {})), CFile::modeRead | CFile::typeText));
    EXPECT_FALSE(file.ReadString(line));
}

TEST(CFile, OpensAndReadsAFileWithAChineseName) {
    EngineHarness h;
    const std::vector<uint8_t> bytes = {0x4F, 0x00, 0xB9, 0xCC, 0xFF};
    const CString path = EngineHarness::PathText(h.WriteFile("固件.trs", bytes));
    ASSERT_NE(path.Find(L"固件.trs"), -1);
    CFile file;
    ASSERT_TRUE(file.Open(path, CFile::modeRead | CFile::shareDenyWrite));
    EXPECT_EQ(file.GetLength(), bytes.size());
    uint8_t buffer[16] = {};
    ASSERT_EQ(file.Read(buffer, sizeof(buffer)), bytes.size());
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + bytes.size()), bytes);
    EXPECT_EQ(file.GetFilePath(), path);
}

TEST(CFile, FailuresAreReportedAsFileExceptions) {
    EngineHarness h;
    std::filesystem::create_directory(h.registry.Root() / "folder");
    const struct {
        CString path;
        int cause;
    } cases[] = {
        {EngineHarness::PathText(h.registry.Root() / "missing.ini"), CFileException::fileNotFound},
        {EngineHarness::PathText(h.registry.Root() / "folder"), CFileException::accessDenied},
    };
    for (const auto& c : cases) {
        CStdioFile file;
        CFileException error;
        EXPECT_FALSE(file.Open(c.path, CFile::modeRead, &error));
        EXPECT_EQ(error.m_cause, c.cause);
        EXPECT_EQ(error.m_strFileName, c.path);

        int thrownCause = -1;
        try {
            CFile thrown(c.path, CFile::modeRead | CFile::shareDenyWrite);
        } catch (CException* e) {
            auto* fileError = dynamic_cast<CFileException*>(e);
            ASSERT_NE(fileError, nullptr);
            thrownCause = fileError->m_cause;
            e->Delete();
        }
        EXPECT_EQ(thrownCause, c.cause);
    }
}

TEST(CFile, AFileHeldExclusivelyCannotBeOpenedAgain) {
    EngineHarness h;
    const auto path = EngineHarness::PathText(h.WriteFile("held.tr3", Bytes("data")));
    CFile holder(path, CFile::modeRead | CFile::shareExclusive);
    CFile second;
    CFileException error;
    EXPECT_FALSE(second.Open(path, CFile::modeRead | CFile::shareDenyWrite, &error));
    EXPECT_EQ(error.m_cause, CFileException::sharingViolation);
    EXPECT_FALSE(second.Open(path, CFile::modeWrite, &error));  // writing is not offered at all
    holder.Close();
    ASSERT_TRUE(second.Open(path, CFile::modeRead | CFile::shareDenyWrite));
    EXPECT_EQ(second.GetLength(), 4u);
    char buffer[8] = {};
    EXPECT_EQ(second.Read(buffer, sizeof(buffer)), 4u);
    EXPECT_EQ(std::string(buffer), "data");
}

}  // namespace
