// The program's entry point belongs to the framework: it starts the toolkit and runs the one
// application object.
#include "framework/CWinApp.h"

int main(int argc, char** argv) {
    return AfxWinMain(argc, argv);
}
