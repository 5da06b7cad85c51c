// The installer window: install page, custom panel, download and install
// progress, the retry page and the finished page, as visibility sets of one
// borderless skinned dialog. It owns the install workflow's state and starts
// the workflow's threads.
//
// Threads (see docs/architecture.md): the UI thread runs messages, the
// countdown, the buttons and the close; the paint thread repaints; the render
// thread computes the installation animation; one install worker runs
// DoInstall; the download engine calls OnDownloadEvent. Words shared between
// them are atomics; the few shared strings sit behind m_lock.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/paint_canvas.h"
#include "app/progress_render.h"
#include "download/download_types.h"
#include "install/handoff.h"
#include "install/package.h"
#include "install/product_facts.h"
#include "install/shortcuts.h"
#include "report/install_reporter.h"
#include "ui/common_dlg.h"
#include "ui/skin_ctrl.h"
#include "ui/skin_focus.h"

class IDownloader;
class IProductInfo;

// The run's machine identifier, made on first use.
const std::string& RunMachineGuid();

// Control and command ids of the installer window.
enum SetupCommand {
    kCmdClose = 1612,
    kCmdMinimise = 1613,
    kCmdMain = 1614,
    kCmdCustom = 1615,
    kCmdLicence = 1616,
    kCmdLicenceLink = 1617,
    kCmdFolderEdit = 1618,
    kCmdBrowse = 1619,
    kCmdDesktop = 1620,
    kCmdExperience = 1622,
    kCmdExperienceLink = 1623,
};

// Install stages (eInstall).
enum InstallStage { kStageWaiting = 0, kStageRunning = 1, kStageFinished = 2, kStageFailed = 3 };
// What the render thread draws (m_nProgressPhase).
enum ProgressPhase { kPhaseDownload = 0, kPhaseInstall = 1, kPhaseDone = 3 };

constexpr int kSetupWidth = 622;
constexpr int kSetupHeight = 405;
constexpr int kSetupCustomHeight = 580;

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

class SetupDlg : public CommonDlg {
public:
    explicit SetupDlg(std::shared_ptr<IProductInfo> product, SetupTuning tuning = SetupTuning());
    ~SetupDlg() override;

    int OnInitDialog(HWND hwnd) override;
    int OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnPaint() override;
    void OnCreate() override {}

    // Install steps, in the order of the dialog's slot table (it continues
    // the base's); the product subclass overrides CreateIcons and RunMainExe.
    virtual void CreateIcons(const ShortcutSet& set);
    virtual void DeleteIcons(const std::wstring& displayName);
    virtual bool RunMainExe(const std::wstring& programFolder, const std::wstring& mainExe,
                            bool bNewFlag);
    virtual int InstallFile(const std::wstring& packageFile, const std::wstring& installDir);
    // The uninstall sequence for the installation in `installDir`: product
    // processes ended, shortcuts removed, the files the installation wrote and
    // the updater's files deleted (anything else in the folder stays). Returns
    // the number of entries removed. The installer itself never calls it.
    virtual int UninstallWork(const std::wstring& installDir);
    virtual void OnTimer(UINT_PTR id);
    virtual bool HasOldInstallPath();
    virtual void OnClose();
    virtual void SendFinalReport();
    virtual void MoveToInstallerTemp(const std::wstring& folder);
    // Deletes the updater's files from `folder` and from the InstallerTemp
    // folder MoveToInstallerTemp put them in; returns how many were deleted.
    // The installer itself never calls it.
    virtual int DeleteUpdaterFiles(const std::wstring& folder);

    // ---- Workflow (setup_workflow.cpp) ----
    void StartWorkflow();
    void LoadReleaseText();
    void OnCountdownTick();
    void OnBtnInstall();
    bool CheckBeforeInstall();
    void DoInstall();
    int OnDownloadEvent(int event, int a, int b);
    int OnInstallProgress(int event, int value, int reserved);
    void KillProductProcesses();
    bool ShowFinishWebPage(bool bNewFlag);
    std::string AppendClientParams(const std::string& url);
    void RunApp(const std::wstring& extraArguments);
    void OnBtnClose();

    // ---- Window (setup_dlg.cpp) ----
    void CreateControls();
    void CreateCustomControls();
    void ShowCustomPage(bool open);
    void OnBtnBrower();
    void OpenWebLink(const std::string& address);
    void ParseOwnFileName(std::string& option, std::string& source);
    void UpdateCtrlStatus(int state);

    // ---- Progress display (setup_paint.cpp) ----
    void PaintThreadProc();
    void RenderThreadProc();

