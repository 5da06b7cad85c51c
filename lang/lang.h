// UI languages: the choice of the installer's language and its built-in
// string tables, one table per language with the same 52 string ids.
//
// The language is chosen once on the UI thread before any worker starts;
// lookups may come from any thread afterwards.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>

#include "platform/types.h"

class ILog;

// Number of string ids every table gives (0 .. kLangStringCount - 1).
constexpr int kLangStringCount = 52;
// Number of layout widths per language (0 .. kLangMetricCount - 1).
constexpr int kLangMetricCount = 6;

// The string ids the installer looks up, named after their English text
// (tables/english.cpp). The values are the tables' ids.
enum LangStringId : int {
    kStrInstall = 0,            // "Click to Install"
    kStrCustom = 1,             // "Custom"
    kStrAccept = 2,             // "Accept"
    kStrLicence = 3,            // "User License Agreement"
    kStrDesktopShortcut = 4,    // "Create a desktop shortcut"
    kStrJoin = 7,               // "Join"
    kStrExperienceProgram = 8,  // "User Experience Improvement Program"
    kStrStartProduct = 9,       // "Start __PRODUCT_NAME__"
    kStrOk = 11,                // "OK"
    kStrTryAgain = 14,          // "Try Again"
    kStrSelectFolder = 17,      // the folder browser's title
    kStrVistaUnsupported = 29,  // refusal: system older than Windows 7
    kStrInvalidPath = 30,       // refusal: folder cannot be created
    kStrNoFreeSpace = 31,       // refusal: 256 MB or less free
    kStr64BitOnly = 32,         // refusal: 64-bit product, 32-bit system
    kStrUninstallApplication = 35,
    kStrApplication = 36,
    kStrHomepage = 38,
    kStrDownloadFailed = 41,    // the failure view's text
    kStrOutOfDate = 42,         // the out-of-date message
    kStrCheckingData = 44,      // status line: total size known
    kStrGatheringInfo = 45,     // status line: total size unknown
    kStrProductOnline = 46,     // "__PRODUCT_NAME__ Online"
    kStrUninstallProduct = 47,  // "Uninstall __PRODUCT_NAME__"
    kStrCountdown = 49,         // "... in XXX seconds."
    kStrDownloading = 50,       // "Downloading setup file..."
    kStrOfficial = 51,          // the translated channel word
};

// The layout widths of a language (GetLangMetric).
enum LangMetricId : int {
    kMetricLicenceBox = 0,
    kMetricLicenceLink = 1,
    kMetricExperienceBox = 2,
    kMetricExperienceLink = 3,
    kMetricMainButton = 4,
};

// Replaced by the product title on every lookup.
constexpr wchar_t kProductNamePlaceholder[] = L"__PRODUCT_NAME__";
// Replaced by the vendor's web host (SetWebHost) on every lookup.
constexpr wchar_t kWebHostPlaceholder[] = L"__WEB_HOST__";
// The text of an id that the current table does not hold.
constexpr wchar_t kUnknownLangString[] = L"UnKnow";

// The process-wide selection behind the free functions below; tests create
// their own instances.
class LanguageStrings {
public:
    // The instance behind SelectLanguage and friends; lives until process exit.
    static LanguageStrings& GetInstance();

    // log: where the selection line goes; null writes to the process-wide log.
    explicit LanguageStrings(ILog* log = nullptr);
    LanguageStrings(const LanguageStrings&) = delete;
    LanguageStrings& operator=(const LanguageStrings&) = delete;

    // Stores the product name unless one is stored already, loads English as
    // the base and the chosen language over it. A langId of 0 takes the
    // user's language from the platform; a non-zero testLanguage (the debug
    // settings' setup_test_language) replaces whichever id was found.
    // Always 1.
    int Select(const wchar_t* productName, LANGID langId, int testLanguage);
    // The web host the download-failure texts name; the installer sets it
    // from its deployment before the first lookup. Unset, the placeholder stays.
    void SetWebHost(const wchar_t* host);

    // The text of the id with the product name filled in, or "UnKnow". The
    // pointer stays valid for the object's life, also across a later Select.
    const wchar_t* GetString(int id);
    // Layout width 0..5 of the chosen language; 0 before Select or out of range.
    int GetMetric(int index) const;
    // English name of the chosen language ("German", ...); "" before Select.
    std::string GetName() const;

private:
    ILog* m_log;
    mutable std::mutex m_lock;       // guards everything below
    bool m_bProductNameSet = false;  // the first name given stays
    std::wstring m_strProductName;
    std::wstring m_strWebHost;
    bool m_bWebHostSet = false;
    std::map<int, const wchar_t*> m_mapTable;  // id -> text of the current table
    const int* m_pMetrics = nullptr;
    const char* m_pszName = "";
    // Filled-in texts by id. The strings live in m_setTexts, whose nodes never
    // move and are never erased, so every pointer handed out stays valid.
    std::map<int, const std::wstring*> m_mapCache;
    std::set<std::wstring> m_setTexts;
};

// Process-wide selection (see LanguageStrings::Select). Called once by the
// installer window's initialisation with the product title and 0. Always 1.
int SelectLanguage(const wchar_t* productName, LANGID langId, int testLanguage = 0);
// Process-wide SetWebHost; called by the installer before SelectLanguage.
void SetLangWebHost(const wchar_t* host);
// Thread-safe; the result stays valid until the process ends.
const wchar_t* GetLangString(int id);
int GetLangMetric(int index);
std::string GetLanguageName();
