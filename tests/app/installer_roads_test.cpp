// Installer steps off the main road, without a window: the finish address per
// kind of installation, the hand-off's logging, the product data folder's
// reset, the uninstall slots, and the workflow's stage machine.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <thread>

#include "app/korvel_setup_dlg.h"
#include "app/product_facts_app.h"
#include "app/product_info.h"
#include "app/progress_painter.h"
#include "app/setup_workflow.h"
#include "download/downloader.h"
#include "install/handoff.h"
#include "install/install_record.h"
#include "install/registration.h"
#include "lang/lang.h"
#include "platform/folders.h"
#include "platform/log.h"
#include "platform/resource.h"
#include "platform/text.h"
#include "report/machine_identity.h"
#include "resources/resources.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using korvel_test::ReadFile;
using korvel_test::WriteFile;

// The product's dialog with a chosen record, driven without a window.
class DialogProbe : public KorvelSetupDlg {
public:
    DialogProbe() : KorvelSetupDlg(GetProductInfo()) {}
    void UseRecord(bool x64, const std::string& version) {
        PackageHeader header = MakePackageHeader(MakeInstallFacts(*m_product));
        header.nX64 = x64 ? 1 : 0;
        SetHeaderText(header.szVersion, version);
        Workflow().SetHeader(header);
    }
};

// A sandbox home whose URL opener records what the installer opens.
class WindowlessRoads : public ::testing::Test {
protected:
    WindowlessRoads() { korvel_test::PrepareInstallerHome(m_sandbox, m_env); }
    std::string Home() const { return m_sandbox.home(); }

    // The addresses opened so far, once `count` of them are recorded.
    std::vector<std::string> OpenedUrls(size_t count) const {
        std::vector<std::string> urls;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        do {
            urls.clear();
            std::istringstream in(ReadFile(Home() + "/opened-urls.txt"));
            for (std::string line; std::getline(in, line);) {
                urls.push_back(line);
            }
        } while (urls.size() < count && std::chrono::steady_clock::now() < end &&
                 (std::this_thread::sleep_for(std::chrono::milliseconds(50)), true));
        return urls;
    }

    korvel_test::SandboxHome m_sandbox;
    std::vector<std::unique_ptr<korvel_test::ScopedEnv>> m_env;
};

using korvel_test::LogCapture;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct FinishCase {
    const char* name;
    bool x64;
    const char* previousEntry;  // uninstall entry of the earlier generation, or ""
    const char* scheme;
    const char* query;  // the page's own parameters, after client_m
};

const FinishCase kFinishCases[] = {
    {"New64", true, "", "https://",
     "s=korvel12&platform=x64&ad=korvel12_client_x64_thankyou&downloadmode=1&v="},
    {"New32", false, "", "http://", "s=korvel12&ad=korvel12_client_x86_thankyou&downloadmode=1&v="},
    {"Update64", true, "Korvel 11", "http://",
     "s=korvel12_update&platform=x64&ad=korvel12_client_x64_thankyou&downloadmode=1&v="},
    {"Update32", false, "Korvel 11", "http://",
     "s=korvel12_update&ad=korvel12_client_x86_thankyou&downloadmode=1&v="},
    // The earlier generation's 64-bit entry ("(x64)" without a blank) counts too.
    {"Update64FromX64Entry", true, "Korvel 11(x64)", "http://",
     "s=korvel12_update&platform=x64&ad=korvel12_client_x64_thankyou&downloadmode=1&v="},
};

}  // namespace

TEST_F(WindowlessRoads, FinishAddressPerKindOfInstallation) {
    const std::string mac = GetClientMacString();
    const std::string clientM = "client_m=" + Base64Encode(mac.data(), mac.size());
    // The web host the product's links share.
    std::string host = GetHomePageUrl();
    host = host.substr(host.find("://") + 3);
    host = host.substr(0, host.find('/'));
    size_t opened = 0;
    for (const FinishCase& c : kFinishCases) {
        SCOPED_TRACE(c.name);
        for (const char* key : {"Korvel 11", "Korvel 11(x64)"}) {
            SetUninstallString(key, "InstallLocation", "");
        }
        if (*c.previousEntry) {
            ASSERT_TRUE(SetUninstallString(c.previousEntry, "InstallLocation", "/opt/Korvel 11"));
        }
        DialogProbe dialog;
        dialog.UseRecord(c.x64, "12.0.0.7");
        ASSERT_TRUE(dialog.ShowFinishWebPage(true));
        const std::vector<std::string> urls = OpenedUrls(++opened);
        ASSERT_EQ(opened, urls.size());
        EXPECT_EQ(
            std::string(c.scheme) + host + "/thankyou.htm?" + clientM + "&" + c.query + "12.0.0.7",
            urls.back());
    }
    // An update of the same generation opens nothing.
    DialogProbe dialog;
    dialog.UseRecord(true, "12.0.0.7");
    EXPECT_FALSE(dialog.ShowFinishWebPage(false));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(opened, OpenedUrls(opened).size());
}

