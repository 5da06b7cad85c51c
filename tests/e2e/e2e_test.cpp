#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

#include "app/product_facts_app.h"
#include "app/product_info.h"
#include "install/package.h"
#include "install/registration.h"
#include "platform/folders.h"
#include "platform/log.h"
#include "platform/registry.h"
#include "platform/resource.h"
#include "platform/text.h"
#include "tests/e2e/e2e_fixture.h"
#include "tools/korvel-pack/pack.h"

using namespace korvel_e2e;

namespace {

constexpr int kDesktopX = 60, kDesktopY = 511;
constexpr int kEditX = 200, kEditY = 473;

const std::string kUninstallKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvel 12 (x64)";

bool HasStatus(const std::vector<StoredRun>& runs, const std::string& status) {
    for (const StoredRun& r : runs) {
        if (r.status == status) {
            return true;
        }
    }
    return false;
}

// The run's final report, when it has arrived.
std::optional<StoredRun> Final(const std::vector<StoredRun>& runs) {
    if (runs.empty() || runs.back().status == "start") {
        return std::nullopt;
    }
    return runs.back();
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Each line appears, in this order.
void ExpectInOrder(const std::string& log, const std::vector<std::string>& lines) {
    size_t pos = 0;
    for (const std::string& line : lines) {
        const size_t at = log.find(line, pos);
        ASSERT_NE(std::string::npos, at) << "missing or out of order: " << line;
        pos = at + line.size();
    }
}

// Values of the uninstall entry in whichever registry view holds it.
int UninstallValueCount() {
    for (DWORD view : {DWORD(0), KEY_WOW64_64KEY}) {
        CMyRegKey key;
        if (key.Open(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), KEY_READ | view) == ERROR_SUCCESS) {
            RegKeyInfo info;
            key.QueryInfo(info);
            return static_cast<int>(info.nValues);
        }
    }
    return -1;
}

void WaitForStage(SetupDlg& d, int stage, int timeoutMs) {
    ASSERT_TRUE(InstallerTest::WaitFor([&] { return d.GetInstallStage() == stage; }, timeoutMs))
        << "stage " << d.GetInstallStage() << " instead of " << stage;
}

}  // namespace

