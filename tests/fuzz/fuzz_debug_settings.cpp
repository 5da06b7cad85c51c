// libFuzzer target: the debug settings reader over arbitrary INI files. A
// switch can only be on when its key is in the file at all, reading twice
// gives the same settings, and the test-mode flag agrees with the reader.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/startup.h"
#include "platform/text.h"

namespace {

void Fail(const char* what) {
    fprintf(stderr, "fuzz_debug_settings: %s\n", what);
    abort();
}

const std::string& IniPath() {
    static const std::string path = [] {
        const char* tmp = getenv("TMPDIR");
        return std::string(tmp && *tmp ? tmp : "/tmp") + "/korvel-fuzz-ini-" +
               std::to_string(getpid()) + ".ini";
    }();
    return path;
}

bool Mentions(std::string text, const std::string& key) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(tolower(c)); });
    return text.find(key) != std::string::npos;
}

bool Same(const DebugSettings& a, const DebugSettings& b) {
    return a.showInfoView == b.showInfoView && a.testMode == b.testMode &&
           a.testLanguage == b.testLanguage;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    FILE* f = fopen(IniPath().c_str(), "wb");
    if (!f)
        Fail("cannot write the scratch file");
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
    const std::wstring path = Utf8ToWide(IniPath());
    const DebugSettings first = ReadDebugSettings(path);
    if (first.showInfoView && !Mentions(text, "show_info_view"))
        Fail("info view on without its key");
    if (first.testMode && !Mentions(text, "setup_test_mode"))
        Fail("test mode on without its key");
    if (first.testLanguage != 0 && !Mentions(text, "setup_test_language"))
        Fail("test language set without its key");
    if ((first.showInfoView || first.testMode || first.testLanguage) && !Mentions(text, "root"))
        Fail("a setting was read outside section root");
    if (!Same(first, ReadDebugSettings(path)))
        Fail("two readings of one file differ");
    SetupTestModeFlag flag;
    if (flag.Query(path) != first.testMode)
        Fail("test-mode flag disagrees with the reader");
    return 0;
}
