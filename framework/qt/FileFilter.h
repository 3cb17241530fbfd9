// Translation of the framework's file-filter syntax into Qt name filters (declared in
// framework/FileFilter.h, with the Qt types complete here).
#pragma once

#include <QStringList>

#include "framework/FileFilter.h"
