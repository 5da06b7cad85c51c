// The built-in string tables and the language-id rules that pick one of them.
// Each table lives in tables/<language>.cpp as UTF-8 source, one text per line.
#pragma once

#include <cstddef>

#include "lang/lang.h"

struct LangString {
    int id;
    const wchar_t* text;
};

struct LangTable {
    const LangString* strings;
    size_t count;
};

extern const LangTable kEnglishTable;
extern const LangTable kChineseTraditionalTable;
extern const LangTable kChineseSimplifiedTable;
extern const LangTable kJapaneseTable;
extern const LangTable kFrenchTable;
extern const LangTable kGermanTable;
extern const LangTable kRussianTable;
extern const LangTable kCzechTable;
extern const LangTable kSpanishTable;
extern const LangTable kHungarianTable;
extern const LangTable kItalianTable;
extern const LangTable kDutchTable;
extern const LangTable kNorwegianTable;
extern const LangTable kPolishTable;
extern const LangTable kPortugueseTable;
extern const LangTable kSwedishTable;

struct LanguageInfo {
    const char* name;  // English name, as the status reports send it
    const LangTable* table;
    int metrics[kLangMetricCount];  // layout widths in pixels
};

// Every supported language, English first.
constexpr size_t kLanguageCount = 16;
extern const LanguageInfo kLanguages[kLanguageCount];

struct LanguageChoice {
    const LanguageInfo* language;
    const char* logFormat;  // printf format taking the 16-bit language id
};

// The language a Windows language id selects; English for every id not listed.
LanguageChoice ChooseLanguage(LANGID langId);
