// The command line on POSIX: argv as it is (UTF-8 in the locales we run under).
#include "tools/cli/Arguments.h"

CommandArgs ProgramArguments(int argc, char** argv) {
    return argc > 1 ? CommandArgs(argv + 1, argv + argc) : CommandArgs();
}
