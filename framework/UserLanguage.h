// The language the user reads messages in, as the system states it: on Linux the locale variables
// (whether or not that locale is installed), on Windows the user's UI language.
#pragma once

#include <string>

// The ISO 639 code of that language in lower case ("zh", "en"), or "" when none is stated (the "C"
// or "POSIX" locale, nothing set).
std::string UserLanguage();
