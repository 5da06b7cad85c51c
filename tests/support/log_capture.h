// The log's messages while a LogCapture lives, through the log's echo
// callback (one capture at a time: the log has one callback).
#pragma once

#include <string>
#include <vector>

namespace korvel_test {

class LogCapture {
public:
    LogCapture();  // starts empty
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Each message as written, newline included, in order.
    std::vector<std::string> Lines() const;
    std::string Text() const;  // the lines joined
    bool Contains(const std::string& message) const;
    int Count(const std::string& message) const;
};

}  // namespace korvel_test