// Nothing clicked: the countdown starts the install, which completes.
TEST_F(InstallerTest, CountdownInstallsTheProduct) {
    StartMirrors(m_package, [](int, korvel_mirror::MirrorSettings& s) {
        s.rateBytesPerSec = 100000;  // long enough to see the download
    });
    RunInstaller([&](SetupDlg& d) {
        Screenshot(d.GetHwnd(), "install-page");
        ASSERT_TRUE(WaitFor([&] { return d.GetInstallStage() == kStageRunning; }, 45000));
        EXPECT_LT(d.GetCountdown(), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        Screenshot(d.GetHwnd(), "downloading");
        ASSERT_TRUE(WaitFor([&] { return d.GetProgressPhase() == kPhaseInstall; }, 120000));
        Screenshot(d.GetHwnd(), "installing");
        WaitForStage(d, kStageFinished, 120000);
        ASSERT_TRUE(WaitFor([&] { return d.GetProgressPhase() == kPhaseDone; }, 30000));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        Screenshot(d.GetHwnd(), "finished");
        Click(d.GetHwnd(), kCloseX, kCloseY);
    });

    const std::string downloads = Home() + "/Downloads/Korvel/Korvel12/";
    EXPECT_TRUE(PathFileExists(Utf8ToWide(downloads + "Korvel12_x64(12.0.0.2).exe")));
    const std::string program = ProgramFolder();
    for (const char* f : {"Korvel64.exe", "KorRepair.exe", "uninstall.exe", "uninstall.exe.bin",
                          "docs/manual.html", "data/effects0.pak"}) {
        EXPECT_TRUE(PathFileExists(Utf8ToWide(program + "/" + f))) << f;
    }
    EXPECT_EQ(4096u, korvel_test::ReadFile(program + "/uninstall.exe.bin").size());
    EXPECT_TRUE(PathFileExists(Utf8ToWide(Home() + "/Desktop/Korvel 12 (x64).desktop")));
    EXPECT_EQ(17, UninstallValueCount());

    const auto launches = Launches();
    ASSERT_EQ(2u, launches.size());
    EXPECT_EQ("KorRepair.exe", launches[0][0]);
    // "/install /add_plan /ID:<id> /new  /time:<s> " split as the program sees it.
    ASSERT_EQ(6u, launches[1].size());
    EXPECT_EQ("Korvel64.exe", launches[1][0]);
    EXPECT_EQ("/install", launches[1][1]);
    EXPECT_EQ("/add_plan", launches[1][2]);  // the "Join" box starts checked
    EXPECT_EQ(36u, launches[1][3].size());   // "/ID:" + 32 hex digits
    EXPECT_EQ("/ID:", launches[1][3].substr(0, 4));
    EXPECT_EQ("/new", launches[1][4]);
    EXPECT_EQ("/time:", launches[1][5].substr(0, 6));

    const auto runs = Reports();
    ASSERT_TRUE(HasStatus(runs, "start"));
    const std::optional<StoredRun> final = Final(runs);
    ASSERT_TRUE(final.has_value());
    EXPECT_EQ("success", final->status);
    EXPECT_TRUE(Contains(final->json, "\"auto_install\":\"true\"")) << final->json;
    EXPECT_EQ(0, StoredLogCount());
    EXPECT_EQ(1u, OpenedUrls().size());  // the finish page of a new installation

    ExpectInOrder(InstallLog(),
                  {"Setup Init. Version 1.0.6.0", "SetupDlg::OnBtnInstall, eInstall(0).",
                   "OnBtnInstall(OnInstall)", "Download Finish Result : succeed(5).",
                   "Begin install...", "Do Install File : ", "Begin depack file.",
                   "Install File Result 0", "Create Icons for x64", "Refresh Icons Finish.",
                   "ShowFinishWebPage bNewFlag(1)", "UpdateCtrlStatus(AfterInstall)",
                   "Finish(AfterInstall)", "OnBtnClose(user close)", "Exit app."});
}

// Custom panel, options changed by clicks and typing, then the product is
// started from the finished page.
TEST_F(InstallerTest, ClickRoadWithChosenFolderAndNoDesktopShortcut) {
    StartMirrors(m_package);
    const std::string chosen = Home() + "/Apps/Korvel 12";
    RunInstaller([&](SetupDlg& d) {
        HWND h = d.GetHwnd();
        ASSERT_TRUE(OpenCustomPanel(h, kCustomX, kCustomY));
        Screenshot(h, "custom-panel");
        const int counter = d.GetCountdown();
        std::this_thread::sleep_for(std::chrono::milliseconds(2200));
        EXPECT_EQ(counter, d.GetCountdown()) << "the countdown must stop for good";

        Click(h, kDesktopX, kDesktopY);
        Click(h, kEditX, kEditY);
        HWND edit = GetDlgItem(h, kCmdFolderEdit);
        ASSERT_NE(nullptr, edit);
        InjectKey(edit, VK_END);
        for (int i = 0; i < 300; ++i) {
            InjectKey(edit, VK_BACK);
        }
        InjectText(edit, Utf8ToWide(chosen).c_str());
        ASSERT_TRUE(WaitFor(
            [&] {
                return GetWindowTextLengthW(edit) == static_cast<int>(Utf8ToWide(chosen).size());
            },
            5000));
        Click(h, kMainX, kMainY);
        WaitForStage(d, kStageFinished, 120000);
        ASSERT_TRUE(WaitFor([&] { return d.GetProgressPhase() == kPhaseDone; }, 30000));
        Click(h, kMainX, kMainY);  // "Start Korvel 12"
    });

    EXPECT_TRUE(PathFileExists(Utf8ToWide(chosen + "/Korvel64.exe")));
    EXPECT_FALSE(PathFileExists(Utf8ToWide(Home() + "/Desktop/Korvel 12 (x64).desktop")));
    const auto launches = Launches();
    ASSERT_FALSE(launches.empty());
    EXPECT_EQ("Korvel64.exe", launches.back()[0]);
    ASSERT_EQ(2u, launches.back().size());
    EXPECT_EQ("--installmode", launches.back()[1]);

    const std::optional<StoredRun> final = Final(Reports());
    ASSERT_TRUE(final.has_value());
    EXPECT_EQ("success", final->status);
    for (const char* member : {"\"create_desktop\":\"false\"", "\"change_install_path\":\"true\"",
                               "\"auto_install\":\"false\"", "\"run_app\":\"true\""}) {
        EXPECT_TRUE(Contains(final->json, member)) << member << " in " << final->json;
    }
}

// No mirror answers: the retry page, then a closed window reports the failure
// and uploads the log.
TEST_F(InstallerTest, DownloadFailureIsReportedWithTheLog) {
    StartMirrors(m_package, [](int, korvel_mirror::MirrorSettings& s) { s.refuse = true; });
    RunInstaller([&](SetupDlg& d) {
        Click(d.GetHwnd(), kMainX, kMainY);
        WaitForStage(d, kStageFailed, 120000);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        Screenshot(d.GetHwnd(), "download-failed");
        Click(d.GetHwnd(), kCloseX, kCloseY);
    });
    EXPECT_TRUE(Contains(InstallLog(), "Download Failed. Show retry."));
    const std::optional<StoredRun> final = Final(Reports());
    ASSERT_TRUE(final.has_value());
    EXPECT_EQ("downLoad_fail", final->status);
    for (const char* member : {"\"curl_error\"", "\"last_fail_link\"", "\"repair_link\""}) {
        EXPECT_TRUE(Contains(final->json, member)) << member << " in " << final->json;
    }
    EXPECT_EQ(1, StoredLogCount());
}

// The retry button starts a fresh download once the mirrors are back.
TEST_F(InstallerTest, TryAgainCompletesOnceMirrorsAreBack) {
    StartMirrors(m_package, [](int, korvel_mirror::MirrorSettings& s) { s.refuse = true; });
    RunInstaller([&](SetupDlg& d) {
        Click(d.GetHwnd(), kMainX, kMainY);
        WaitForStage(d, kStageFailed, 120000);
        StopMirrors();  // a refusing mirror never starts listening: bring up fresh ones
        StartMirrors(m_package);
        Click(d.GetHwnd(), kMainX, kMainY);  // "Try Again"
        WaitForStage(d, kStageFinished, 120000);
        Click(d.GetHwnd(), kCloseX, kCloseY);
    });
    EXPECT_TRUE(PathFileExists(Utf8ToWide(ProgramFolder() + "/Korvel64.exe")));
    const std::optional<StoredRun> final = Final(Reports());
    ASSERT_TRUE(final.has_value());
    EXPECT_EQ("success", final->status);
}

// A package whose payload is damaged (its digests match, so the download
// verifies): the installation fails, the user's own file survives.
TEST_F(InstallerTest, CorruptPayloadFailsWithoutLosingUserFiles) {
    const std::string userFile = ProgramFolder() + "/my-notes.txt";
    CreateFolderChain(Utf8ToWide(ProgramFolder()));
    korvel_test::WriteFile(userFile, "mine");
    ASSERT_EQ("mine", korvel_test::ReadFile(userFile));
    const std::function<void()> useBadPackage = ServeCorruptPayload();
    RunInstaller(
        [&](SetupDlg& d) {
            Click(d.GetHwnd(), kMainX, kMainY);
            WaitForStage(d, kStageFinished, 120000);
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            Screenshot(d.GetHwnd(), "install-failed");
            Click(d.GetHwnd(), kCloseX, kCloseY);
        },
        useBadPackage);

    EXPECT_EQ(std::vector<std::wstring>{L"Install Failed!"}, MessageBoxes());
    EXPECT_EQ("mine", korvel_test::ReadFile(userFile));
    const std::optional<StoredRun> final = Final(Reports());
    ASSERT_TRUE(final.has_value());
    EXPECT_EQ("install_fail", final->status);
    EXPECT_EQ(1, StoredLogCount());
    EXPECT_TRUE(Contains(InstallLog(), "Install File FAILED error code = "));
}

// Closing while the package downloads.
TEST_F(InstallerTest, ClosingDuringTheDownloadReportsTheCancel) {
    StartMirrors(m_package,
                 [](int, korvel_mirror::MirrorSettings& s) { s.rateBytesPerSec = 20000; });
    RunInstaller([&](SetupDlg& d) {
        Click(d.GetHwnd(), kMainX, kMainY);
        ASSERT_TRUE(WaitFor([&] { return Contains(InstallLog(), "Url : "); }, 30000));
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        // The close button is hidden while the install runs: the desktop's close.
        PostMessageW(d.GetHwnd(), WM_CLOSE, 0, 0);
        ASSERT_TRUE(WaitFor([&] { return Final(Reports()).has_value(); }, 60000));
        StopMirrors();  // lets the abandoned download end
    });
    EXPECT_EQ("donwload_cancel", Final(Reports())->status);
    EXPECT_EQ(0, StoredLogCount());
}

// Closing before anything was installed.
TEST_F(InstallerTest, ClosingBeforeTheInstallReportsCancelWithoutUpload) {
    StartMirrors(m_package);
    RunInstaller([&](SetupDlg& d) { Click(d.GetHwnd(), kCloseX, kCloseY); });
    const std::optional<StoredRun> final = Final(Reports());
    ASSERT_TRUE(final.has_value());
    EXPECT_EQ("cancel", final->status);
    EXPECT_EQ(0, StoredLogCount());
    EXPECT_TRUE(Launches().empty());
}

// An update over an installation that exists: no finish page, the user's
// files in the folder stay.
TEST_F(InstallerTest, UpdateKeepsUserFilesAndOpensNoPage) {
    const std::string packagePath = std::string(KORVEL_DEMO_PACKAGE_DIR) + "/Korvel12_x64.exe";
    const std::wstring folder = Utf8ToWide(ProgramFolder());
    CreateFolderChain(folder);
    ASSERT_EQ(0, InstallFile(Utf8ToWide(packagePath), folder, [](int, int, int) { return 1; }));
    PackageHeader header{};
    ASSERT_EQ(S_OK, ReadPackageHeader(Utf8ToWide(packagePath).c_str(), header));
    WriteUninstallEntry(header, MergeHeaderFacts(MakeInstallFacts(*GetProductInfo()), header), 3);
    const std::string userFile = ProgramFolder() + "/docs/my-own-notes.txt";
    korvel_test::WriteFile(userFile, "keep me");

    StartMirrors(m_package);
    RunInstaller([&](SetupDlg& d) {
        Click(d.GetHwnd(), kMainX, kMainY);
        WaitForStage(d, kStageFinished, 120000);
        Click(d.GetHwnd(), kCloseX, kCloseY);
    });
    EXPECT_EQ("keep me", korvel_test::ReadFile(userFile));
    EXPECT_TRUE(Contains(InstallLog(), "New : 0"));
    EXPECT_TRUE(OpenedUrls().empty());
    const std::optional<StoredRun> final = Final(Reports());
    ASSERT_TRUE(final.has_value());
    EXPECT_EQ("success", final->status);
}
