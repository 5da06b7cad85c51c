// The demo product's main application and repair tool (the build installs
// this program under the product's executable names). It records how it was
// started, so the demo and the end-to-end tests can show the installer's
// hand-off, and exits.
//
// Record file: $KORVEL_DEMO_RECORD, else $XDG_STATE_HOME/korvel-demo/launches.jsonl
// (~/.local/state when unset). One JSON object per start:
//   {"program":"Korvel64.exe","args":["/install","/ID:..."],"cwd":"..."}
// KORVEL_DEMO_STAY_SECONDS=N keeps the program running N seconds (tests of
// the installer's wait).
#include <unistd.h>

#include <sys/stat.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "data/json_object.h"

namespace {

void MakeParents(const std::string& path) {
    for (size_t pos = path.find('/', 1); pos != std::string::npos; pos = path.find('/', pos + 1)) {
        mkdir(path.substr(0, pos).c_str(), 0755);
    }
}

std::string RecordPath() {
    if (const char* p = std::getenv("KORVEL_DEMO_RECORD"); p && *p) {
        return p;
    }
    if (const char* s = std::getenv("XDG_STATE_HOME"); s && *s) {
        return std::string(s) + "/korvel-demo/launches.jsonl";
    }
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "/tmp") + "/.local/state/korvel-demo/launches.jsonl";
}

}  // namespace

int main(int argc, char** argv) {
    std::string program = argv[0];
    if (size_t slash = program.rfind('/'); slash != std::string::npos) {
        program = program.substr(slash + 1);
    }
    std::string line = "{\"program\":" + JsonQuoted(program) + ",\"args\":[";
    for (int i = 1; i < argc; ++i) {
        line += (i > 1 ? "," : "") + JsonQuoted(argv[i]);
    }
    char cwd[4096] = "";
    if (!getcwd(cwd, sizeof cwd)) {
        cwd[0] = '\0';
    }
    line += "],\"cwd\":" + JsonQuoted(cwd) + "}\n";

    const std::string path = RecordPath();
    MakeParents(path);
    if (FILE* f = std::fopen(path.c_str(), "a")) {
        std::fputs(line.c_str(), f);
        std::fclose(f);
    } else {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", program.c_str(), path.c_str(),
                     std::strerror(errno));
    }
    if (const char* stay = std::getenv("KORVEL_DEMO_STAY_SECONDS")) {
        std::this_thread::sleep_for(std::chrono::seconds(std::atoi(stay)));
    }
    return 0;
}
