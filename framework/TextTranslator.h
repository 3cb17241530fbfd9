// Texts the framework hands to a command-line user, such as why a port or a file cannot be used. The
// framework writes them in English and passes each through TranslateText; a program that speaks
// the user's language installs its message catalogue's lookup. The window's own texts never pass
// here: they are Chinese as they stand.
#pragma once

#include <string>

#include "framework/ConsoleText.h"

using TextTranslator = const char* (*)(const char* text);

// Installs `translator` for every later TranslateText (nullptr: none). Call it before threads run.
void SetTextTranslator(TextTranslator translator);

// `text` in the user's language, or `text` itself when no translator is installed or it has none.
const char* TranslateText(const char* text) __attribute__((format_arg(1)));

// strerror(`error`) for an errno value, through TranslateText for the errors a file or a port meets
// in the field.
const char* ErrorNumberText(int error);

// Marks a text for the catalogue where it is defined (a table); TranslateText translates it where it
// is used.
#define TranslateNoop(text) (text)

// printf-style formatting into a string, for texts built before they are printed.
std::string FormatText(const char* format, ...) ORVANE_PRINTF_FORMAT(1, 2);
