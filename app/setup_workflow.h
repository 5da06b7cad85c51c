// The install workflow: the stage machine that turns an accepted install
// click into an installed product (download pass, installation pass, the
// finished or retry page), and the state the window, the painters and the
// final report read.
//
// Threads: Start, BeginInstall and Stop run on the UI thread; DoInstall runs
// on the install worker this object starts and joins; OnDownloadEvent comes
// from the download engine's threads; the release text is loaded on a thread
// of its own. The workflow never touches a control: it asks the window for a
// page through IWorkflowWindow, which posts the request to the UI thread.
// Shared words are atomics; the strings, the product record and the engine
// pointer each sit behind one lock.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "download/download_types.h"
#include "install/handoff.h"
#include "install/package.h"
#include "install/product_facts.h"
#include "install/shortcuts.h"
#include "platform/gui.h"
#include "report/install_reporter.h"

class IDownloader;
class IProductInfo;

// The stage machine's states (eInstall).
enum class InstallStage : int { kWaiting = 0, kRunning = 1, kFinished = 2, kFailed = 3 };
// What the render thread draws (m_nProgressPhase).
enum class ProgressPhase : int { kDownload = 0, kInstall = 1, kDone = 3 };
// The window's pages: the visibility sets UpdateCtrlStatus switches between.
enum class WindowPage : int { kInitial = 0, kInstalling = 1, kFinished = 2, kFailed = 3 };

// The int values GetInstallStage and GetProgressPhase return.
constexpr int kStageWaiting = static_cast<int>(InstallStage::kWaiting);
constexpr int kStageRunning = static_cast<int>(InstallStage::kRunning);
constexpr int kStageFinished = static_cast<int>(InstallStage::kFinished);
constexpr int kStageFailed = static_cast<int>(InstallStage::kFailed);
constexpr int kPhaseDownload = static_cast<int>(ProgressPhase::kDownload);
constexpr int kPhaseInstall = static_cast<int>(ProgressPhase::kInstall);
constexpr int kPhaseDone = static_cast<int>(ProgressPhase::kDone);

// The workflow's timings and services. The defaults are the product's; tests
// pass shorter waits or their own services through this one parameter.
struct SetupTuning {
    int nCountdownStart = 30;
    uint32_t nCountdownPeriodMs = 1000;
    uint32_t nDownloadPollMs = 1000;
    uint32_t nAfterDownloadWaitMs = 2000;
    uint32_t nBeforeInstallPassMs = 1000;
    uint32_t nCloseWaitSteps = 5;
    uint32_t nCloseWaitStepMs = 1000;
    uint32_t nInstallEventPauseMs = 200;
    std::string strReportUrl;     // empty: the product's report endpoint
    std::string strLogUploadUrl;  // empty: the product's log endpoint
    ReporterTuning reporter;
    const DownloaderTuning* downloader = nullptr;  // null: the product's timings and markers
    // Shows a standard message box (owner, text, title); null: MessageBoxW.
    std::function<void(HWND, const wchar_t*, const wchar_t*)> messageBox;
    // The system facts the pre-install checks ask (a 64-bit system, a
    // supported system version); null: the platform's answers.
    std::function<bool()> is64BitSystem;
    std::function<bool()> isSupportedSystem;
};

// Outcome flags and values the final report and the tests read.
struct SetupOutcome {
    bool bDownloadOk = false;
    bool bInstallOk = false;
    bool bCdnUsed = false;
    bool bFinishPageShown = false;
    int nDownloadError = 0;
    std::string strDownloadError;
};

// What the workflow asks of the window. The page and label requests return at
// once (the window posts them to its UI thread); the install steps are the
// window's slots and run on the calling worker.
class IWorkflowWindow {
public:
    virtual void PostPage(WindowPage page) = 0;
    // The release text is loaded: put it, translated, into the version label.
    virtual void PostReleaseLabel() = 0;
    virtual HWND OwnerWindow() const = 0;

    virtual void CreateIcons(const ShortcutSet& set) = 0;
    virtual bool RunMainExe(const std::wstring& programFolder, const std::wstring& mainExe,
                            bool bNewFlag) = 0;
    virtual int InstallFile(const std::wstring& packageFile, const std::wstring& installDir) = 0;
    virtual void MoveToInstallerTemp(const std::wstring& folder) = 0;

protected:
    ~IWorkflowWindow() = default;
};

class SetupWorkflow {
public:
    SetupWorkflow(std::shared_ptr<IProductInfo> product, const SetupTuning& tuning,
                  IWorkflowWindow& window);
    // Stops and joins whatever still runs.
    ~SetupWorkflow();
    SetupWorkflow(const SetupWorkflow&) = delete;
    SetupWorkflow& operator=(const SetupWorkflow&) = delete;

    // UI thread, window start: keeps the launch words, creates the reporter,
    // starts the start-report and release-text threads.
    void Start(const std::string& option, const std::string& source);
    // UI thread, an accepted install click: stage running, phase download,
    // and a new install worker (the previous one has ended or is ending).
    void BeginInstall();
    // UI thread, after the window has closed: cuts the waits short, lets a
    // running download end without a result and joins the worker and the
    // release-text thread. A step already under way (an extraction, the
    // hand-off) is finished first. The start-report thread keeps its own
    // reference to the reporter and ends by itself.
    void Stop();

    // ---- The install worker ----
    void DoInstall();
    int OnDownloadEvent(int event, int a, int b);
    int OnInstallProgress(int event, int value, int reserved);
    void KillProductProcesses();
    bool ShowFinishWebPage(bool bNewFlag);
    std::string AppendClientParams(const std::string& url) const;
    void RunApp(const std::wstring& extraArguments);
    void LoadReleaseText();
    HandOffValues MakeHandOffValues() const;

