#include "framework/TextTranslator.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

TextTranslator g_translator = nullptr;

}  // namespace

void SetTextTranslator(TextTranslator translator) {
    g_translator = translator;
}

const char* TranslateText(const char* text) {
    return g_translator != nullptr ? g_translator(text) : text;
}

const char* ErrorNumberText(int error) {
    // The C library's own English words are the keys. Without a translation (an English run) the
    // library's own text stands.
    struct Known {
        int error;
        const char* text;
    };
    static const Known known[] = {
        {ENOENT, TranslateNoop("No such file or directory")},
        {EACCES, TranslateNoop("Permission denied")},
        {EPERM, TranslateNoop("Operation not permitted")},
        {EISDIR, TranslateNoop("Is a directory")},
        {ENOTDIR, TranslateNoop("Not a directory")},
        {ENOSPC, TranslateNoop("No space left on device")},
        {EROFS, TranslateNoop("Read-only file system")},
        {EBUSY, TranslateNoop("Device or resource busy")},
        {EIO, TranslateNoop("Input/output error")},
        {ENXIO, TranslateNoop("No such device or address")},
        {ENODEV, TranslateNoop("No such device")},
        {EEXIST, TranslateNoop("File exists")},
        {EMFILE, TranslateNoop("Too many open files")},
        {ENAMETOOLONG, TranslateNoop("File name too long")},
    };
    for (const Known& entry : known) {
        if (entry.error != error)
            continue;
        const char* translated = TranslateText(entry.text);
        if (translated != entry.text)
            return translated;
    }
    return std::strerror(error);
}

std::string FormatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (length > 0) {
        text.assign(static_cast<size_t>(length) + 1, '\0');
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<size_t>(length));
    }
    va_end(args);
    return text;
}
