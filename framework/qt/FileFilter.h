// Translation of the framework's file-filter syntax into Qt name filters.
#pragma once

#include <QStringList>

// "Text|*.a;*.b|All|*.*||" becomes {"Text (*.a *.b)", "All (*)"} in the shape Qt parses: the display
// text followed by the patterns in parentheses. Qt's "*.*" matches only names with a dot, so it
// becomes "*". An empty field ends the list, as the double NUL does on Windows.
QStringList TranslateFileFilter(const wchar_t* filter);
