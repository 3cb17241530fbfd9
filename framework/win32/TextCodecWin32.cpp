// GBK conversion through the system's code page 936 tables (MultiByteToWideChar and
// WideCharToMultiByte), with the same contract as every other platform: widening stops at the first
// 0x00 and turns every byte that is not part of a valid character into one U+FFFD; narrowing turns
// what GBK cannot represent into '?'.
#include <windows.h>

#include <cstring>
#include <string>

#include "framework/TextCodec.h"

namespace {

constexpr UINT kAnsiCodePage = 936;
constexpr wchar_t kReplacement = 0xFFFD;

// Widens exactly `length` bytes (1 or 2) that must form one character; false if they do not.
bool WidenOne(const uint8_t* bytes, int length, std::wstring& out) {
    wchar_t buffer[2];
    const int n = ::MultiByteToWideChar(kAnsiCodePage, MB_ERR_INVALID_CHARS,
                                        reinterpret_cast<const char*>(bytes), length, buffer, 2);
    if (n <= 0)
        return false;
    out.append(buffer, static_cast<size_t>(n));
    return true;
}

}  // namespace

CString AnsiToWide(const uint8_t* bytes, size_t length) {
    if (!bytes)
        return CString();
    const void* nul = std::memchr(bytes, 0, length);
    if (nul)
        length = static_cast<size_t>(static_cast<const uint8_t*>(nul) - bytes);
    std::wstring out;
    out.reserve(length);
    // Character by character, so that one bad byte costs one U+FFFD and never the rest of the text:
    // a whole-string conversion with MB_ERR_INVALID_CHARS would fail as a whole, and one without it
    // leaves the replacement to the code page's own rules.
    size_t i = 0;
    while (i < length) {
        if (bytes[i] < 0x80) {
            out += static_cast<wchar_t>(bytes[i]);
            ++i;
        } else if (i + 1 < length && WidenOne(bytes + i, 2, out)) {
            i += 2;
        } else {
            if (!WidenOne(bytes + i, 1, out))
                out += kReplacement;
            ++i;
        }
    }
    return CString(std::move(out));
}

CString AnsiToWide(const std::string& bytes) {
    return AnsiToWide(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::string WideToAnsi(const CString& text) {
    // GBK has no character outside the basic plane: a surrogate pair becomes one '?', not two.
    std::wstring wide;
    wide.reserve(static_cast<size_t>(text.GetLength()));
    for (int i = 0; i < text.GetLength(); ++i) {
        const wchar_t c = text.GetAt(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.GetLength() && text.GetAt(i + 1) >= 0xDC00 &&
            text.GetAt(i + 1) < 0xE000) {
            wide += L'?';
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            wide += L'?';
        } else {
            wide += c;
        }
    }
    if (wide.empty())
        return std::string();
    const int wideLength = static_cast<int>(wide.size());
    const int size =
        ::WideCharToMultiByte(kAnsiCodePage, 0, wide.data(), wideLength, nullptr, 0, "?", nullptr);
    if (size <= 0)
        return std::string();
    std::string out(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(kAnsiCodePage, 0, wide.data(), wideLength, out.data(), size, "?", nullptr);
    return out;
}
