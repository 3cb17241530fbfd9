// The program's entry point belongs to the framework: it starts the toolkit and runs the one
// application object.
#include <cstring>

#include "framework/CWinApp.h"
#include "framework/ConsoleText.h"
#include "framework/ProductVersion.h"

int main(int argc, char** argv) {
    // For scripts and support staff: answered before the toolkit or any window starts.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        ConsolePrintf(ConsoleStream::Output, "Orvane %s\n", OrvaneVersion());
        return 0;
    }
    return AfxWinMain(argc, argv);
}
