// Stand-in for the installed main application: appends its arguments (one
// line, separated by '|') to $KORVEL_FAKE_APP_RECORD and then stays alive for
// $KORVEL_FAKE_APP_SECONDS seconds (0 when unset); exits with code 7.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (const char* record = getenv("KORVEL_FAKE_APP_RECORD")) {
        std::string line;
        for (int i = 1; i < argc; ++i)
            line += std::string(i > 1 ? "|" : "") + argv[i];
        if (FILE* f = fopen(record, "a")) {
            fprintf(f, "%s\n", line.c_str());
            fclose(f);
        }
    }
    const char* seconds = getenv("KORVEL_FAKE_APP_SECONDS");
    if (seconds)
        sleep(static_cast<unsigned>(atoi(seconds)));
    return 7;
}
