// Faults of the installer's process and of its disks: a run killed in the
// middle of the download and started again, and a disk that fills up under
// the download or under the installation.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "platform/registry.h"
#include "tests/process/process_fixture.h"

using namespace korvel_process;

namespace {

const char kUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvel 12 (x64)";

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Bytes the file really holds on disk (the engine writes ranges at their
// offsets, so the size alone says little about a partial file).
int64_t AllocatedBytes(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_blocks) * 512 : -1;
}

// Files of the demo payload missing from `folder` or different there.
std::vector<std::string> PayloadDifferences(const std::string& folder) {
    namespace fs = std::filesystem;
    std::vector<std::string> wrong;
    const fs::path payload = KORVEL_DEMO_PAYLOAD_DIR;
    for (const auto& e : fs::recursive_directory_iterator(payload)) {
        if (!e.is_regular_file()) {
            continue;
        }
        const std::string relative = fs::relative(e.path(), payload).string();
        if (korvel_test::ReadFile(folder + "/" + relative) !=
            korvel_test::ReadFile(e.path().string())) {
            wrong.push_back(relative);
        }
    }
    return wrong;
}

int UninstallValueCount() {
    for (DWORD view : {DWORD(0), DWORD(KEY_WOW64_64KEY)}) {
        CMyRegKey key;
        if (key.Open(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_READ | view) == ERROR_SUCCESS) {
            RegKeyInfo info;
            key.QueryInfo(info);
            return static_cast<int>(info.nValues);
        }
    }
    return -1;
}

}  // namespace

namespace {

// The 1 MiB blocks of `partial` that equal the package's: what a resuming
// run may keep.
size_t ProvenBlocks(const std::string& partial, const std::string& package) {
    constexpr size_t kBlock = 1048576;
    size_t proven = 0;
    for (size_t off = 0; off < package.size(); off += kBlock) {
        const size_t n = std::min(kBlock, package.size() - off);
        proven += partial.size() >= off + n && partial.compare(off, n, package, off, n) == 0;
    }
    return proven;
}

}  // namespace

