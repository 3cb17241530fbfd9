// CString: the wide-character string every user-visible text of the system is held in.
//
// Format follows the MFC rules the system relies on: in a wide format string %s takes a wide string
// (a CString or a const wchar_t*), %S a narrow one; %d %i %u %x %X %o %c and %% behave as in printf,
// with flags, width and precision. Arguments are checked at run time rather than trusted, so a
// mismatched argument prints something harmless instead of being undefined behaviour.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

class CString;

namespace format_detail {

struct Arg {
    enum Kind { Signed, Unsigned, Wide, Narrow } kind;
    int64_t s = 0;
    uint64_t u = 0;
    const wchar_t* wide = nullptr;
    const char* narrow = nullptr;
};

Arg MakeArg(const CString& v);
inline Arg MakeArg(const wchar_t* v) {
    return Arg{Arg::Wide, 0, 0, v, nullptr};
}
inline Arg MakeArg(wchar_t* v) {
    return Arg{Arg::Wide, 0, 0, v, nullptr};
}
inline Arg MakeArg(const std::wstring& v) {
    return Arg{Arg::Wide, 0, 0, v.c_str(), nullptr};
}
inline Arg MakeArg(const char* v) {
    return Arg{Arg::Narrow, 0, 0, nullptr, v};
}
template <typename T>
requires std::is_integral_v<T> || std::is_enum_v<T> Arg MakeArg(T v) {
    if constexpr (std::is_enum_v<T>) {
        return MakeArg(static_cast<std::underlying_type_t<T>>(v));
    } else if constexpr (std::is_signed_v<T>) {
        return Arg{Arg::Signed, static_cast<int64_t>(v), static_cast<uint64_t>(static_cast<int64_t>(v)),
                   nullptr, nullptr};
    } else {
        return Arg{Arg::Unsigned, static_cast<int64_t>(v), static_cast<uint64_t>(v), nullptr, nullptr};
    }
}

std::wstring FormatArgs(const wchar_t* format, const std::vector<Arg>& args);

}  // namespace format_detail

class CString {
public:
    CString() = default;
    CString(const wchar_t* text) : m_text(text ? text : L"") {}
    CString(const wchar_t* text, int length)
        : m_text(text ? std::wstring(text, length > 0 ? length : 0) : L"") {}
    CString(std::wstring text) : m_text(std::move(text)) {}
    CString(wchar_t ch, int repeat = 1) : m_text(repeat > 0 ? repeat : 0, ch) {}

    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }
    const wchar_t* GetString() const { return m_text.c_str(); }
    operator const wchar_t*() const { return m_text.c_str(); }
    const std::wstring& Str() const { return m_text; }
    wchar_t GetAt(int index) const { return m_text.at(static_cast<size_t>(index)); }

    template <typename... Args>
    void Format(const wchar_t* format, const Args&... args) {
        m_text = format_detail::FormatArgs(format, {format_detail::MakeArg(args)...});
    }
    template <typename... Args>
    void AppendFormat(const wchar_t* format, const Args&... args) {
        m_text += format_detail::FormatArgs(format, {format_detail::MakeArg(args)...});
    }

    CString& operator+=(const CString& other) {
        m_text += other.m_text;
        return *this;
    }
    CString& operator+=(const wchar_t* other) {
        if (other)
            m_text += other;
        return *this;
    }
    CString& operator+=(wchar_t ch) {
        m_text += ch;
        return *this;
    }

    int Compare(const wchar_t* other) const { return m_text.compare(other ? other : L""); }
    int Find(const wchar_t* sub, int start = 0) const;
    int Find(wchar_t ch, int start = 0) const;
    int ReverseFind(wchar_t ch) const;
    CString Left(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Right(int count) const;
    CString& Trim();

    // UTF-8 is the exchange format with Qt, files and the terminal.
    std::string ToUtf8() const;
    static CString FromUtf8(std::string_view utf8);

    friend bool operator==(const CString& a, const CString& b) { return a.m_text == b.m_text; }
    friend bool operator==(const CString& a, const wchar_t* b) { return a.m_text == (b ? b : L""); }
    friend bool operator==(const wchar_t* a, const CString& b) { return b == a; }
    friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
    friend bool operator!=(const CString& a, const wchar_t* b) { return !(a == b); }
    friend bool operator!=(const wchar_t* a, const CString& b) { return !(b == a); }
    friend bool operator<(const CString& a, const CString& b) { return a.m_text < b.m_text; }

    friend CString operator+(const CString& a, const CString& b) { return CString(a.m_text + b.m_text); }
    friend CString operator+(const CString& a, const wchar_t* b) { return CString(a.m_text + (b ? b : L"")); }
    friend CString operator+(const wchar_t* a, const CString& b) {
        return CString(std::wstring(a ? a : L"") + b.m_text);
    }
    friend CString operator+(const CString& a, wchar_t b) { return CString(a.m_text + b); }

private:
    std::wstring m_text;
};

inline format_detail::Arg format_detail::MakeArg(const CString& v) {
    return MakeArg(v.GetString());
}