    // Read-only views for the entry, the tests and the demo.
    int GetInstallStage() const { return eInstall.load(); }
    int GetProgressPhase() const { return m_nProgressPhase.load(); }
    int GetCountdown() const { return m_nCountdown.load(); }
    int GetCfgFlag() const { return m_nCfgFlag.load(); }
    std::wstring GetInstallDir() const;
    std::wstring GetPackageFile() const;
    SetupOutcome GetOutcome() const;
    ReportOptions GetReportOptions() const;
    InstallReporter* GetReporter() const { return m_pReporter.get(); }
    bool IsClosing() const { return m_bClosing.load(); }
    bool HasWorkerEnded() const { return m_nWorkers.load() == 0; }
    // Whether the control of a mouse-list command (close, main button, ...)
    // is shown, and its text; false and "" for an unknown id.
    bool IsCommandShown(int commandId) const;
    std::wstring CommandText(int commandId) const;
    bool IsMainButtonEnabled() const { return m_pBtnMain && m_pBtnMain->IsEnable(); }

protected:
    struct Fonts {
        HFONT percent = nullptr, status = nullptr, button = nullptr, label = nullptr,
              linkHover = nullptr, version = nullptr;
    };

    // The facts of the record currently held (profile at start, the package's later).
    InstallProductFacts CurrentFacts() const;
    PackageHeader CurrentHeader() const;
    bool HeaderIsX64() const;

    // setup_dlg.cpp
    void CreateFonts();
    void LoadBitmaps();
    void ChooseInstallFolder();
    HBITMAP Bitmap(int id) const;
    template <class T>
    T* AddControl(std::unique_ptr<T> control, bool mouse, bool draw);
    void PlaceStates(ButtonCtrlEx& button, int normal, int hover, int pressed);
    void SetEditText(const std::wstring& text);
    std::wstring ReadEditText() const;
    int HandleMouse(UINT message, WPARAM wParam, LPARAM lParam);
    int HandleKeys(UINT message, WPARAM wParam, LPARAM lParam);

    // setup_workflow.cpp
    void DownloadPass();
    void InstallPass();
    void FailDownload(int state);
    // Stage 3 and its controls as one step, so that the render thread's
    // waiting frames cannot hide the retry page's buttons afterwards.
    void ShowRetryPage();
    void FinishInstall(bool bNewFlag);
    void WaitForDownload(IDownloader* download);
    void ReportDownload(IDownloader* download, int state);
    void SetInstallDir(const std::wstring& dir);
    void SetPackageFile(const std::wstring& file);
    std::wstring DownloadDestination() const;
    void ShowRefusal(int textId, bool logBox);
    void StartWorker();
    void ShowStandardBox(HWND owner, const wchar_t* text, const wchar_t* title);
    HandOffValues MakeHandOffValues() const;
    ShortcutTexts MakeShortcutTexts() const;

    // setup_paint.cpp
    void PaintInstallPage();
    void PaintFinished();
    void PaintDownload();
    void PaintFailure(HDC dc);
    void PaintInstallProgress();
    void RenderWaiting();
    void RenderInstall();
    void DrawControls(HDC dc);
    void DrawDownloadTexts(const DownloadTexts& texts, const DownloadTexts* shown);
    void BlitFrame(const FrameBuffer& frame, int height, bool withControls,
                   const std::function<void(HDC)>& overlay);
    void BlitMemoryDc(HDC memDc, int height);
    void PushCanvas();
    uint32_t ControlsLook();
    void DrawInstallPercent(int percent);
    RECT SweepArea() const;
    void CopyStatsToInfoView(IDownloader* download, DownloadStats& stats);

    const std::shared_ptr<IProductInfo> m_product;
    const SetupTuning m_tuning;

