// The version of Orvane, as both programs report it with --version and records carry it.
#pragma once

// "1.0": the version the build was configured with.
const char* OrvaneVersion();
