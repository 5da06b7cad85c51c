#include "bench/install/selftest.h"

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "bench/install/installer_road.h"
#include "bench/install/thread_clock.h"
#include "platform/folders.h"
#include "platform/system.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace korvel_bench {

namespace {

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
    const std::vector<int> found = FindThreadsNamed("bench-probe-wit");
    Expect(found.size() == 1 && found[0] == tid.load(), "the thread found by its 15-byte name");
    const double stat = ThreadCpuSeconds(tid.load());
    const double tick = 1.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
    Expect(stat >= used.load() - 3 * tick && stat <= used.load() + 3 * tick,
           "stat CPU seconds within three ticks of the thread's own clock");
    release = true;
    probe.join();
    // An ended thread's entry lingers a moment after the join; a thread id
    // above the kernel's limit never exists.
    Expect(ThreadCpuSeconds(std::numeric_limits<int>::max()) < 0,
           "a thread that does not exist reads negative");
    Expect(ProcessCpuSeconds() >= used.load() - 3 * tick,
           "the process's CPU seconds hold its threads'");
}

// A misread step would put the split of the road in the wrong place.
void CheckStepLabels() {
    auto is = [](const char* message, const char* label) {
        const char* got = StepLabel(message);
        return label ? got && std::strcmp(got, label) == 0 : got == nullptr;
    };
    Expect(is("Download_BeginDownload : OpenFile(1), FileSize(9), Mutex(1), File(x).\n",
              "transfers_begin"),
           "transfers begin");
    Expect(is("Download_BeginDownload : OpenFile failed, File(x).\n", nullptr),
           "a failed open is no step");
    Expect(is("Download_CheckFinish : Finish download.\n", "download_verified"), "verified");
    Expect(is("Download_CheckFinish : repair failed.\n", nullptr), "a failed repair is no step");
    Expect(is("Install File Result 0", "extraction_ends"), "extraction ends");
    Expect(is("Install File FAILED error code = 80004005, last error = 3.\n", nullptr),
           "a failed extraction is no step");
    Expect(is(" Install File Result 0", nullptr), "steps match at the start only");
}

// The installer's own files count only at the top of the program folder.
void CheckTreeBytes() {
    korvel_test::TempDir dir;
    CreateDirectoryPath(Utf8ToWide(dir.Sub("sub")));
    korvel_test::WriteFile(dir.Sub("a.dll"), std::string(1000, 'a'));
    korvel_test::WriteFile(dir.Sub("uninstall.exe"), std::string(300, 'u'));
    korvel_test::WriteFile(dir.Sub("uninstall.exe.bin"), std::string(4096, 'b'));
    korvel_test::WriteFile(dir.Sub("uninstall.list"), "a.dll\n");
    korvel_test::WriteFile(dir.Sub("sub/uninstall.exe"), std::string(20, 'p'));  // the product's
    Expect(TreeBytes(dir.path(), true) == 1020, "installer files left out at the top only");
    Expect(TreeBytes(dir.path(), false) == 1000 + 300 + 4096 + 6 + 20, "every file counted");
    Expect(TreeBytes(dir.Sub("missing"), false) == 0, "a missing folder holds nothing");
}

}  // namespace

int SelfTest() {
    CheckStatParsing();
    CheckNamedThread();
    CheckStepLabels();
    CheckTreeBytes();
    std::fprintf(stderr, "selftest: %s\n", g_failures == 0 ? "passed" : "FAILED");
    return g_failures == 0 ? 0 : 1;
}

}  // namespace korvel_bench