// SIGKILL while the package downloads leaves a partial package file; the
// next run keeps only the blocks it can prove, fetches the rest, trips over
// nothing else the dead run left, and completes the installation.
TEST_F(InstallerProcessTest, KilledDuringTheDownloadThenRestartedInstallsCleanly) {
    // Four fast mirrors and a slow fifth: the ranges of the first block come
    // in early while the slow ones hold the download open for seconds.
    StartMirrors(400000);
    SetMirrorRate(40000, 4);
    InstallerProcess* first = StartInstaller();
    ASSERT_NE(nullptr, first);
    ASSERT_NO_FATAL_FAILURE(ClickInstall(*first));
    ASSERT_TRUE(WaitFor(
        [&] { return ProvenBlocks(korvel_test::ReadFile(PackageFile()), m_package) > 0; }, 30000))
        << "no block of the package file came in";
    // The start report goes out on its own thread; the kill comes after it.
    WaitFor([&] { return !NewRunUuid({}).empty(); }, 10000);
    const std::string firstUuid = NewRunUuid({});

    const std::vector<pid_t> killed = first->KillEverything();
    EXPECT_EQ(SIGKILL, first->TermSignal());
    for (pid_t p : killed) {
        EXPECT_TRUE(WaitFor([p] { return !IsAlive(p); }, 5000)) << "pid " << p << " survived";
    }
    EXPECT_TRUE(GroupMembers(first->Pid()).empty());
    const std::string partial = korvel_test::ReadFile(PackageFile());
    ASSERT_FALSE(partial.empty());
    ASSERT_TRUE(partial != m_package) << "the download was complete before the kill";
    ASSERT_FALSE(firstUuid.empty()) << "the killed run sent no start report";
    EXPECT_EQ(1u, Reports().size()) << "a killed run sends nothing after its start report";

    const size_t proven = ProvenBlocks(partial, m_package);
    const uint64_t keptBytes = std::min<uint64_t>(proven * 1048576, m_package.size());
    const uint64_t servedBefore = MirrorBytesServed();
    SetMirrorRate(0);
    const size_t logFrom = InstallLog().size();
    InstallerProcess* second = StartInstaller();
    ASSERT_NE(nullptr, second);
    ASSERT_NO_FATAL_FAILURE(ClickInstall(*second));
    ASSERT_TRUE(WaitForLog("Finish(AfterInstall)", 90000, logFrom)) << InstallLog().substr(logFrom);
    ASSERT_NO_FATAL_FAILURE(CloseAndWaitForExit(*second));
    EXPECT_TRUE(second->ExitedNormally()) << "signal " << second->TermSignal();
    EXPECT_EQ(0, second->ExitCode());

    const std::string log = InstallLog().substr(logFrom);
    EXPECT_TRUE(Contains(log, "Download Finish Result : succeed(5).")) << log;
    // Only what was missing crosses the network again (split ranges overlap
    // and an aborted range may have had bytes in flight: a bounded excess).
    const size_t blocks = (m_package.size() + 1048575) / 1048576;
    EXPECT_TRUE(Contains(log, "Download resume : kept " + std::to_string(proven) + " of " +
                                  std::to_string(blocks) + " blocks."))
        << log;
    const uint64_t served = MirrorBytesServed() - servedBefore;
    const uint64_t missing = m_package.size() - keptBytes;
    printf("  second run: kept %zu of %zu blocks, mirrors served %llu bytes for %llu missing\n",
           proven, blocks, static_cast<unsigned long long>(served),
           static_cast<unsigned long long>(missing));
    EXPECT_GE(served, missing);
    EXPECT_LE(served, missing + 10 * 1048576);
    EXPECT_TRUE(korvel_test::ReadFile(PackageFile()) == m_package)
        << "the package in Downloads differs from the served one";
    EXPECT_EQ(std::vector<std::string>{}, PayloadDifferences(ProgramFolder()));
    EXPECT_GT(AllocatedBytes(ProgramFolder() + "/uninstall.exe"), 0);
    EXPECT_EQ(17, UninstallValueCount());

    const std::string secondUuid = NewRunUuid({firstUuid});
    ASSERT_FALSE(secondUuid.empty());
    const std::string final = ReportOf(secondUuid, "success");
    EXPECT_FALSE(final.empty()) << "no success report of the second run";
    EXPECT_TRUE(Contains(final, "\"download_last_error\":\"NoError\"")) << final;
    for (const StoredReport& r : Reports()) {
        EXPECT_TRUE(r.strUuid != firstUuid || r.strStatus == "start") << r.strDocument;
    }
    EXPECT_TRUE(UploadedLogs().empty());
}

// The Downloads folder on a file system far smaller than the package: the
// download fails (never a success on a short file), the failure page shows,
// the final report says so and the log follows it; the window still closes.
TEST_F(InstallerProcessTest, FullDownloadsDiskFailsTheDownloadCleanly) {
    auto disk = std::make_unique<TmpfsMount>();
    std::string why;
    if (!disk->Mount(DownloadsFolder(), "size=1m,mode=0755", why)) {
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << why << ")";
    }
    m_mounts.push_back(std::move(disk));
    StartMirrors(0);
    InstallerProcess* setup = StartInstaller();
    ASSERT_NE(nullptr, setup);
    ASSERT_NO_FATAL_FAILURE(ClickInstall(*setup));
    ASSERT_TRUE(WaitForLog("Download Failed. Show retry.", 90000)) << InstallLog();
    EXPECT_TRUE(setup->Running()) << "the installer ended on the failure";
    const std::string log = InstallLog();
    EXPECT_TRUE(Contains(log, "Download Finish Result : failed(4).")) << log;
    EXPECT_FALSE(Contains(log, "Begin install...")) << log;

    // The close button is hidden while the install runs; that it closes the
    // window now shows the page has left the download for the failure page.
    ASSERT_NO_FATAL_FAILURE(CloseAndWaitForExit(*setup));
    EXPECT_TRUE(setup->ExitedNormally()) << "signal " << setup->TermSignal();
    EXPECT_EQ(0, setup->ExitCode());

    const std::string uuid = NewRunUuid({});
    const std::string final = ReportOf(uuid, "downLoad_fail");
    ASSERT_FALSE(final.empty()) << "no downLoad_fail report";
    EXPECT_TRUE(Contains(final, "\"download_last_error\":\"DownloadExeError\"")) << final;
    for (const char* member : {"\"curl_error\"", "\"last_fail_link\"", "\"repair_link\""}) {
        EXPECT_TRUE(Contains(final, member)) << member << " in " << final;
    }
    const std::vector<StoredLog> logs = UploadedLogs();
    ASSERT_EQ(1u, logs.size());
    EXPECT_EQ("downLoad_fail", logs[0].strLogType);
    EXPECT_EQ(uuid, logs[0].strUuid);
    // Uploaded after the failure: the copy holds the failure and the close.
    const std::string uploaded = korvel_test::ReadFile(logs[0].strFile);
    EXPECT_TRUE(Contains(uploaded, "Download Failed. Show retry.")) << uploaded;
    EXPECT_TRUE(Contains(uploaded, "OnBtnClose(user close)")) << uploaded;
}

