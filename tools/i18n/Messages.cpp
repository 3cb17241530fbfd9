#include "tools/i18n/Messages.h"

#include <cstdio>

#include "framework/TextTranslator.h"
#include "framework/UserLanguage.h"
#include "tools/i18n/EmbeddedCatalog.h"
#include "tools/i18n/MoCatalog.h"

namespace {

MessageLanguage g_language = MessageLanguage::English;

const MoCatalog& ChineseCatalog() {
    static const MoCatalog catalog = [] {
        MoCatalog loaded;
        std::string error;
        // The catalogue was built by msgfmt with this program; if it ever fails to load, the
        // messages stay English rather than the program failing.
        if (!loaded.Load(EmbeddedChineseCatalog(), error))
            ConsolePrintf(ConsoleStream::Error, "orvane-cli: the Chinese message catalogue is unusable: %s\n",
                          error.c_str());
        return loaded;
    }();
    return catalog;
}

}  // namespace

MessageLanguage SystemMessageLanguage() {
    return UserLanguage() == "zh" ? MessageLanguage::Chinese : MessageLanguage::English;
}

bool ParseMessageLanguage(std::string_view name, MessageLanguage& language) {
    if (name == "zh") {
        language = MessageLanguage::Chinese;
        return true;
    }
    if (name == "en") {
        language = MessageLanguage::English;
        return true;
    }
    return false;
}

const char* MessageLanguageName(MessageLanguage language) {
    return language == MessageLanguage::Chinese ? "zh" : "en";
}

void SetMessageLanguage(MessageLanguage language) {
    g_language = language;
    SetTextTranslator(&Tr);
    if (language == MessageLanguage::Chinese)
        ChineseCatalog();  // loaded now, before any thread can ask for it
}

MessageLanguage CurrentMessageLanguage() {
    return g_language;
}

bool TakeLanguageOption(std::vector<std::string>& args, std::string& error) {
    MessageLanguage language = SystemMessageLanguage();
    for (size_t i = 0; i < args.size() && args[i] != "--";) {
        std::string value;
        if (args[i] == "--lang") {
            if (i + 1 >= args.size()) {
                SetMessageLanguage(language);
                error = Tr("--lang needs a value: zh or en");
                return false;
            }
            value = args[i + 1];
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                       args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
        } else if (args[i].rfind("--lang=", 0) == 0) {
            value = args[i].substr(7);
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
            continue;
        }
        if (!ParseMessageLanguage(value, language)) {
            SetMessageLanguage(SystemMessageLanguage());
            error = FormatText(Tr("--lang takes zh or en, not '%s'"), value.c_str());
            return false;
        }
    }
    SetMessageLanguage(language);
    return true;
}

const char* Tr(const char* msgid) {
    if (g_language != MessageLanguage::Chinese)
        return msgid;
    const char* translation = ChineseCatalog().Find(msgid);
    return translation != nullptr ? translation : msgid;
}

const char* TrN(const char* singular, const char* plural, unsigned long n) {
    if (g_language == MessageLanguage::Chinese) {
        if (const char* translation = ChineseCatalog().FindPlural(singular, n))
            return translation;
    }
    return n == 1 ? singular : plural;
}
