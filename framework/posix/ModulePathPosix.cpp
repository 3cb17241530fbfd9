// On Linux the executable is whatever /proc/self/exe links to.
#include <unistd.h>

#include <climits>

#include "framework/ModulePath.h"

bool GetModuleFilePath(CString& path) {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (n <= 0)
        return false;
    path = CString::FromUtf8(std::string_view(buffer, static_cast<size_t>(n)));
    return true;
}
