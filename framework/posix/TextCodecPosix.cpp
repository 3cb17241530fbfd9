// GBK conversion through the C library's iconv.
#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "framework/TextCodec.h"

namespace {

constexpr const char* kAnsiCodePage = "CP936";
constexpr const char* kFallbackCodePage = "GBK";

iconv_t OpenConverter(const char* to, const char* from, const char* fallbackTo, const char* fallbackFrom) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        cd = iconv_open(fallbackTo, fallbackFrom);
    return cd;
}

}  // namespace

CString AnsiToWide(const uint8_t* bytes, size_t length) {
    if (!bytes)
        return CString();
    const void* nul = std::memchr(bytes, 0, length);
    if (nul)
        length = static_cast<size_t>(static_cast<const uint8_t*>(nul) - bytes);
    std::wstring out;
    if (length == 0)
        return CString();

    iconv_t cd = OpenConverter("WCHAR_T", kAnsiCodePage, "WCHAR_T", kFallbackCodePage);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        // No converter at all: keep ASCII, mark the rest.
        for (size_t i = 0; i < length; ++i)
            out += bytes[i] < 0x80 ? static_cast<wchar_t>(bytes[i]) : L'\xFFFD';
        return CString(std::move(out));
    }
    std::vector<char> in(bytes, bytes + length);
    char* inPtr = in.data();
    size_t inLeft = in.size();
    std::vector<wchar_t> buffer(length + 1);
    while (inLeft > 0) {
        char* outPtr = reinterpret_cast<char*>(buffer.data());
        size_t outLeft = buffer.size() * sizeof(wchar_t);
        const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), (buffer.size() * sizeof(wchar_t) - outLeft) / sizeof(wchar_t));
        if (rc == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            // EILSEQ or EINVAL (a truncated double-byte character): replace one byte and go on.
            out += L'\xFFFD';
            ++inPtr;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return CString(std::move(out));
}

CString AnsiToWide(const std::string& bytes) {
    return AnsiToWide(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::string WideToAnsi(const CString& text) {
    std::string out;
    if (text.IsEmpty())
        return out;
    iconv_t cd = OpenConverter(kAnsiCodePage, "WCHAR_T", kFallbackCodePage, "WCHAR_T");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        for (wchar_t c : text.Str())
            out += c < 0x80 ? static_cast<char>(c) : '?';
        return out;
    }
    std::wstring in = text.Str();
    char* inPtr = reinterpret_cast<char*>(in.data());
    size_t inLeft = in.size() * sizeof(wchar_t);
    std::vector<char> buffer(in.size() * 2 + 8);
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        size_t outLeft = buffer.size();
        const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        if (rc == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            out += '?';
            inPtr += sizeof(wchar_t);
            inLeft -= inLeft >= sizeof(wchar_t) ? sizeof(wchar_t) : inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}
