// Line rates that have no Bxxx constant. The kernel keeps such a rate as a plain number beside the
// termios flags (termios2); its header cannot be combined with <termios.h>, so these calls live in a
// file of their own.
#pragma once

#include <cstdint>

// The output rate the driver holds, as a number. False (errno set) when the driver cannot tell.
bool ReadLineSpeed(int fd, uint32_t& rate);

// Sets both directions to `rate` once pending output has gone, leaving every other flag as it is.
bool WriteLineSpeed(int fd, uint32_t rate);
