// English name of the user's language, as the status reports name the
// user's system language ("German", "Estonian", ...).
#pragma once

#include <string>

#include "platform/types.h"

// The English name of a Windows language's primary id; "" for an unknown one.
std::string EnglishLanguageName(LANGID langId);

// The English name of the language of a POSIX locale name ("et_EE.UTF-8",
// "ca_ES@valencia", "vi"): every language of the C library's supported-locale
// list; "English" for the C and POSIX locales; "" for an unknown language.
std::string LocaleLanguageName(const std::string& localeName);

// The language of the user's locale for regional formats, which is what the
// Windows user locale stands for: the first set of LC_ALL, LC_TIME and LANG
// (LANGUAGE is the window's language choice and does not count here);
// "English" when none is set.
std::string SystemLanguageName();
