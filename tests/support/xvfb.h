// A private X server for window tests: Xvfb on a free display (chosen by the
// server through -displayfd), DISPLAY pointed at it while the session lives.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "tests/support/test_support.h"

namespace korvel_test {

class XvfbSession {
public:
    XvfbSession();   // starts the server; Started() says whether it came up
    ~XvfbSession();  // stops it and restores DISPLAY
    XvfbSession(const XvfbSession&) = delete;
    XvfbSession& operator=(const XvfbSession&) = delete;

    bool Started() const { return m_pid > 0 && !m_display.empty(); }
    const std::string& Display() const { return m_display; }  // ":N"

private:
    pid_t m_pid = -1;
    std::string m_display;
    std::unique_ptr<ScopedEnv> m_env;
};

}  // namespace korvel_test
