// The message language from LC_ALL, LC_MESSAGES and LANG, the first one set (and not empty) winning,
// the order in which POSIX consults them. The name is read, not looked up: a Chinese user's zh_CN.UTF-8
// counts even on a system where that locale was never generated.
#include <cstdlib>
#include <string>

#include "framework/UserLanguage.h"

std::string UserLanguage() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value == nullptr || *value == '\0')
            continue;
        // language[_territory][.codeset][@modifier]; "C", "C.UTF-8" and "POSIX" name no language.
        std::string name(value);
        name = name.substr(0, name.find_first_of("_.@"));
        if (name == "C" || name == "POSIX")
            return "";
        std::string code;
        for (char c : name) {
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
            if (c < 'a' || c > 'z')
                return "";
            code += c;
        }
        return code;
    }
    return "";
}
