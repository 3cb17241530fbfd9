#include "framework/CString.h"

#include <algorithm>
#include <cwctype>

namespace format_detail {
namespace {

struct Conversion {
    bool left = false, zero = false, plus = false, space = false, alt = false;
    int width = 0;
    int precision = -1;
    int lengthBits = 32;  // 16 (h), 32 (none, l), 64 (ll, I64)
};

std::wstring Digits(uint64_t value, unsigned base, bool upper) {
    const wchar_t* digits = upper ? L"0123456789ABCDEF" : L"0123456789abcdef";
    std::wstring out;
    do {
        out.insert(out.begin(), digits[value % base]);
        value /= base;
    } while (value != 0);
    return out;
}

void Pad(std::wstring& out, const std::wstring& sign, std::wstring body, const Conversion& conv,
         bool numeric) {
    if (numeric && conv.precision >= 0) {
        if (conv.precision == 0 && body == L"0")
            body.clear();
        if (static_cast<int>(body.size()) < conv.precision)
            body.insert(0, conv.precision - body.size(), L'0');
    }
    const int len = static_cast<int>(sign.size() + body.size());
    const int fill = conv.width > len ? conv.width - len : 0;
    if (conv.left) {
        out += sign + body + std::wstring(fill, L' ');
    } else if (conv.zero && numeric && conv.precision < 0) {
        out += sign + std::wstring(fill, L'0') + body;
    } else {
        out += std::wstring(fill, L' ') + sign + body;
    }
}

int64_t AsSigned(const Arg& a, int bits) {
    const int64_t v = a.kind == Arg::Signed ? a.s : static_cast<int64_t>(a.u);
    if (bits == 16)
        return static_cast<int16_t>(v);
    if (bits == 32)
        return static_cast<int32_t>(v);
    return v;
}

uint64_t AsUnsigned(const Arg& a, int bits) {
    const uint64_t v = a.kind == Arg::Signed ? static_cast<uint64_t>(a.s) : a.u;
    if (bits == 16)
        return static_cast<uint16_t>(v);
    if (bits == 32)
        return static_cast<uint32_t>(v);
    return v;
}

std::wstring WidenLatin(const char* text) {
    std::wstring out;
    for (; text && *text; ++text)
        out += static_cast<wchar_t>(static_cast<unsigned char>(*text));
    return out;
}

}  // namespace

std::wstring FormatArgs(const wchar_t* format, const std::vector<Arg>& args) {
    std::wstring out;
    if (!format)
        return out;
    size_t next = 0;
    const Arg none{Arg::Unsigned, 0, 0, nullptr, nullptr};
    auto take = [&]() -> const Arg& { return next < args.size() ? args[next++] : none; };

    for (const wchar_t* p = format; *p; ++p) {
        if (*p != L'%') {
            out += *p;
            continue;
        }
        ++p;
        if (*p == L'%') {
            out += L'%';
            continue;
        }
        Conversion conv;
        for (;; ++p) {
            if (*p == L'-')
                conv.left = true;
            else if (*p == L'0')
                conv.zero = true;
            else if (*p == L'+')
                conv.plus = true;
            else if (*p == L' ')
                conv.space = true;
            else if (*p == L'#')
                conv.alt = true;
            else
                break;
        }
        if (*p == L'*') {
            conv.width = static_cast<int>(AsSigned(take(), 32));
            if (conv.width < 0) {
                conv.left = true;
                conv.width = -conv.width;
            }
            ++p;
        } else {
            while (*p >= L'0' && *p <= L'9')
                conv.width = conv.width * 10 + (*p++ - L'0');
        }
        if (*p == L'.') {
            ++p;
            conv.precision = 0;
            if (*p == L'*') {
                conv.precision = static_cast<int>(AsSigned(take(), 32));
                ++p;
            } else {
                while (*p >= L'0' && *p <= L'9')
                    conv.precision = conv.precision * 10 + (*p++ - L'0');
            }
        }
        if (*p == L'h') {
            conv.lengthBits = 16;
            ++p;
        } else if (*p == L'l') {
            ++p;
            if (*p == L'l') {
                conv.lengthBits = 64;
                ++p;
            }
        } else if (p[0] == L'I' && p[1] == L'6' && p[2] == L'4') {
            conv.lengthBits = 64;
            p += 3;
        }
        if (!*p)
            break;
        switch (*p) {
            case L'd':
            case L'i': {
                const int64_t v = AsSigned(take(), conv.lengthBits);
                const std::wstring sign = v < 0 ? L"-" : conv.plus ? L"+" : conv.space ? L" " : L"";
                const uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
                Pad(out, sign, Digits(mag, 10, false), conv, true);
                break;
            }
            case L'u':
                Pad(out, L"", Digits(AsUnsigned(take(), conv.lengthBits), 10, false), conv, true);
                break;
            case L'x':
            case L'X': {
                const uint64_t v = AsUnsigned(take(), conv.lengthBits);
                const std::wstring prefix = conv.alt && v != 0 ? (*p == L'x' ? L"0x" : L"0X") : L"";
                Pad(out, prefix, Digits(v, 16, *p == L'X'), conv, true);
                break;
            }
            case L'o':
                Pad(out, L"", Digits(AsUnsigned(take(), conv.lengthBits), 8, false), conv, true);
                break;
            case L'c': {
                const Arg& a = take();
                const wchar_t ch =
                    static_cast<wchar_t>(a.kind == Arg::Signed ? a.s : static_cast<int64_t>(a.u));
                Pad(out, L"", std::wstring(1, ch), conv, false);
                break;
            }
            case L's':
            case L'S': {
                const Arg& a = take();
                std::wstring text;
                if (a.kind == Arg::Wide && a.wide)
                    text = a.wide;
                else if (a.kind == Arg::Narrow)
                    text = WidenLatin(a.narrow);
                else if (a.kind == Arg::Wide)
                    text = L"(null)";
                if (conv.precision >= 0 && static_cast<int>(text.size()) > conv.precision)
                    text.resize(conv.precision);
                Pad(out, L"", text, conv, false);
                break;
            }
            default:
                // Unknown conversion: keep it visible rather than guess.
                out += L'%';
                out += *p;
                break;
        }
    }
    return out;
}

}  // namespace format_detail

