// CString formatting and the GBK conversions the system relies on.
#include <gtest/gtest.h>

#include "framework/CString.h"
#include "framework/TextCodec.h"
#include "framework/WideToInt.h"
#include "tests/support/DiagCapture.h"

namespace {

struct FormatCase {
    CString expected;
    CString actual;
};

TEST(CStringFormat, ConversionsTheSystemUses) {
    CString s;
    const CString name(L"固件");
    const FormatCase cases[] = {
        {L"开始固件更新", (s.Format(L"开始%s更新", name), s)},
        {L"COM7", (s.Format(L"COM%d", 7), s)},
        {L"-5", (s.Format(L"%d", -5), s)},
        {L"4294967295", (s.Format(L"%u", 0xFFFFFFFFu), s)},
        {L"0x0A", (s.Format(L"0x%02X", 10), s)},
        {L"ff", (s.Format(L"%x", 255), s)},
        {L"更新进度: 42%", (s.Format(L"更新进度: %u%%", 42u), s)},
        {L"块号不匹配: 期望3, 收到65535", (s.Format(L"块号不匹配: 期望%u, 收到%u", 3u, uint16_t{65535}), s)},
        {L"[  7]", (s.Format(L"[%3d]", 7), s)},
        {L"[7  ]", (s.Format(L"[%-3d]", 7), s)},
        {L"ab", (s.Format(L"%s", L"ab"), s)},
        {L"x", (s.Format(L"%S", "x"), s)},
    };
    for (const FormatCase& c : cases)
        EXPECT_EQ(c.actual, c.expected);
}

TEST(CStringFormat, MissingOrWrongArgumentsAreHarmless) {
    CString s;
    s.Format(L"%s and %d");
    EXPECT_EQ(s, CString(L" and 0"));
    s.Format(L"%d", L"text");  // a string where a number belongs prints 0, never garbage
    EXPECT_EQ(s, CString(L"0"));
    s.Format(L"100%");
    EXPECT_EQ(s, CString(L"100"));
}

TEST(CString, Utf8RoundTrip) {
    const CString text(L"串口已打开: COM3 ⚠️ ok");
    EXPECT_EQ(CString::FromUtf8(text.ToUtf8()), text);
    EXPECT_EQ(CString::FromUtf8("\xE4\xB8\xB2"), CString(L"串"));
    // Broken sequences become U+FFFD instead of being dropped or read past the end.
    EXPECT_EQ(CString::FromUtf8("a\xE4\xB8"), CString(L"a\xFFFD\xFFFD"));
}

TEST(CString, PathPieces) {
    CString path(L"/opt/orvane/bin/orvane");
    const int cut = path.ReverseFind(L'/');
    EXPECT_EQ(path.Left(cut + 1), CString(L"/opt/orvane/bin/"));
    CString padded(L"  \tLOG\r\n");
    EXPECT_EQ(padded.Trim(), CString(L"LOG"));
}

TEST(TextCodec, GbkBothWays) {
    const uint8_t gbk[] = {0xB4, 0xAE, 0xBF, 0xDA};  // 串口
    EXPECT_EQ(AnsiToWide(gbk, sizeof(gbk)), CString(L"串口"));
    EXPECT_EQ(WideToAnsi(CString(L"串口")), std::string(reinterpret_cast<const char*>(gbk), 4));
}

TEST(TextCodec, WideningStopsAtNulAndSurvivesBadBytes) {
    const uint8_t withNul[] = {'A', 'B', 0x00, 'C'};
    EXPECT_EQ(AnsiToWide(withNul, sizeof(withNul)), CString(L"AB"));
    const uint8_t truncated[] = {'X', 0xB4};  // a lead byte with no trail byte
    const CString widened = AnsiToWide(truncated, sizeof(truncated));
    EXPECT_EQ(widened.GetAt(0), L'X');
    EXPECT_EQ(widened.GetLength(), 2);
    EXPECT_EQ(WideToAnsi(CString(L"a\U0001F600")), std::string("a?"));  // no GBK form
}

TEST(ConsoleDiagnostics, LinesReachTheSinkAsGbk) {
    std::vector<std::pair<ConsoleStream, std::string>> raw;
    ConsoleSink previous =
        SetConsoleSink([&](ConsoleStream s, const std::string& line) { raw.emplace_back(s, line); });
    ConsoleErr(L"无法打开串口 COM3");
    ConsoleOut(L"成功发送字节：0xa");
    SetConsoleSink(std::move(previous));
    ASSERT_EQ(raw.size(), 2u);
    EXPECT_EQ(raw[0].first, ConsoleStream::Error);
    EXPECT_EQ(raw[0].second, WideToAnsi(CString(L"无法打开串口 COM3")));
    EXPECT_EQ(raw[1].first, ConsoleStream::Output);
    EXPECT_EQ(AnsiToWide(raw[1].second), CString(L"成功发送字节：0xa"));
}

}  // namespace

namespace {

TEST(WideToInt, FollowsTheRuntimeRules) {
    struct Case {
        const wchar_t* text;
        int32_t value;
    };
    for (const Case& c :
         {Case{L"255", 255}, Case{L"  42x", 42}, Case{L"+7", 7}, Case{L"-1", -1}, Case{L"", 0},
          Case{L"abc", 0}, Case{L"2147483647", INT32_MAX}, Case{L"2147483648", INT32_MAX},
          Case{L"99999999999999999999", INT32_MAX}, Case{L"-2147483648", INT32_MIN},
          Case{L"-99999999999", INT32_MIN}, Case{L"\t12", 12}}) {
        EXPECT_EQ(WideToInt(c.text), c.value) << CString(c.text).ToUtf8();
    }
    EXPECT_EQ(WideToInt(nullptr), 0);
}

}  // namespace
