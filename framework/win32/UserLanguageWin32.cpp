// The message language from the user's UI language (GetUserDefaultUILanguage), named by its ISO 639
// code through GetLocaleInfoW. Chinese in any of its forms (PRC, Taiwan, Hong Kong...) has the
// primary language LANG_CHINESE.
#include <windows.h>

#include "framework/CString.h"
#include "framework/UserLanguage.h"

std::string UserLanguage() {
    const LANGID language = ::GetUserDefaultUILanguage();
    if (PRIMARYLANGID(language) == LANG_CHINESE)
        return "zh";
    wchar_t code[16] = L"";
    if (::GetLocaleInfoW(MAKELCID(language, SORT_DEFAULT), LOCALE_SISO639LANGNAME, code, 16) <= 0)
        return "";
    return CString(code).ToUtf8();
}