    // Workflow words shared across threads.
    std::atomic<int> eInstall{kStageWaiting};
    std::atomic<int> m_nProgressPhase{kPhaseDownload};
    std::atomic<int> m_nDownloadPercent{0};
    std::atomic<int> m_bDownloadFinished{0};
    std::atomic<int> m_nInstallProgress{0};  // 0-1000
    std::atomic<int> m_nCfgFlag{-1};
    std::atomic<int> m_bInstallStarted{0};
    std::atomic<bool> m_bDownloadOk{false};
    std::atomic<bool> m_bInstallOk{false};
    std::atomic<bool> m_bCdnUsed{false};
    std::atomic<bool> m_bFinishPageShown{false};
    std::atomic<int> m_nDownloadError{0};
    std::atomic<int> m_bShowMainButton{1};
    std::atomic<int> m_bClosing{0};
    std::atomic<int> m_bInitialised{0};
    std::atomic<int> m_nCountdown{30};
    std::atomic<bool> m_bDownloadDone{false};
    std::atomic<bool> m_bAlreadyComplete{false};
    std::atomic<uint32_t> m_nDownloadStartTick{0};
    std::atomic<int> m_nDownloadSeconds{0};
    std::atomic<int> m_nWorkers{0};
    std::atomic<bool> m_bRenderStarted{false};
    std::atomic<uint8_t> m_nAutoInstall{0};
    std::atomic<uint8_t> m_nRunApp{0};
    std::atomic<uint8_t> m_nChangeInstallPath{0};
    // The report's copies of the two option boxes: true until the user changes them.
    std::atomic<uint8_t> m_nAddPlan{1};
    std::atomic<uint8_t> m_nCreateDesktop{1};
    std::atomic<bool> m_bCustomOpen{false};

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

    // Controls: owned here; the lists are fixed once the window is built.
    std::vector<std::unique_ptr<CommonCtrl>> m_controls;
    std::vector<ButtonCtrlEx*> m_mouseList;
    std::vector<CommonCtrl*> m_drawList;
    SkinFocus m_focus;  // the mouse list and the folder edit box, in creation order
    std::atomic<bool> m_bMousePressed{false};
    ButtonColorCtrlEx* m_pBtnMain = nullptr;
    StaticCtrl* m_pLargeLogo = nullptr;
    StaticCtrl* m_pCountdown = nullptr;
    CheckButtonCtrlEx* m_pChkCustom = nullptr;
    CheckButtonCtrlEx* m_pChkLicence = nullptr;
    HyLinkCtrlEx* m_pLinkLicence = nullptr;
    HWND m_hEditDir = nullptr;
    ButtonCtrlEx* m_pBtnBrowse = nullptr;
    CheckButtonCtrlEx* m_pChkDesktop = nullptr;
    CheckButtonCtrlEx* m_pChkExperience = nullptr;
    HyLinkCtrlEx* m_pLinkExperience = nullptr;
    ButtonCtrlEx* m_pBtnClose = nullptr;
    ButtonCtrlEx* m_pBtnMin = nullptr;
    StaticCtrl* m_pLogo = nullptr;
    StaticCtrl* m_pLogo2 = nullptr;
    StaticCtrl* m_pVersion = nullptr;
    RECT m_rcMainButton{};

    Fonts m_fonts;
    std::vector<HBITMAP> m_ownedBitmaps;
    std::array<HBITMAP, 256> m_bitmapById{};
    PixelImage m_logoGrey, m_logoColour, m_logoFailure, m_logoInstall, m_finished;
    std::unique_ptr<ProgressGeometry> m_geometry;

    // Frame hand-over between the render thread and the installation painter.
    std::array<FrameBuffer, 2> m_frames;
    std::array<std::atomic<bool>, 2> m_frameFull{};
    std::atomic<int> m_nBackIndex{0};
    int m_nFrontIndex = 0;                          // paint thread only
    FrameBuffer m_scratch;                          // render thread only
    FrameBuffer m_display;                          // paint thread only
    FrameBuffer m_downloadBuffer;                   // paint thread only
    std::unique_ptr<InstallAnimation> m_animation;  // render thread only
    SpeedSampler m_speed;                           // paint thread only
    // The cached surface and what it holds; used under m_paintLock. The
    // download and installation views compose into it only when their
    // content changed and push only the changed rectangles.
    PaintCanvas m_canvas;
    int m_nCanvasView = 0;  // 0: not a cached view (the next one starts afresh)
    int m_nCanvasSweep = -1;
    DownloadTexts m_canvasTexts;
    int m_nCanvasPercent = -1;
    uint32_t m_nCanvasControls = 0;
    // The installation percentage as last drawn: the frame's pixels under it
    // and the same with the text over them (the disc soon covers that place,
    // and then frame after frame holds the same pixels there).
    int m_nPercentDrawn = -1;
    std::vector<uint32_t> m_percentUnder;
    std::vector<uint32_t> m_percentOver;

    std::mutex m_paintLock;  // one painter at a time: the paint thread or WM_PAINT
    // The render thread's hiding of the buttons and the worker's retry page
    // each check and change the stage with the controls as one step.
    std::mutex m_stageLock;
    std::thread m_paintThread;
    std::thread m_renderThread;
};
