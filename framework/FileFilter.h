// For the Qt window layer and its tests: the framework's file-filter syntax translated into Qt name
// filters. The declaration names the Qt types without bringing Qt into the framework's headers.
#pragma once

class QString;
template <typename T>
class QList;

// "Text|*.a;*.b|All|*.*||" becomes {"Text (*.a *.b)", "All (*)"} in the shape Qt parses: the display
// text followed by the patterns in parentheses. Qt's "*.*" matches only names with a dot, so it
// becomes "*". An empty field ends the list, as the double NUL does on Windows.
QList<QString> TranslateFileFilter(const wchar_t* filter);
