// bench_install: one timed run of the installer's whole road, printed as one
// JSON line; bench/install.sh runs it RUNS times and sums the runs up.
//   bench_install run --package FILE --payload DIR [--mirrors N] [--rate B/s] [--timeout S]
//   bench_install selftest    checks the thread clock the run relies on
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <thread>

#include "bench/install/installer_road.h"
#include "bench/install/thread_clock.h"
#include "platform/system.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: bench_install run --package FILE --payload DIR [--mirrors N]\n"
                 "                         [--rate BYTES_PER_SEC] [--timeout SECONDS]\n"
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
        } else if (key == "--rate") {
            o.nRateBytesPerSec = std::strtoull(value.c_str(), nullptr, 10);
        } else if (key == "--timeout") {
            o.nTimeoutSeconds = std::atoi(value.c_str());
        } else {
            return false;
        }
    }
    return argc % 2 == 0 && !o.strPackage.empty() && !o.strPayloadFolder.empty() &&
           o.nMirrors >= 1 && o.nMirrors <= 5 && o.nRateBytesPerSec > 0 && o.nTimeoutSeconds > 0;
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

int g_failures = 0;

void Expect(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "selftest: FAILED %s\n", what);
        ++g_failures;
    }
}

double OwnCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void CheckStatParsing() {
    using korvel_bench::ParseStatCpuTicks;
    // Fields after the name: state ppid pgrp session tty tpgid flags minflt
    // cminflt majflt cmajflt utime stime ...
    Expect(ParseStatCpuTicks("42 (paint) S 1 1 1 0 -1 4194560 10 0 0 0 7 5 0 0 20 0") == 12,
           "plain stat line");
    Expect(ParseStatCpuTicks("42 (a) (b) c) R 1 1 1 0 -1 0 0 0 0 0 300 25 0 0") == 325,
           "name with spaces and parentheses");
    Expect(ParseStatCpuTicks("42 (x) S 1 1 1 0 -1 0 0 0 0 0 7") == -1, "stime missing");
    Expect(ParseStatCpuTicks("42 (x) S 1 1 1 0 -1 0 0 0 0 0 7x 5") == -1, "utime not a number");
    Expect(ParseStatCpuTicks("") == -1, "empty line");
}

// A named thread that burns CPU is found by its name, the stat clock agrees
// with the thread's own CPU clock, and a thread that does not exist reads
// negative.
void CheckNamedThread() {
    std::atomic<int> tid{0};
    std::atomic<double> used{0};
    std::atomic<bool> release{false};
    std::thread probe([&] {
        NameCurrentThread("bench-probe-with-a-long-name");
        volatile unsigned sink = 0;
        while (OwnCpuSeconds() < 0.3) {
            sink = sink + 1;
        }
        used = OwnCpuSeconds();
        tid = static_cast<int>(syscall(SYS_gettid));
        while (!release.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    while (tid.load() == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const std::vector<int> found = korvel_bench::FindThreadsNamed("bench-probe-wit");
    Expect(found.size() == 1 && found[0] == tid.load(), "the thread found by its 15-byte name");
    const double stat = korvel_bench::ThreadCpuSeconds(tid.load());
    const double tick = 1.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
    Expect(stat >= used.load() - 3 * tick && stat <= used.load() + 3 * tick,
           "stat CPU seconds within three ticks of the thread's own clock");
    release = true;
    probe.join();
    // An ended thread's entry lingers a moment after the join; a thread id
    // above the kernel's limit never exists.
    Expect(korvel_bench::ThreadCpuSeconds(std::numeric_limits<int>::max()) < 0,
           "a thread that does not exist reads negative");
    Expect(korvel_bench::ProcessCpuSeconds() >= used.load() - 3 * tick,
           "the process's CPU seconds hold its threads'");
}

int SelfTest() {
    CheckStatParsing();
    CheckNamedThread();
    std::fprintf(stderr, "selftest: %s\n", g_failures == 0 ? "passed" : "FAILED");
    return g_failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "run") == 0) {
        return Run(argc, argv);
    }
    if (argc == 2 && std::strcmp(argv[1], "selftest") == 0) {
        return SelfTest();
    }
    return Usage();
}
