#include "lang/lang.h"

#include <cstdio>

#include "lang/lang_tables.h"
#include "platform/log.h"
#include "platform/system.h"

const LanguageInfo kLanguages[kLanguageCount] = {
    {"English", &kEnglishTable, {75, 165, 55, 320, 240, 180}},
    {"Chinese(Traditional)", &kChineseTraditionalTable, {52, 95, 52, 170, 180, 180}},
    {"Chinese(Simplified)", &kChineseSimplifiedTable, {52, 95, 52, 170, 180, 180}},
    {"Japanese", &kJapaneseTable, {52, 165, 52, 295, 320, 180}},
    {"French", &kFrenchTable, {85, 220, 90, 420, 300, 180}},
    {"German", &kGermanTable, {105, 190, 105, 450, 180, 180}},
    {"Russian", &kRussianTable, {88, 360, 143, 400, 180, 180}},
    {"Czech", &kCzechTable, {90, 270, 90, 360, 300, 180}},
    {"Spanish", &kSpanishTable, {80, 280, 80, 460, 180, 180}},
    {"Hungarian", &kHungarianTable, {100, 220, 110, 410, 180, 180}},
    {"Italian", &kItalianTable, {90, 270, 105, 480, 180, 180}},
    {"Dutch", &kDutchTable, {103, 260, 103, 360, 180, 180}},
    {"Norwegian", &kNorwegianTable, {65, 130, 75, 360, 200, 180}},
    {"Polish", &kPolishTable, {85, 260, 72, 300, 180, 180}},
    {"Portuguese", &kPortugueseTable, {75, 230, 85, 470, 180, 180}},
    {"Swedish", &kSwedishTable, {93, 160, 70, 320, 180, 180}},
};

namespace {

enum LanguageIndex {
    kEnglish,
    kChineseTraditional,
    kChineseSimplified,
    kJapanese,
    kFrench,
    kGerman,
    kRussian,
    kCzech,
    kSpanish,
    kHungarian,
    kItalian,
    kDutch,
    kNorwegian,
    kPolish,
    kPortuguese,
    kSwedish,
};

struct PrimaryRule {
    unsigned primary;  // LANGID & 0x3FF
    LanguageIndex language;
    const char* logFormat;
};

// Chinese (primary 4) is decided by its sub-language before this table is read.
const PrimaryRule kPrimaryRules[] = {
    {3, kSpanish, "Language is CATALA(XiBanYa), id = %d"},
    {5, kCzech, "Language is CZ(JieKe), id = %d"},
    {7, kGerman, "Language is DE(DeGuo), id = %d"},
    {10, kSpanish, "Language is SPANISH(XiBanYa), id = %d"},
    {12, kFrench, "Language is FR(FaGuo), id = %d"},
    {14, kHungarian, "Language is HU(XiongYaLi), id = %d"},
    {16, kItalian, "Language is IT(YiDaLi), id = %d"},
    {17, kJapanese, "Language is JP(RiBen), id = %d"},
    {19, kDutch, "Language is NL(HeLan), id = %d"},
    {20, kNorwegian, "Language is NO(NuoWei), id = %d"},
    {21, kPolish, "Language is PL(BoLan), id = %d"},
    {22, kPortuguese, "Language is PT(PuTaoYa), id = %d"},
    {25, kRussian, "Language is RU(ErLuoSi), id = %d"},
    {29, kSwedish, "Language is SVE(RuiDian), id = %d"},
};

constexpr unsigned kPrimaryChinese = 4;
constexpr unsigned kSubLanguagePrc = 2;

// Every occurrence, scanning past each inserted value so that a value that
// itself contains the placeholder cannot loop.
void FillPlaceholder(std::wstring& text, const std::wstring& placeholder,
                     const std::wstring& value) {
    for (size_t pos = text.find(placeholder); pos != std::wstring::npos;
         pos = text.find(placeholder, pos + value.size())) {
        text.replace(pos, placeholder.size(), value);
    }
}

}  // namespace

LanguageChoice ChooseLanguage(LANGID langId) {
    const unsigned primary = langId & 0x3FFu;
    if (primary == kPrimaryChinese) {
        if ((langId >> 10) == kSubLanguagePrc)
            return {&kLanguages[kChineseSimplified], "Language is CHS(JianTi), id = %d"};
        return {&kLanguages[kChineseTraditional], "Language is ZH(FanTi), id = %d"};
    }
    for (const auto& rule : kPrimaryRules) {
        if (rule.primary == primary)
            return {&kLanguages[rule.language], rule.logFormat};
    }
    return {&kLanguages[kEnglish], "Language is EN, id = %d"};
}

LanguageStrings& LanguageStrings::GetInstance() {
    static LanguageStrings* instance = new LanguageStrings();  // never destroyed
    return *instance;
}

LanguageStrings::LanguageStrings(ILog* log) : m_log(log) {}

int LanguageStrings::Select(const wchar_t* productName, LANGID langId, int testLanguage) {
    if (langId == 0)
        langId = GetUserDefaultUILanguage();
    if (testLanguage != 0)
        langId = static_cast<LANGID>(testLanguage);
    const LanguageChoice choice = ChooseLanguage(langId);

    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (productName && !m_bProductNameSet) {
            m_strProductName = productName;
            m_bProductNameSet = true;
        }
        // English first, so that an id a translation lacks keeps its English text.
        for (const LangTable* table : {&kEnglishTable, choice.language->table}) {
            for (size_t i = 0; i < table->count; ++i)
                m_mapTable[table->strings[i].id] = table->strings[i].text;
        }
        m_pMetrics = choice.language->metrics;
        m_pszName = choice.language->name;
    }

    char line[96];
    snprintf(line, sizeof(line), choice.logFormat, static_cast<int>(langId));
    (m_log ? m_log : ILog::GetInstance())->WriteLine(line);
    return 1;
}

const wchar_t* LanguageStrings::GetString(int id) {
    std::lock_guard<std::mutex> hold(m_lock);
    const auto text = m_mapTable.find(id);
    if (text == m_mapTable.end())
        return kUnknownLangString;
    std::wstring filled = text->second;
    FillPlaceholder(filled, kProductNamePlaceholder, m_strProductName);
    if (m_bWebHostSet)
        FillPlaceholder(filled, kWebHostPlaceholder, m_strWebHost);
    // A text already handed out is never overwritten: another thread may be
    // reading it. A changed text (after a new Select) gets a string of its own.
    const std::wstring*& cached = m_mapCache[id];
    if (!cached || *cached != filled)
        cached = &*m_setTexts.insert(std::move(filled)).first;
    return cached->c_str();
}

void LanguageStrings::SetWebHost(const wchar_t* host) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_strWebHost = host ? host : L"";
    m_bWebHostSet = host != nullptr;
}

int LanguageStrings::GetMetric(int index) const {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_pMetrics || index < 0 || index >= kLangMetricCount)
        return 0;
    return m_pMetrics[index];
}

std::string LanguageStrings::GetName() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_pszName;
}

int SelectLanguage(const wchar_t* productName, LANGID langId, int testLanguage) {
    return LanguageStrings::GetInstance().Select(productName, langId, testLanguage);
}

void SetLangWebHost(const wchar_t* host) {
    LanguageStrings::GetInstance().SetWebHost(host);
}

const wchar_t* GetLangString(int id) {
    return LanguageStrings::GetInstance().GetString(id);
}

int GetLangMetric(int index) {
    return LanguageStrings::GetInstance().GetMetric(index);
}

std::string GetLanguageName() {
    return LanguageStrings::GetInstance().GetName();
}
