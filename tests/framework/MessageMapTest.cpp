// Message-map dispatch: table order, base-class fallback and matching on notification code and
// control ID. The tables are searched without any window, so no GUI is needed here.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "framework/CWnd.h"

namespace {

constexpr UINT WM_BASE_ONLY = WM_USER + 1;
constexpr UINT WM_UNMAPPED = WM_USER + 2;

class BaseTarget : public CWnd {
public:
    std::vector<std::string> m_calls;
    afx_msg void OnClickedTen() { m_calls.push_back("base 10"); }
    afx_msg void OnClickedEleven() { m_calls.push_back("base 11"); }
    afx_msg LRESULT OnBaseOnly(WPARAM wParam, LPARAM lParam) {
        m_calls.push_back("base message");
        return static_cast<LRESULT>(wParam) + lParam;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(BaseTarget, CWnd)
ON_BN_CLICKED(10, &BaseTarget::OnClickedTen)
ON_BN_CLICKED(11, &BaseTarget::OnClickedEleven)
ON_MESSAGE(WM_BASE_ONLY, &BaseTarget::OnBaseOnly)
END_MESSAGE_MAP()

class DerivedTarget : public BaseTarget {
public:
    afx_msg void OnClickedTenFirst() { m_calls.push_back("derived 10 first"); }
    afx_msg void OnClickedTenSecond() { m_calls.push_back("derived 10 second"); }
    afx_msg void OnChangeTen() { m_calls.push_back("derived change 10"); }
    afx_msg void OnClickedNoId() { m_calls.push_back("derived no id"); }
    afx_msg void OnTimer(UINT_PTR id) { m_calls.push_back("timer " + std::to_string(id)); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(DerivedTarget, BaseTarget)
ON_BN_CLICKED(10, &DerivedTarget::OnClickedTenFirst)
ON_BN_CLICKED(10, &DerivedTarget::OnClickedTenSecond)
ON_EN_CHANGE(10, &DerivedTarget::OnChangeTen)
ON_BN_CLICKED(-1, &DerivedTarget::OnClickedNoId)
ON_WM_TIMER()
END_MESSAGE_MAP()

struct DispatchCase {
    const char* name;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::vector<std::string> calls;
    LRESULT result;
};

const DispatchCase kCases[] = {
    {"first matching entry of the derived table wins",
     WM_COMMAND,
     MAKEWPARAM(10, BN_CLICKED),
     0,
     {"derived 10 first"},
     0},
    {"unmatched in the derived table falls back to the base",
     WM_COMMAND,
     MAKEWPARAM(11, BN_CLICKED),
     0,
     {"base 11"},
     0},
    {"notification code selects the entry",
     WM_COMMAND,
     MAKEWPARAM(10, EN_CHANGE),
     0,
     {"derived change 10"},
     0},
    {"notification nobody maps", WM_COMMAND, MAKEWPARAM(10, CBN_SELCHANGE), 0, {}, 0},
    {"control nobody maps", WM_COMMAND, MAKEWPARAM(12, BN_CLICKED), 0, {}, 0},
    {"template ID -1 arrives as 0xFFFF", WM_COMMAND, MAKEWPARAM(0xFFFF, BN_CLICKED), 0, {"derived no id"}, 0},
    {"ON_MESSAGE passes both parameters and returns the result", WM_BASE_ONLY, 5, 7, {"base message"}, 12},
    {"ON_WM_TIMER passes the timer ID", WM_TIMER, 3, 0, {"timer 3"}, 0},
    {"unmapped message", WM_UNMAPPED, 1, 1, {}, 0},
};

void PrintTo(const DispatchCase& c, std::ostream* os) {
    *os << c.name;
}

class MessageMapTest : public testing::TestWithParam<DispatchCase> {};

TEST_P(MessageMapTest, DispatchesToTheExpectedHandler) {
    const DispatchCase& c = GetParam();
    SCOPED_TRACE(c.name);
    DerivedTarget target;
    EXPECT_EQ(target.WindowProc(c.message, c.wParam, c.lParam), c.result);
    EXPECT_EQ(target.m_calls, c.calls);
}

INSTANTIATE_TEST_SUITE_P(Tables, MessageMapTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<DispatchCase>& info) {
                             return "Case" + std::to_string(info.index);
                         });

TEST(MessageMapTest, BaseClassAloneDoesNotSeeDerivedEntries) {
    BaseTarget target;
    target.WindowProc(WM_COMMAND, MAKEWPARAM(10, BN_CLICKED), 0);
    target.WindowProc(WM_TIMER, 3, 0);
    EXPECT_EQ(target.m_calls, std::vector<std::string>{"base 10"});
}

}  // namespace
