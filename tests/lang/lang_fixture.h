// Shared pieces of the language tests: a locale environment of the test's
// choosing and a log of its own whose lines can be read back.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/log.h"
#include "tests/support/test_support.h"

namespace korvel_test {

// LANG (and optionally LANGUAGE) as given, LC_ALL and LC_MESSAGES unset.
class LocaleEnv {
public:
    explicit LocaleEnv(const char* lang, const char* language = nullptr) {
        m_env.push_back(std::make_unique<ScopedEnv>("LANGUAGE", language));
        m_env.push_back(std::make_unique<ScopedEnv>("LC_ALL", nullptr));
        m_env.push_back(std::make_unique<ScopedEnv>("LC_MESSAGES", nullptr));
        m_env.push_back(std::make_unique<ScopedEnv>("LANG", lang));
    }

private:
    std::vector<std::unique_ptr<ScopedEnv>> m_env;
};

class CapturedLog {
public:
    CapturedLog() : m_log([] { return 0u; }) { m_log.InitLog(m_dir.WSub("install.log")); }
    ILog* log() { return &m_log; }
    // The messages written so far, without the time prefix and the run header.
    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        const std::string text = ReadFile(m_dir.Sub("install.log"));
        const std::string prefix = "00:00:00 : ";
        size_t pos = 0;
        while (pos < text.size()) {
            size_t end = text.find('\n', pos);
            if (end == std::string::npos)
                end = text.size();
            const std::string line = text.substr(pos, end - pos);
            if (line.compare(0, prefix.size(), prefix) == 0 && line != prefix + "Init Log OK.")
                out.push_back(line.substr(prefix.size()));
            pos = end + 1;
        }
        return out;
    }

private:
    TempDir m_dir;
    ILog m_log;
};

}  // namespace korvel_test
