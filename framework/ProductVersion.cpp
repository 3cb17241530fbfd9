#include "framework/ProductVersion.h"

const char* OrvaneVersion() {
    return ORVANE_VERSION_TEXT;
}
