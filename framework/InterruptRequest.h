// framework/InterruptRequest.h
// Interrupts of a console program: Ctrl-C, SIGTERM and SIGHUP on POSIX; Ctrl+C, Ctrl+Break and the
// console's closing, logoff or shutdown on Windows. The first one is only recorded, so that a run
// can stop its devices the way the window's Stop command does and still write its records; a second
// one ends the process at once.
#pragma once

namespace InterruptRequest {

// Installs the handlers (once; later calls do nothing).
void Install();

// 0 while no interrupt arrived; otherwise the exit code the run ends with: 130 for SIGINT, Ctrl+C
// and Ctrl+Break, 143 for SIGTERM and the console's closing/logoff/shutdown, 129 for SIGHUP.
int Pending();

}  // namespace InterruptRequest
