// IsTerminal on POSIX: isatty on the stream's descriptor.
#include <unistd.h>

#include "framework/ConsoleDiagnostics.h"

bool IsTerminal(ConsoleStream stream) {
    return ::isatty(stream == ConsoleStream::Output ? STDOUT_FILENO : STDERR_FILENO) != 0;
}