// The program folder's disk has room at the free-space check but fills up
// before the payload is extracted (another program wrote to it): the user
// gets "Install Failed!", the report is "install_fail" with the log.
TEST_F(InstallerProcessTest, FullProgramDiskFailsTheInstallCleanly) {
    auto disk = std::make_unique<TmpfsMount>();
    std::string why;
    // Just above the 256 MB the check asks for; tmpfs takes memory only for
    // what is written.
    if (!disk->Mount(ProgramFiles(), "size=300m,mode=0755", why)) {
        GTEST_SKIP() << "cannot mount a tmpfs here (" << why << ")";
    }
    TmpfsMount& programDisk = *disk;
    m_mounts.push_back(std::move(disk));
    StartMirrors(400000);  // a few seconds of download to shrink the disk in
    InstallerProcess* setup = StartInstaller();
    ASSERT_NE(nullptr, setup);
    ASSERT_NO_FATAL_FAILURE(ClickInstall(*setup));
    ASSERT_TRUE(Contains(InstallLog(), "FreeSpace Info : ")) << InstallLog();
    ASSERT_TRUE(programDisk.Remount("size=1m", why)) << why;
    ASSERT_FALSE(Contains(InstallLog(), "Begin depack file.")) << "too late to fill the disk";

    // The failure box holds the worker before it logs the install's result,
    // so that line without a box means no failure was shown.
    std::string box;
    WaitFor(
        [&] {
            box = FindWindow(setup->Pid(), "ERROR");
            return !box.empty() || Contains(InstallLog(), "Install File Result");
        },
        60000);
    ASSERT_FALSE(box.empty()) << "no failure message; log: " << InstallLog();
    EXPECT_FALSE(Contains(InstallLog(), "Finish(AfterInstall)"));
    ClickMessageBoxOk(box);
    ASSERT_TRUE(WaitForLog("Install File FAILED error code = 80004005, last error = 10008.", 20000))
        << InstallLog();
    ASSERT_NO_FATAL_FAILURE(CloseAndWaitForExit(*setup));
    EXPECT_TRUE(setup->ExitedNormally()) << "signal " << setup->TermSignal();
    EXPECT_EQ(0, setup->ExitCode());

    const std::string log = InstallLog();
    EXPECT_TRUE(Contains(log, "Download Finish Result : succeed(5).")) << log;
    EXPECT_FALSE(Contains(log, "UpdateCtrlStatus(AfterInstall)")) << log;
    EXPECT_EQ(-1, UninstallValueCount()) << "a failed install registered itself";
    EXPECT_FALSE(PayloadDifferences(ProgramFolder()).empty()) << "the whole payload fitted";
    const std::string uuid = NewRunUuid({});
    const std::string final = ReportOf(uuid, "install_fail");
    ASSERT_FALSE(final.empty()) << "no install_fail report";
    EXPECT_TRUE(Contains(final, "\"install_last_error\":\"UnzipFileError\"")) << final;
    const std::vector<StoredLog> logs = UploadedLogs();
    ASSERT_EQ(1u, logs.size());
    EXPECT_EQ("install_fail", logs[0].strLogType);
    EXPECT_TRUE(Contains(korvel_test::ReadFile(logs[0].strFile), "Install File FAILED"));
}