    // ---- State, from any thread ----
    InstallStage Stage() const { return eInstall.load(); }
    void SetStage(InstallStage stage) { eInstall = stage; }
    ProgressPhase Phase() const { return m_nProgressPhase.load(); }
    int DownloadPercentNow() const { return m_nDownloadPercent.load(); }
    bool DownloadFinished() const { return m_bDownloadFinished.load(); }
    int InstallProgress() const { return m_nInstallProgress.load(); }
    void ResetInstallProgress() { m_nInstallProgress = 0; }
    bool ShowMainButton() const { return m_bShowMainButton.load(); }
    bool HasWorkerEnded() const { return m_nWorkers.load() == 0; }
    uint32_t DownloadStartTick() const { return m_nDownloadStartTick.load(); }
    bool CdnUsed() const { return m_bCdnUsed.load(); }
    int CfgFlag() const { return m_nCfgFlag.load(); }
    void SetCfgFlag(int flag) { m_nCfgFlag = flag; }
    InstallReporter* Reporter() const { return m_pReporter.get(); }
    // Runs `use` with the running download's engine under the engine lock;
    // false when no download runs.
    bool WithEngine(const std::function<void(IDownloader&)>& use);

    // The record (profile at start, the package's later) and the strings.
    PackageHeader CurrentHeader() const;
    void SetHeader(const PackageHeader& header);
    bool HeaderIsX64() const;
    InstallProductFacts CurrentFacts() const;
    std::wstring GetInstallDir() const;
    void SetInstallDir(const std::wstring& dir);
    std::wstring GetPackageFile() const;
    void SetPackageFile(const std::wstring& file);
    std::string ReleaseText() const;
    SetupOutcome GetOutcome() const;

    // The report's option flags: set on the UI thread, read by the final report.
    ReportOptions GetReportOptions() const;
    void MarkAutoInstall() { m_nAutoInstall = 1; }
    void MarkRunApp() { m_nRunApp = 1; }
    void MarkChangedInstallPath() { m_nChangeInstallPath = 1; }
    void SetAddPlan(bool on) { m_nAddPlan = on ? 1 : 0; }
    void SetCreateDesktop(bool on) { m_nCreateDesktop = on ? 1 : 0; }

private:
    void DownloadPass();
    void InstallPass();
    void FailDownload(int state);
    void ShowRetryPage();
    void FinishInstall(bool bNewFlag);
    // Stage and page as one request: the stage first, so that the window,
    // which drops an installing page asked for after the stage moved on,
    // never hides the new page's buttons.
    void EnterStage(InstallStage stage, WindowPage page);
    void WaitForDownload(IDownloader* download);
    void ReportDownload(IDownloader* download, int state);
    void ReleaseEngine(IDownloader* download);
    std::wstring DownloadDestination() const;
    void ShowStandardBox(HWND owner, const wchar_t* text, const wchar_t* title);
    // Sleeps `ms`, or less once Stop was called; false when stopped.
    bool Pause(uint32_t ms);
    bool Stopping() const { return m_bStopping.load(); }

    const std::shared_ptr<IProductInfo> m_product;
    const SetupTuning& m_tuning;
    IWorkflowWindow& m_window;

    std::atomic<InstallStage> eInstall{InstallStage::kWaiting};
    std::atomic<ProgressPhase> m_nProgressPhase{ProgressPhase::kDownload};
    std::atomic<int> m_nDownloadPercent{0};
    std::atomic<bool> m_bDownloadFinished{false};
    std::atomic<int> m_nInstallProgress{0};  // 0-1000
    std::atomic<int> m_nCfgFlag{-1};
    std::atomic<bool> m_bInstallStarted{false};
    std::atomic<bool> m_bDownloadOk{false};
    std::atomic<bool> m_bInstallOk{false};
    std::atomic<bool> m_bCdnUsed{false};
    std::atomic<bool> m_bFinishPageShown{false};
    std::atomic<int> m_nDownloadError{0};
    std::atomic<bool> m_bShowMainButton{true};
    std::atomic<bool> m_bDownloadDone{false};
    std::atomic<bool> m_bAlreadyComplete{false};
    std::atomic<uint32_t> m_nDownloadStartTick{0};
    std::atomic<int> m_nDownloadSeconds{0};
    std::atomic<int> m_nWorkers{0};  // the worker and the release-text thread while they run
    std::atomic<uint8_t> m_nAutoInstall{0};
    std::atomic<uint8_t> m_nRunApp{0};
    std::atomic<uint8_t> m_nChangeInstallPath{0};
    // The report's copies of the two option boxes: true until the user changes them.
    std::atomic<uint8_t> m_nAddPlan{1};
    std::atomic<uint8_t> m_nCreateDesktop{1};

    // The engine of the running download. The painter reads its statistics
    // while the worker may release it, so both hold m_engineLock around it.
    std::mutex m_engineLock;
    IDownloader* pDownload = nullptr;

    mutable std::mutex m_lock;  // the strings and the record below
    std::wstring m_strPackageFile;
    std::wstring m_strInstallDir;
    std::string m_strDownloadError;
    std::string m_strInstallId;
    std::string m_strReleaseText;
    std::string m_strOption;
    std::string m_strSource;
    PackageHeader m_packageHeader{};

    std::shared_ptr<InstallReporter> m_pReporter;  // shared with the start-report thread

    // Stop: the flag, and the wake-up of Pause.
    std::atomic<bool> m_bStopping{false};
    std::mutex m_stopLock;
    std::condition_variable m_stopWake;
    // Started and joined on the UI thread only.
    std::thread m_releaseThread;
    std::thread m_worker;
};
