// The command-line tool's messages in the user's language. Source texts are English and are the keys
// of the catalogue (po/zh_CN.po, compiled at build time and carried in the program); Tr() looks one
// up. xgettext finds the texts by these names: Tr and TrNoop take one text, TrN a singular and a
// plural. printf-style texts keep their conversions in the translation (msgfmt -c checks it).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "framework/TextTranslator.h"  // FormatText, and the framework's texts

enum class MessageLanguage { English, Chinese };

// The language of the user's system: Chinese when it names zh in any form, English otherwise.
MessageLanguage SystemMessageLanguage();
// The language a --lang value names ("zh" or "en"); false for anything else.
bool ParseMessageLanguage(std::string_view name, MessageLanguage& language);
// The --lang value that names `language`, for passing the choice on to child processes.
const char* MessageLanguageName(MessageLanguage language);

// Chooses the language of every later Tr(), and of the framework's texts. Call it before any thread
// runs.
void SetMessageLanguage(MessageLanguage language);
MessageLanguage CurrentMessageLanguage();

// Takes "--lang X" or "--lang=X" out of `args` wherever it stands (before a "--") and chooses that
// language, else the system's. False with `error` set for a missing or unknown language.
bool TakeLanguageOption(std::vector<std::string>& args, std::string& error);

// The text of `msgid` in the current language: the translation, or `msgid` itself.
const char* Tr(const char* msgid) __attribute__((format_arg(1)));
// The same for a text with a count in it: `singular` or `plural` in English as `n` is 1 or not.
const char* TrN(const char* singular, const char* plural, unsigned long n) __attribute__((format_arg(1)))
__attribute__((format_arg(2)));
// Marks a text for the catalogue where it is defined (a table); Tr() translates it where it is used.
#define TrNoop(text) (text)
