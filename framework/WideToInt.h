// Decimal text to int32 by the C runtime's _wtoi rules, which the system's text fields follow:
// leading white space, an optional sign, then digits up to the first other character. Text
// without leading digits gives 0; a value beyond the int32 range saturates to its limit.
#pragma once

#include <cstdint>

int32_t WideToInt(const wchar_t* text);