// The started program goes on under another name, so the wait by name ends at
// once: the log gives the exit code the query returned, "still active".
TEST_F(WindowlessRoads, HandOffLogsTheExitCodeAsQueried) {
    const std::string folder = Home() + "/program";
    fs::create_directories(folder);
    WriteFile(folder + "/Korvel64.exe", "#!/bin/sh\nexec sleep 3\n");
    chmod((folder + "/Korvel64.exe").c_str(), 0755);
    LogCapture log;
    const ProcessWaitResult r =
        RunProcessAndWait(Utf8ToWide(folder + "/Korvel64.exe"), L"", L"Korvel64.exe", 20);
    ASSERT_TRUE(r.bStarted);
    EXPECT_EQ(259u, r.nExitCode);
    EXPECT_TRUE(RunMainExe(Utf8ToWide(folder), L"Korvel64.exe", false, HandOffValues(), 20));
    EXPECT_TRUE(Contains(log.Text(), "Run main exe install : ExitCode(259), nWaitCount("))
        << log.Text();
}

TEST_F(WindowlessRoads, ProductDataFolderGoesToTheTrash) {
    const std::string folder = Home() + "/Documents/Korvel 12";
    fs::create_directories(folder + "/Saved");
    WriteFile(folder + "/Saved/mine.txt", "mine");
    korvel_test::ScopedEnv data("XDG_DATA_HOME", (Home() + "/.local/share").c_str());
    LogCapture log;
    ResetProductDataFolder(Utf8ToWide(folder));
    EXPECT_FALSE(fs::exists(folder));
    const std::string trashed = Home() + "/.local/share/Trash/files/Korvel 12";
    EXPECT_EQ("mine", ReadFile(trashed + "/Saved/mine.txt"));
    EXPECT_TRUE(fs::exists(Home() + "/.local/share/Trash/info/Korvel 12.trashinfo"));
    EXPECT_TRUE(Contains(log.Text(), "Moved " + folder + " to the trash as " + trashed + "."))
        << log.Text();
    EXPECT_FALSE(fs::exists(Home() + "/Documents/Korvel 12 (old)"));
}

// Where no trash can be made the folder is renamed beside itself, never lost.
TEST_F(WindowlessRoads, ProductDataFolderRenamedWhereNoTrashCanBeUsed) {
    const std::string folder = Home() + "/Documents/Korvel 12";
    WriteFile(Home() + "/plain-file", "x");
    korvel_test::ScopedEnv data("XDG_DATA_HOME", (Home() + "/plain-file/share").c_str());
    LogCapture log;
    for (const char* content : {"first", "second"}) {
        fs::create_directories(folder);
        WriteFile(folder + "/mine.txt", content);
        ResetProductDataFolder(Utf8ToWide(folder));
    }
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_EQ("first", ReadFile(folder + " (old)/mine.txt"));
    EXPECT_EQ("second", ReadFile(folder + " (old 2)/mine.txt"));
    EXPECT_TRUE(
        Contains(log.Text(), "No trash for " + folder + ": moved aside to " + folder + " (old 2)."))
        << log.Text();
    // Nothing there: nothing done, nothing logged.
    const std::string before = log.Text();
    ResetProductDataFolder(Utf8ToWide(folder));
    EXPECT_EQ(before, log.Text());
}

