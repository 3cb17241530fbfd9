#include "tools/i18n/MoCatalog.h"

#include <cstring>

namespace {

constexpr uint32_t kMagic = 0x950412de;
constexpr uint32_t kSwappedMagic = 0xde120495;
constexpr size_t kHeaderBytes = 28;  // magic, revision, count, two table offsets, hash size and offset
constexpr size_t kEntryBytes = 8;    // length, offset

class Reader {
public:
    Reader(std::string_view bytes, bool swapped) : m_bytes(bytes), m_swapped(swapped) {}

    // The 32-bit word at `offset`; false when it lies outside the catalogue.
    bool Word(size_t offset, uint32_t& value) const {
        if (offset > m_bytes.size() || m_bytes.size() - offset < 4)
            return false;
        std::memcpy(&value, m_bytes.data() + offset, 4);
        if (m_swapped)
            value = __builtin_bswap32(value);
        return true;
    }

    // The string described by the table entry at `entry`. msgfmt ends each with a NUL that the
    // length leaves out; it must be there, since lookups hand the text out as a C string.
    bool String(size_t entry, std::string_view& text) const {
        uint32_t length = 0, offset = 0;
        if (!Word(entry, length) || !Word(entry + 4, offset))
            return false;
        if (offset > m_bytes.size() || m_bytes.size() - offset <= length || m_bytes[offset + length] != '\0')
            return false;
        text = m_bytes.substr(offset, length);
        return true;
    }

private:
    std::string_view m_bytes;
    bool m_swapped;
};

// "nplurals=N" in the header's Plural-Forms line; 2 (one and many) when it is not there.
unsigned PluralCount(std::string_view header) {
    const size_t at = header.find("nplurals=");
    if (at == std::string_view::npos)
        return 2;
    unsigned count = 0;
    for (size_t i = at + 9; i < header.size() && header[i] >= '0' && header[i] <= '9' && count < 100; ++i)
        count = count * 10 + static_cast<unsigned>(header[i] - '0');
    return count == 0 ? 2 : count;
}

}  // namespace

bool MoCatalog::Load(std::string_view bytes, std::string& error) {
    m_translations.clear();
    m_pluralForms = 2;
    uint32_t magic = 0;
    if (bytes.size() < kHeaderBytes) {
        error = "the catalogue is shorter than its header";
        return false;
    }
    std::memcpy(&magic, bytes.data(), 4);
    if (magic != kMagic && magic != kSwappedMagic) {
        error = "not a compiled message catalogue (bad magic number)";
        return false;
    }
    const Reader reader(bytes, magic == kSwappedMagic);
    uint32_t revision = 0, count = 0, originals = 0, translations = 0;
    reader.Word(4, revision);
    reader.Word(8, count);
    reader.Word(12, originals);
    reader.Word(16, translations);
    // Major revisions 0 and 1 share the tables read here; 1 only adds system-dependent strings.
    if ((revision >> 16) > 1) {
        error = "unknown catalogue revision " + std::to_string(revision >> 16);
        return false;
    }
    if (count > bytes.size() / kEntryBytes) {
        error = "the catalogue's message count exceeds its size";
        return false;
    }
    std::unordered_map<std::string_view, std::string_view> found;
    for (size_t i = 0; i < count; ++i) {
        std::string_view original, translation;
        if (!reader.String(originals + i * kEntryBytes, original) ||
            !reader.String(translations + i * kEntryBytes, translation)) {
            error = "message " + std::to_string(i) + " lies outside the catalogue";
            return false;
        }
        if (original.empty()) {
            m_pluralForms = PluralCount(translation);
            continue;
        }
        found.emplace(original.substr(0, original.find('\0')), translation);
    }
    m_translations = std::move(found);
    return true;
}

const char* MoCatalog::Find(std::string_view msgid) const {
    const auto it = m_translations.find(msgid);
    return it == m_translations.end() || it->second.empty() ? nullptr : it->second.data();
}

size_t MoCatalog::PluralForm(unsigned long n) const {
    // Chinese and the other one-form languages have nplurals=1; two forms are one and many. A
    // catalogue with more forms would need its plural expression evaluated; none ships.
    if (m_pluralForms == 1)
        return 0;
    return n == 1 ? 0 : 1;
}

const char* MoCatalog::FindPlural(std::string_view singular, unsigned long n) const {
    const auto it = m_translations.find(singular);
    if (it == m_translations.end())
        return nullptr;
    std::string_view forms = it->second;
    for (size_t form = PluralForm(n); form > 0; --form) {
        const size_t end = forms.find('\0');
        if (end == std::string_view::npos)
            return nullptr;
        forms.remove_prefix(end + 1);
    }
    return forms.empty() || forms[0] == '\0' ? nullptr : forms.data();
}
