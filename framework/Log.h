// Log levels and the callback through which the update engines report their lines.
#pragma once

#include <functional>

#include "framework/CString.h"

enum LOG_LEVEL {
    LOG_DEBUG = 0,
    LOG_INFO = 1,
    LOG_WARNING = 2,
    LOG_ERROR = 3,
};

using LogCallback = std::function<void(LOG_LEVEL, const CString&)>;