TEST_F(WindowlessRoads, UninstallWorkRemovesWhatTheInstallationWroteAndNothingElse) {
    const std::string folder = Home() + "/ProgramFiles/Korvel/Korvel 12";
    fs::create_directories(folder + "/bin");
    fs::create_directories(folder + "/InstallerTemp");
    WriteFile(folder + "/uninstall.exe", "u");
    WriteFile(folder + "/bin/app.bin", "a");
    WriteFile(folder + "/LiveUpdate.exe", "new updater");
    WriteFile(folder + "/InstallerTemp/LiveUpdate.exe", "old updater");
    WriteFile(folder + "/my-notes.txt", "mine");
    ASSERT_TRUE(WriteInstalledFilesList(Utf8ToWide(folder), {"bin/", "bin/app.bin"}));

    DialogProbe dialog;
    dialog.UseRecord(true, "12.0.0.7");
    EXPECT_GE(dialog.UninstallWork(Utf8ToWide(folder)), 4);  // 2 updater files, app.bin, bin/
    EXPECT_FALSE(fs::exists(folder + "/bin"));
    EXPECT_FALSE(fs::exists(folder + "/LiveUpdate.exe"));
    EXPECT_FALSE(fs::exists(folder + "/InstallerTemp/LiveUpdate.exe"));
    EXPECT_EQ("mine", ReadFile(folder + "/my-notes.txt"));
    EXPECT_EQ(0, dialog.DeleteUpdaterFiles(Utf8ToWide(folder)));
}

// ---- The install workflow without a window: the pages it asks the window
// for, its message boxes, and the end of its worker when the window closes
// early. Download configurations the engine refuses before any request keep
// the mirrors out of it.

namespace {

using Clock = std::chrono::steady_clock;

// A configuration of a newer installer generation: the engine reports
// "need update" (state 3) at once.
const char kNewerInstallerConfig[] = "<download version=\"2\"/>";
const char kEmptyConfig[] = "";

// Records what the workflow asks of the window; the install steps are never
// reached by these cases.
class RecordingWindow : public IWorkflowWindow {
public:
    void PostPage(WindowPage page) override {
        std::lock_guard<std::mutex> lock(m_lock);
        m_pages.push_back(page);
    }
    void PostReleaseLabel() override { ++m_nLabels; }
    HWND OwnerWindow() const override { return nullptr; }
    void CreateIcons(const ShortcutSet&) override { ADD_FAILURE() << "CreateIcons"; }
    bool RunMainExe(const std::wstring&, const std::wstring&, bool) override {
        ADD_FAILURE() << "RunMainExe";
        return false;
    }
    int InstallFile(const std::wstring&, const std::wstring&) override {
        ADD_FAILURE() << "InstallFile";
        return -1;
    }
    void MoveToInstallerTemp(const std::wstring&) override {
        ADD_FAILURE() << "MoveToInstallerTemp";
    }

    std::vector<WindowPage> Pages() const {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_pages;
    }
    std::atomic<int> m_nLabels{0};

private:
    mutable std::mutex m_lock;
    std::vector<WindowPage> m_pages;
};

class SetupWorkflowTest : public ::testing::Test {
protected:
    SetupWorkflowTest() {
        korvel_test::PrepareInstallerHome(m_sandbox, m_env);
        SelectLanguage(L"Korvel 12", 0x0409);
        m_tuning.nDownloadPollMs = 20;
        m_tuning.nAfterDownloadWaitMs = 20;
        m_tuning.nBeforeInstallPassMs = 20;
        m_tuning.messageBox = [this](HWND owner, const wchar_t* text, const wchar_t* title) {
            std::lock_guard<std::mutex> lock(m_boxLock);
            m_boxes.push_back({owner, text, title});
        };
    }
    ~SetupWorkflowTest() override {
        RegisterBuiltinTextResources();  // the configurations the other cases expect
        WaitForReleasedDownloaders(5000);
    }

