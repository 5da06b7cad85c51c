// English name of a Windows language, as the status reports name the user's
// system language ("German", "Chinese", ...).
#pragma once

#include <string>

#include "platform/types.h"

// The English name of the language's primary id; "" for an unknown language.
std::string EnglishLanguageName(LANGID langId);
// The user's language from the platform (POSIX: the locale environment).
std::string SystemLanguageName();
