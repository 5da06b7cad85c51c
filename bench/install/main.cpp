// bench_install: one timed run of the installer's whole road, printed as one
// JSON line; bench/install.sh runs it RUNS times and sums the runs up.
//   bench_install run --package FILE --payload DIR [--mirrors N]
//                     [--mirror-options rate=B/s,...] [--timeout S]
//   bench_install selftest    checks what the run's figures rest on
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/install/installer_road.h"
#include "bench/install/selftest.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: bench_install run --package FILE --payload DIR [--mirrors N]\n"
                 "                         [--mirror-options rate=BYTES_PER_SEC,...]\n"
                 "                         [--timeout SECONDS]\n"
                 "       bench_install selftest\n");
    return 2;
}

bool ParseRun(int argc, char** argv, korvel_bench::RoadOptions& o) {
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string key = argv[i], value = argv[i + 1];
        if (key == "--package") {
            o.strPackage = value;
        } else if (key == "--payload") {
            o.strPayloadFolder = value;
        } else if (key == "--mirrors") {
            o.nMirrors = std::atoi(value.c_str());
        } else if (key == "--mirror-options") {
            o.strMirrorOptions = value;
        } else if (key == "--timeout") {
            o.nTimeoutSeconds = std::atoi(value.c_str());
        } else {
            return false;
        }
    }
    return argc % 2 == 0 && !o.strPackage.empty() && !o.strPayloadFolder.empty() &&
           o.nMirrors >= 1 && o.nMirrors <= 5 && o.nTimeoutSeconds > 0;
}

int Run(int argc, char** argv) {
    korvel_bench::RoadOptions options;
    if (!ParseRun(argc, argv, options)) {
        return Usage();
    }
    const korvel_bench::RoadResult result = korvel_bench::RunInstallerRoad(options);
    std::fprintf(stdout, "%s\n", korvel_bench::RoadResultJson(result).c_str());
    std::fflush(stdout);
    if (!result.bOk) {
        std::fprintf(stderr, "bench_install: %s\n", result.strError.c_str());
    }
    return result.bOk ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "run") == 0) {
        return Run(argc, argv);
    }
    if (argc == 2 && std::strcmp(argv[1], "selftest") == 0) {
        return korvel_bench::SelfTest();
    }
    return Usage();
}
