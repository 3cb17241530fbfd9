// Sleep: pauses the calling thread, in milliseconds as the system's code counts them.
#pragma once

#include "framework/WinTypes.h"
