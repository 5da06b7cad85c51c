#include "tests/support/log_capture.h"

#include <algorithm>
#include <mutex>

#include "platform/log.h"

namespace korvel_test {

namespace {

// Messages arrive on whichever thread writes the log.
std::mutex g_linesLock;
std::vector<std::string> g_lines;

int Collect(const char* message) {
    std::lock_guard<std::mutex> lock(g_linesLock);
    g_lines.push_back(message);
    return 0;
}

}  // namespace

LogCapture::LogCapture() {
    {
        std::lock_guard<std::mutex> lock(g_linesLock);
        g_lines.clear();
    }
    ILog::GetInstance()->SetLogCallback(&Collect);
}

LogCapture::~LogCapture() {
    ILog::GetInstance()->SetLogCallback(nullptr);
}

std::vector<std::string> LogCapture::Lines() const {
    std::lock_guard<std::mutex> lock(g_linesLock);
    return g_lines;
}

std::string LogCapture::Text() const {
    std::string text;
    for (const std::string& line : Lines())
        text += line;
    return text;
}

bool LogCapture::Contains(const std::string& message) const {
    return Count(message) > 0;
}

int LogCapture::Count(const std::string& message) const {
    const std::vector<std::string> lines = Lines();
    return static_cast<int>(std::count(lines.begin(), lines.end(), message));
}

}  // namespace korvel_test
