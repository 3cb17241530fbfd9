// The command line on Windows, read wide (GetCommandLineW, CommandLineToArgvW) and turned into UTF-8.
#include <windows.h>
// windows.h first: shellapi.h builds on it.
#include <shellapi.h>

#include "framework/CString.h"
#include "tools/cli/Arguments.h"

CommandArgs ProgramArguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr)  // fall back on the narrow arguments rather than lose them all
        return argc > 1 ? CommandArgs(argv + 1, argv + argc) : CommandArgs();
    CommandArgs args;
    for (int i = 1; i < count; ++i)
        args.push_back(CString(wide[i]).ToUtf8());
    ::LocalFree(wide);
    return args;
}
