#include "framework/TextTranslator.h"

#include <cstdarg>
#include <cstdio>

namespace {

TextTranslator g_translator = nullptr;

}  // namespace

void SetTextTranslator(TextTranslator translator) {
    g_translator = translator;
}

const char* TranslateText(const char* text) {
    return g_translator != nullptr ? g_translator(text) : text;
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
