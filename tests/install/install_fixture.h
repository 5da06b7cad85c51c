// Helpers of the installation tests: event recording, payloads and packages
// built in memory (and the shared log capture).
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "install/package.h"
#include "install/product_facts.h"
#include "tests/support/log_capture.h"

namespace korvel_test {

// The install callback's events in order.
struct EventLog {
    std::vector<std::pair<int, int>> events;
    InstallCallback Callback() {
        return [this](int e, int v, int) {
            events.emplace_back(e, v);
            return 1;
        };
    }
};

// One archive entry for RawArchive: a file (content), a folder, or a symlink.
struct RawEntry {
    std::string name;
    char type = 'f';      // 'f' file, 'd' folder, 'l' symlink, 'h' hard link
    std::string content;  // file data or link target
    int mode = 0644;
};
// A 7z archive with exactly these entries, unchecked (hostile input for tests).
std::string RawArchive(const std::vector<RawEntry>& entries);

InstallProductFacts KorvelFacts(bool x64);
// A package around the payload bytes (header from the facts).
std::string PackageAround(const std::string& payload, const std::string& uninstaller,
                          bool x64 = true, bool headerLast = false);

// A command line run through the shell: exit status (-1 when it did not
// exit) and its standard output; standard error goes along when asked.
struct ToolRun {
    int status = -1;
    std::string out;
};
ToolRun RunCommand(const std::string& command, bool withStderr = false);
// The text single-quoted for the shell.
std::string ShellQuote(const std::string& text);
// korvel-pack with the (already quoted) arguments; `environment` goes in front
// of the command, e.g. "env -u LANG LC_ALL=C".
ToolRun RunPack(const std::string& args, const std::string& environment = "",
                bool withStderr = false);

// Files below a folder ("/"-separated relative names), for comparing trees.
std::vector<std::string> ListFiles(const std::string& folder);
// Every path below a folder with its type and mode bits, a file's size and a
// hash of its content, and with times its whole-second modification time.
std::map<std::string, std::string> DescribeTree(const std::string& folder, bool withTimes);

}  // namespace korvel_test
