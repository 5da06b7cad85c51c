// System facts on POSIX: the kernel stands in for the Windows version, the
// effective uid for the administrators group, the locale for the UI language.
#include <pthread.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/log.h"
#include "platform/system.h"
#include "platform/text.h"

bool Is64BitWindows() {
    struct utsname u;
    if (uname(&u) != 0) return false;
    const char* m = u.machine;
    // x86_64, aarch64, ppc64le, riscv64, loongarch64, ... and s390x.
    return strstr(m, "64") != nullptr || strcmp(m, "s390x") == 0;
}

bool IsWindows7OrLater() {
    struct utsname u;
    int major = 0;
    int minor = 0;
    if (uname(&u) == 0) sscanf(u.release, "%d.%d", &major, &minor);
    WriteLog("Window Version : %d,%d", major, minor);
    return true;
}

bool IsVistaOrLater() { return true; }

bool IsUserAdmin() { return geteuid() == 0; }

uint32_t GetTickCount() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                                 static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

void Sleep(uint32_t milliseconds) {
    struct timespec ts;
    ts.tv_sec = milliseconds / 1000;
    ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0) {
    }
}

void NameCurrentThread(const char* name) {
    char shortName[16] = {};
    strncpy(shortName, name, sizeof shortName - 1);
    pthread_setname_np(pthread_self(), shortName);
}

std::wstring GetModuleFilePath() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0) return std::wstring();
    buf[n] = 0;
    return Utf8ToWide(buf);
}

void OutputDebugStringA(const char* text) {
    static const bool enabled = getenv("KORVEL_DEBUG_OUTPUT") != nullptr;
    if (enabled && text) fputs(text, stderr);
}

namespace {
std::string Trim(const std::string& s) {
    size_t a = 0;
    size_t b = s.size();
    while (a < b && isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}
}  // namespace

int GetPrivateProfileInt(const wchar_t* section, const wchar_t* key, int defaultValue,
                         const std::wstring& iniPath) {
    if (!section || !key) return defaultValue;
    std::ifstream in(WideToUtf8(iniPath));
    if (!in) return defaultValue;
    const std::string wantedSection = WideToUtf8(section);
    const std::string wantedKey = WideToUtf8(key);
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        std::string t = Trim(line);
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        if (t[0] == '[') {
            size_t close = t.find(']');
            inSection = close != std::string::npos &&
                        EqualsNoCase(Trim(t.substr(1, close - 1)), wantedSection);
            continue;
        }
        size_t eq = t.find('=');
        if (!inSection || eq == std::string::npos) continue;
        if (!EqualsNoCase(Trim(t.substr(0, eq)), wantedKey)) continue;
        // As GetPrivateProfileString hands it over: one pair of enclosing
        // quotes dropped, an empty value counts as missing. Then the leading
        // decimal digits (with an optional sign); no digits give 0.
        std::string v = Trim(t.substr(eq + 1));
        if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) {
            v = v.substr(1, v.size() - 2);
        }
        if (v.empty()) return defaultValue;
        return static_cast<int>(strtoll(v.c_str(), nullptr, 10));
    }
    return defaultValue;
}

bool GetEnvironmentVariableA(const char* name, std::string& value) {
    const char* v = name ? getenv(name) : nullptr;
    if (!v) return false;
    value = v;
    return true;
}

namespace {
struct LocaleId {
    const char* prefix;  // language or language_TERRITORY, compared without case
    LANGID id;
};

// Longest matching prefix wins, so territory entries come before the bare language.
const LocaleId kLocaleIds[] = {
    {"zh_TW", 0x0404}, {"zh_HK", 0x0C04}, {"zh_MO", 0x1404}, {"zh_SG", 0x1004},
    {"zh_CN", 0x0804}, {"zh", 0x0804},    {"en_GB", 0x0809}, {"en_AU", 0x0C09},
    {"zh_Hant", 0x0404}, {"zh_Hans", 0x0804},  // script tags, any territory
    {"en_CA", 0x1009}, {"en", 0x0409},    {"de_AT", 0x0C07}, {"de_CH", 0x0807},
    {"de", 0x0407},    {"fr_CA", 0x0C0C}, {"fr_BE", 0x080C}, {"fr_CH", 0x100C},
    {"fr", 0x040C},    {"es_MX", 0x080A}, {"es", 0x0C0A},    {"it", 0x0410},
    {"ja", 0x0411},    {"ko", 0x0412},    {"pt_BR", 0x0416}, {"pt", 0x0816},
    {"ru", 0x0419},    {"pl", 0x0415},    {"nl_BE", 0x0813}, {"nl", 0x0413},
    {"tr", 0x041F},    {"ar", 0x0401},    {"cs", 0x0405},    {"da", 0x0406},
    {"el", 0x0408},    {"fi", 0x040B},    {"he", 0x040D},    {"hu", 0x040E},
    {"nb", 0x0414},    {"no", 0x0414},    {"sv", 0x041D},    {"th", 0x041E},
    {"nn", 0x0814},
    {"uk", 0x0422},    {"id", 0x0421},    {"vi", 0x042A},    {"ca", 0x0403},
    {"ro", 0x0418},    {"sk", 0x041B},    {"bg", 0x0402},    {"hr", 0x041A},
};

LANGID LangIdFromLocale(const std::string& locale) {
    std::string loc = locale.substr(0, locale.find_first_of(".@"));
    // BCP 47 forms ("zh-TW", "zh-Hant") compare like their POSIX spelling.
    std::replace(loc.begin(), loc.end(), '-', '_');
    LANGID best = 0;
    size_t bestLen = 0;
    for (const auto& e : kLocaleIds) {
        size_t n = strlen(e.prefix);
        if (loc.size() < n || n <= bestLen) continue;
        if (!EqualsNoCase(loc.substr(0, n), e.prefix)) continue;
        if (loc.size() > n && loc[n] != '_' && loc[n] != '-') continue;
        best = e.id;
        bestLen = n;
    }
    return best;
}
}  // namespace

LANGID GetUserDefaultUILanguage() {
    // LANGUAGE may list several languages separated by ':'; the first known one counts.
    for (const char* var : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = getenv(var);
        if (!v || !*v) continue;
        std::string list = v;
        size_t pos = 0;
        while (pos <= list.size()) {
            size_t next = list.find(':', pos);
            if (next == std::string::npos) next = list.size();
            std::string item = list.substr(pos, next - pos);
            if (item == "C" || item == "POSIX" || item.compare(0, 2, "C.") == 0) return 0x0409;
            if (LANGID id = LangIdFromLocale(item)) return id;
            pos = next + 1;
        }
    }
    return 0x0409;
}
