// A compiled message catalogue (GNU gettext's .mo format, as msgfmt writes it) read from memory. Our
// own reader, so that the Windows build, where Debian has no gettext runtime, and the Linux build,
// where gettext would need the user's locale to be installed, look messages up the same way.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

class MoCatalog {
public:
    // Reads the catalogue in `bytes`, which must outlive this object: lookups return pointers into
    // it. False with `error` set when it is not a well-formed catalogue; nothing is kept then.
    bool Load(std::string_view bytes, std::string& error);

    // The translation of `msgid`, or nullptr when the catalogue has none (or an empty one).
    const char* Find(std::string_view msgid) const;
    // The translation of the plural message keyed by `singular` for the count `n`; nullptr as above.
    const char* FindPlural(std::string_view singular, unsigned long n) const;

    size_t Size() const { return m_translations.size(); }
    // The form a count takes among the catalogue's plural forms.
    size_t PluralForm(unsigned long n) const;

private:
    // Keyed by the original up to its first NUL (the singular of a plural message); the value is the
    // whole translation, its forms separated by NULs.
    std::unordered_map<std::string_view, std::string_view> m_translations;
    unsigned m_pluralForms = 2;
};