    static void UseConfig(const char* text) {
        for (int id : {501, 502}) {
            RegisterResource(id, L"xml", text, strlen(text));
        }
    }
    static bool WaitFor(const std::function<bool()>& done) {
        const auto end = Clock::now() + std::chrono::seconds(30);
        while (!done() && Clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return done();
    }
    struct Box {
        HWND owner;
        std::wstring text;
        std::wstring title;
    };
    std::vector<Box> Boxes() {
        std::lock_guard<std::mutex> lock(m_boxLock);
        return m_boxes;
    }

    korvel_test::SandboxHome m_sandbox;
    std::vector<std::unique_ptr<korvel_test::ScopedEnv>> m_env;
    SetupTuning m_tuning;
    RecordingWindow m_window;

    LogCapture m_log;

private:
    std::mutex m_boxLock;
    std::vector<Box> m_boxes;
};

}  // namespace

// The worker never shows a page itself: it sets the stage, then asks the
// window, once, for the retry page; the out-of-date box has no owner.
TEST_F(SetupWorkflowTest, DownloadFailureAsksTheWindowForTheRetryPage) {
    UseConfig(kNewerInstallerConfig);
    SetupWorkflow workflow(GetProductInfo(), m_tuning, m_window);
    workflow.BeginInstall();
    EXPECT_EQ(InstallStage::kRunning, workflow.Stage());
    ASSERT_TRUE(WaitFor([&] { return workflow.HasWorkerEnded(); }));

    EXPECT_EQ(InstallStage::kFailed, workflow.Stage());
    EXPECT_EQ(std::vector<WindowPage>{WindowPage::kFailed}, m_window.Pages());
    const std::vector<Box> boxes = Boxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(nullptr, boxes[0].owner);
    EXPECT_EQ(std::wstring(GetLangString(kStrOutOfDate)), boxes[0].text);
    EXPECT_EQ(L"ERROR", boxes[0].title);
    const std::string log = m_log.Text();
    EXPECT_TRUE(Contains(log, "Download Finish Result : failed(3).")) << log;
    EXPECT_TRUE(Contains(log, "Download Failed. App need update.")) << log;
    EXPECT_FALSE(workflow.GetOutcome().bDownloadOk);
}

// A retry after a failed pass joins the ended worker and runs a new pass.
TEST_F(SetupWorkflowTest, RetryRunsANewPassOnANewWorker) {
    UseConfig(kEmptyConfig);
    SetupWorkflow workflow(GetProductInfo(), m_tuning, m_window);
    for (int round = 0; round < 3; ++round) {
        workflow.BeginInstall();
        ASSERT_TRUE(WaitFor([&] { return workflow.HasWorkerEnded(); }));
        EXPECT_EQ(InstallStage::kFailed, workflow.Stage());
    }
    EXPECT_EQ(std::vector<WindowPage>(3, WindowPage::kFailed), m_window.Pages());
    EXPECT_TRUE(Boxes().empty()) << "a missing configuration shows no message";
}

// The window closes while the pass waits (here the wait after the download,
// ten minutes long): Stop cuts the wait, the worker ends without a result,
// a page or a box, and is joined.
TEST_F(SetupWorkflowTest, StopEndsAWaitingPassQuietlyAndJoinsTheWorker) {
    UseConfig(kNewerInstallerConfig);
    m_tuning.nAfterDownloadWaitMs = 600000;
    SetupWorkflow workflow(GetProductInfo(), m_tuning, m_window);
    workflow.BeginInstall();
    ASSERT_TRUE(WaitFor([this] { return Contains(m_log.Text(), "Url : "); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_FALSE(workflow.HasWorkerEnded());

    const auto start = Clock::now();
    workflow.Stop();
    const auto took = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start);
    EXPECT_LT(took.count(), 60) << "Stop waited for the pass's wait";
    EXPECT_TRUE(workflow.HasWorkerEnded());
    EXPECT_EQ(InstallStage::kRunning, workflow.Stage());
    EXPECT_TRUE(m_window.Pages().empty());
    EXPECT_TRUE(Boxes().empty());
    EXPECT_FALSE(Contains(m_log.Text(), "Download Finish Result")) << m_log.Text();
}

// The paint thread's period: 10 ms while the package downloads, 50 ms on the
// install page, during the installation, and on the finished and retry pages.
TEST(ProgressPainterPeriod, TenMillisecondsOnlyWhileDownloading) {
    EXPECT_EQ(10u, ProgressPainter::PaintPeriodMs(InstallStage::kRunning, false));
    EXPECT_EQ(50u, ProgressPainter::PaintPeriodMs(InstallStage::kRunning, true));
    for (InstallStage stage :
         {InstallStage::kWaiting, InstallStage::kFinished, InstallStage::kFailed}) {
        for (bool downloaded : {false, true}) {
            EXPECT_EQ(50u, ProgressPainter::PaintPeriodMs(stage, downloaded));
        }
    }
}
