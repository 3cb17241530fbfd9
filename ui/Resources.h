// The program's resources as data: the two dialog templates, the application icon and the string
// table, registered with the framework.
#pragma once

#include <vector>

#include "framework/IconResource.h"

// Registers everything once; later calls do nothing. The dialogs' constructors call it.
void RegisterDialogResources();

// The application icon's images, 256, 128, 64, 48, 32 and 16 pixels square.
std::vector<IconImage> DrawApplicationIcon();
