#include "report/system_language.h"

#include <algorithm>
#include <cstring>

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

struct LocaleLanguage {
    const char* code;  // ISO 639 code as locale names carry it
    const char* name;
};

// Every language of glibc's supported-locale list (/usr/share/i18n/SUPPORTED)
// with the English name its locale source gives (LC_IDENTIFICATION
// "language"; of regional variants the plain name). Sorted by code.
const LocaleLanguage kLocaleLanguages[] = {
    {"aa", "Afar"},
    {"af", "Afrikaans"},
    {"agr", "Aguaruna"},
    {"ak", "Akan"},
    {"am", "Amharic"},
    {"an", "Aragonese"},
    {"anp", "Angika"},
    {"ar", "Arabic"},
    {"as", "Assamese"},
    {"ast", "Asturian"},
    {"ayc", "Aymara"},
    {"az", "Azerbaijani"},
    {"be", "Belarusian"},
    {"bem", "Bemba"},
    {"ber", "Berber"},
    {"bg", "Bulgarian"},
    {"bhb", "Bhili"},
    {"bho", "Bhojpuri"},
    {"bi", "Bislama"},
    {"bn", "Bangla"},
    {"bo", "Tibetan"},
    {"br", "Breton"},
    {"brx", "Bodo"},
    {"bs", "Bosnian"},
    {"byn", "Blin"},
    {"ca", "Catalan"},
    {"ce", "Chechen"},
    {"chr", "Cherokee"},
    {"ckb", "Central Kurdish"},
    {"cmn", "Mandarin Chinese"},
    {"crh", "Crimean Tatar"},
    {"cs", "Czech"},
    {"csb", "Kashubian"},
    {"cv", "Chuvash"},
    {"cy", "Welsh"},
    {"da", "Danish"},
    {"de", "German"},
    {"doi", "Dogri"},
    {"dsb", "Lower Sorbian"},
    {"dv", "Divehi"},
    {"dz", "Dzongkha"},
    {"el", "Greek"},
    {"en", "English"},
    {"eo", "Esperanto"},
    {"es", "Spanish"},
    {"et", "Estonian"},
    {"eu", "Basque"},
    {"fa", "Persian"},
    {"ff", "Fulah"},
    {"fi", "Finnish"},
    {"fil", "Filipino"},
    {"fo", "Faroese"},
    {"fr", "French"},
    {"fur", "Friulian"},
    {"fy", "Western Frisian"},
    {"ga", "Irish"},
    {"gd", "Scottish Gaelic"},
    {"gez", "Geez"},
    {"gl", "Galician"},
    {"gu", "Gujarati"},
    {"gv", "Manx"},
    {"ha", "Hausa"},
    {"hak", "Hakka Chinese"},
    {"he", "Hebrew"},
    {"hi", "Hindi"},
    {"hif", "Fiji Hindi"},
    {"hne", "Chhattisgarhi"},
    {"hr", "Croatian"},
    {"hsb", "Upper Sorbian"},
    {"ht", "Haitian Creole"},
    {"hu", "Hungarian"},
    {"hy", "Armenian"},
    {"ia", "Interlingua"},
    {"id", "Indonesian"},
    {"ig", "Igbo"},
    {"ik", "Inupiaq"},
    {"is", "Icelandic"},
    {"it", "Italian"},
    {"iu", "Inuktitut"},
    {"ja", "Japanese"},
    {"ka", "Georgian"},
    {"kab", "Kabyle"},
    {"kk", "Kazakh"},
    {"kl", "Kalaallisut"},
    {"km", "Khmer"},
    {"kn", "Kannada"},
    {"ko", "Korean"},
    {"kok", "Konkani"},
    {"ks", "Kashmiri"},
    {"ku", "Kurdish"},
    {"kw", "Cornish"},
    {"ky", "Kyrgyz"},
    {"lb", "Luxembourgish"},
    {"lg", "Ganda"},
    {"li", "Limburgish"},
    {"lij", "Ligurian"},
    {"ln", "Lingala"},
    {"lo", "Lao"},
    {"lt", "Lithuanian"},
    {"lv", "Latvian"},
    {"lzh", "Literary Chinese"},
    {"mag", "Magahi"},
    {"mai", "Maithili"},
    {"mfe", "Morisyen"},
    {"mg", "Malagasy"},
    {"mhr", "Meadow Mari"},
    {"mi", "Maori"},
    {"miq", "Miskito"},
    {"mjw", "Karbi"},
    {"mk", "Macedonian"},
    {"ml", "Malayalam"},
    {"mn", "Mongolian"},
    {"mni", "Manipuri"},
    {"mnw", "Mon"},
    {"mr", "Marathi"},
    {"ms", "Malay"},
    {"mt", "Maltese"},
    {"my", "Burmese"},
    {"nan", "Min Nan Chinese"},
    {"nb", "Norwegian Bokmål"},
    {"nds", "Low Saxon"},
    {"ne", "Nepali"},
    {"nhn", "Central Nahuatl"},
    {"niu", "Niuean"},
    {"nl", "Dutch"},
    {"nn", "Norwegian Nynorsk"},
    {"nr", "South Ndebele"},
    {"nso", "Northern Sotho"},
    {"oc", "Occitan"},
    {"om", "Oromo"},
    {"or", "Odia"},
    {"os", "Ossetic"},
    {"pa", "Punjabi"},
    {"pap", "Papiamento"},
    {"pl", "Polish"},
    {"ps", "Pashto"},
    {"pt", "Portuguese"},
    {"quz", "Cusco Quechua"},
    {"raj", "Rajasthani"},
    {"rif", "Tarifit"},
    {"ro", "Romanian"},
    {"ru", "Russian"},
    {"rw", "Kinyarwanda"},
    {"sa", "Sanskrit"},
    {"sah", "Sakha"},
    {"sat", "Santali"},
    {"sc", "Sardinian"},
    {"sd", "Sindhi"},
    {"se", "Northern Sami"},
    {"sgs", "Samogitian"},
    {"shn", "Shan"},
    {"shs", "Shuswap"},
    {"si", "Sinhala"},
    {"sid", "Sidamo"},
    {"sk", "Slovak"},
    {"sl", "Slovenian"},
    {"sm", "Samoan"},
    {"so", "Somali"},
    {"sq", "Albanian"},
    {"sr", "Serbian"},
    {"ss", "Swati"},
    {"st", "Southern Sotho"},
    {"sv", "Swedish"},
    {"sw", "Swahili"},
    {"syr", "Syriac"},
    {"szl", "Silesian"},
    {"ta", "Tamil"},
    {"tcy", "Tulu"},
    {"te", "Telugu"},
    {"tg", "Tajik"},
    {"th", "Thai"},
    {"the", "Chitwania Tharu"},
    {"ti", "Tigrinya"},
    {"tig", "Tigre"},
    {"tk", "Turkmen"},
    {"tl", "Tagalog"},
    {"tn", "Tswana"},
    {"to", "Tongan"},
    {"tpi", "Tok Pisin"},
    {"tr", "Turkish"},
    {"ts", "Tsonga"},
    {"tt", "Tatar"},
    {"ug", "Uyghur"},
    {"uk", "Ukrainian"},
    {"unm", "Unami Delaware"},
    {"ur", "Urdu"},
    {"uz", "Uzbek"},
    {"ve", "Venda"},
    {"vi", "Vietnamese"},
    {"wa", "Walloon"},
    {"wae", "Walser"},
    {"wal", "Wolaytta"},
    {"wo", "Wolof"},
    {"xh", "Xhosa"},
    {"yi", "Yiddish"},
    {"yo", "Yoruba"},
    {"yue", "Cantonese"},
    {"yuw", "Yau"},
    {"zh", "Chinese"},
    {"zu", "Zulu"},

};

bool CodeLess(const LocaleLanguage& entry, const std::string& code) {
    return std::strcmp(entry.code, code.c_str()) < 0;
}

}  // namespace

std::string EnglishLanguageName(LANGID langId) {
    const unsigned primary = langId & 0x3FFu;
    for (const auto& entry : kNames) {
        if (entry.primary == primary)
            return entry.name;
    }
    return "";
}

std::string LocaleLanguageName(const std::string& localeName) {
    if (localeName == "C" || localeName == "POSIX" || localeName.compare(0, 2, "C.") == 0)
        return "English";
    // language[_territory][.codeset][@modifier]
    const std::string code = localeName.substr(0, localeName.find_first_of("_.@"));
    const auto* end = std::end(kLocaleLanguages);
    const auto* at = std::lower_bound(std::begin(kLocaleLanguages), end, code, CodeLess);
    return at != end && code == at->code ? at->name : "";
}

std::string SystemLanguageName() {
    for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
        std::string value;
        // An empty value counts as unset, as for the C library.
        if (GetEnvironmentVariableA(variable, value) && !value.empty())
            return LocaleLanguageName(value);
    }
    return "English";
}
