#include "report/system_language.h"

#include "platform/system.h"

namespace {

struct LanguageName {
    unsigned primary;  // LANGID & 0x3FF
    const char* name;
};

// Windows' English language names (LOCALE_SENGLANGUAGE) for the primary ids
// that the platform's locale mapping produces.
const LanguageName kNames[] = {
    {0x01, "Arabic"},   {0x02, "Bulgarian"},  {0x03, "Catalan"},   {0x04, "Chinese"},
    {0x05, "Czech"},    {0x06, "Danish"},     {0x07, "German"},    {0x08, "Greek"},
    {0x09, "English"},  {0x0A, "Spanish"},    {0x0B, "Finnish"},   {0x0C, "French"},
    {0x0D, "Hebrew"},   {0x0E, "Hungarian"},  {0x0F, "Icelandic"}, {0x10, "Italian"},
    {0x11, "Japanese"}, {0x12, "Korean"},     {0x13, "Dutch"},     {0x14, "Norwegian"},
    {0x15, "Polish"},   {0x16, "Portuguese"}, {0x18, "Romanian"},  {0x19, "Russian"},
    {0x1A, "Croatian"}, {0x1B, "Slovak"},     {0x1D, "Swedish"},   {0x1E, "Thai"},
    {0x1F, "Turkish"},  {0x21, "Indonesian"}, {0x22, "Ukrainian"}, {0x2A, "Vietnamese"},
};

}  // namespace

std::string EnglishLanguageName(LANGID langId) {
    const unsigned primary = langId & 0x3FFu;
    for (const auto& entry : kNames) {
        if (entry.primary == primary)
            return entry.name;
    }
    return "";
}

std::string SystemLanguageName() {
    return EnglishLanguageName(GetUserDefaultUILanguage());
}