int CString::Find(const wchar_t* sub, int start) const {
    if (start < 0 || start > GetLength() || !sub)
        return -1;
    const size_t pos = m_text.find(sub, static_cast<size_t>(start));
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(wchar_t ch, int start) const {
    if (start < 0 || start > GetLength())
        return -1;
    const size_t pos = m_text.find(ch, static_cast<size_t>(start));
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(wchar_t ch) const {
    const size_t pos = m_text.rfind(ch);
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

CString CString::Left(int count) const {
    count = std::clamp(count, 0, GetLength());
    return CString(m_text.substr(0, static_cast<size_t>(count)));
}

CString CString::Mid(int first) const {
    return Mid(first, GetLength());
}

CString CString::Mid(int first, int count) const {
    first = std::clamp(first, 0, GetLength());
    count = std::clamp(count, 0, GetLength() - first);
    return CString(m_text.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

CString CString::Right(int count) const {
    count = std::clamp(count, 0, GetLength());
    return CString(m_text.substr(m_text.size() - static_cast<size_t>(count)));
}

CString& CString::Trim() {
    const auto notSpace = [](wchar_t c) { return !std::iswspace(static_cast<wint_t>(c)); };
    m_text.erase(m_text.begin(), std::find_if(m_text.begin(), m_text.end(), notSpace));
    m_text.erase(std::find_if(m_text.rbegin(), m_text.rend(), notSpace).base(), m_text.end());
    return *this;
}

std::string CString::ToUtf8() const {
    std::string out;
    out.reserve(m_text.size());
    for (size_t i = 0; i < m_text.size(); ++i) {
        uint32_t c = static_cast<uint32_t>(m_text[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            if (c >= 0xD800 && c < 0xDC00 && i + 1 < m_text.size()) {
                const uint32_t low = static_cast<uint32_t>(m_text[i + 1]);
                if (low >= 0xDC00 && low < 0xE000) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                    ++i;
                }
            }
        }
        if ((c >= 0xD800 && c < 0xE000) || c > 0x10FFFF)
            c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

CString CString::FromUtf8(std::string_view utf8) {
    std::wstring out;
    out.reserve(utf8.size());
    size_t i = 0;
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(utf8[k]); };
    while (i < utf8.size()) {
        const uint8_t b = byte(i);
        uint32_t c = 0xFFFD;
        size_t need = 0;
        uint32_t min = 0;
        if (b < 0x80) {
            c = b;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F, need = 1, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F, need = 2, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07, need = 3, min = 0x10000;
        }
        size_t used = 1;
        if (need) {
            bool ok = true;
            for (size_t k = 1; ok && k <= need; ++k) {
                if (i + k >= utf8.size() || (byte(i + k) & 0xC0) != 0x80)
                    ok = false;
                else
                    c = (c << 6) | (byte(i + k) & 0x3F);
            }
            if (ok && c >= min && c <= 0x10FFFF && !(c >= 0xD800 && c < 0xE000))
                used = need + 1;
            else
                c = 0xFFFD;
        } else if (b >= 0x80) {
            c = 0xFFFD;
        }
        i += used;
        if constexpr (sizeof(wchar_t) == 2) {
            if (c >= 0x10000) {
                c -= 0x10000;
                out += static_cast<wchar_t>(0xD800 + (c >> 10));
                out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
                continue;
            }
        }
        out += static_cast<wchar_t>(c);
    }
    return CString(std::move(out));
}
