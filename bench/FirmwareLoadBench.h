// The measuring side of the firmware load's peak memory figure, run in a process of its own.
#pragma once

// Loads the image at `path` through the firmware engine and prints "<VmRSS before> <VmHWM after>
// <1 if loaded>" in KiB; returns the process exit code.
int RunFirmwareLoadRss(const char* path);
