// The executable's path from GetModuleFileNameW, in a buffer that grows until the path fits.
#include <windows.h>

#include <vector>

#include "framework/ModulePath.h"

namespace {

constexpr DWORD kFirstBufferChars = MAX_PATH;
constexpr DWORD kLongestPathChars = 32768;  // the longest path Windows accepts

}  // namespace

bool GetModuleFilePath(CString& path) {
    for (DWORD chars = kFirstBufferChars; chars <= kLongestPathChars; chars *= 2) {
        std::vector<wchar_t> buffer(chars);
        const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), chars);
        if (n == 0)
            return false;
        if (n < chars) {
            path = CString(buffer.data(), static_cast<int>(n));
            return true;
        }
    }
    return false;
}
