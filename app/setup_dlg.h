// The installer window: install page, custom panel, download and install
// progress, the retry page and the finished page, as visibility sets of one
// borderless skinned dialog. Three role classes make it up:
// - SetupDlg (this class): the controls and pages, the commands, the
//   countdown and the install click; UI thread only;
// - SetupWorkflow (setup_workflow.h): the stage machine on the install
//   worker, which asks for pages through messages posted to the UI thread;
// - ProgressPainter (progress_painter.h): the paint and render threads.
// The dialog owns both and ends their threads before its controls go.
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

#include "app/progress_painter.h"
#include "app/setup_geometry.h"
#include "app/setup_workflow.h"
#include "download/download_types.h"
#include "install/handoff.h"
#include "install/package.h"
#include "install/product_facts.h"
#include "install/shortcuts.h"
#include "lang/lang.h"
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

// The start countdown's timer on the window.
constexpr UINT_PTR kCountdownTimer = 1;

// The window's own messages: requests the workflow and the painters post to
// the UI thread.
constexpr UINT kMsgShowPage = WM_APP + 1;      // wParam: WindowPage
constexpr UINT kMsgReleaseLabel = WM_APP + 2;  // the release text is loaded

class SetupDlg : public CommonDlg, public IWorkflowWindow {
public:
    explicit SetupDlg(std::shared_ptr<IProductInfo> product, SetupTuning tuning = SetupTuning());
    // Ends the painters' threads and the workflow's before anything goes.
    ~SetupDlg() override;

    int OnInitDialog(HWND hwnd) override;
    int OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnPaint() override;
    void OnCreate() override {}

    // Install steps, in the order of the dialog's slot table (it continues
    // the base's); the product subclass overrides CreateIcons and RunMainExe.
    // The workflow calls them on its worker.
    void CreateIcons(const ShortcutSet& set) override;
    virtual void DeleteIcons(const std::wstring& displayName);
    bool RunMainExe(const std::wstring& programFolder, const std::wstring& mainExe,
                    bool bNewFlag) override;
    int InstallFile(const std::wstring& packageFile, const std::wstring& installDir) override;
    // The uninstall sequence for the installation in `installDir`: product
    // processes ended, shortcuts removed, the files the installation wrote and
    // the updater's files deleted (anything else in the folder stays). Returns
    // the number of entries removed. The installer itself never calls it.
    virtual int UninstallWork(const std::wstring& installDir);
    virtual void OnTimer(UINT_PTR id);
    virtual bool HasOldInstallPath();
    virtual void OnClose();
    virtual void SendFinalReport();
    void MoveToInstallerTemp(const std::wstring& folder) override;
    // Deletes the updater's files from `folder` and from the InstallerTemp
    // folder MoveToInstallerTemp put them in; returns how many were deleted.
    // The installer itself never calls it.
    virtual int DeleteUpdaterFiles(const std::wstring& folder);

    // ---- Workflow: the UI thread's part (setup_dlg_workflow.cpp) ----
    void StartWorkflow();
    void OnCountdownTick();
    void OnBtnInstall();
    bool CheckBeforeInstall();
    void OnBtnClose();
    // ---- Workflow: the stage machine's operations, run by SetupWorkflow ----
    void LoadReleaseText() { m_workflow.LoadReleaseText(); }
    void DoInstall() { m_workflow.DoInstall(); }
    int OnDownloadEvent(int event, int a, int b) { return m_workflow.OnDownloadEvent(event, a, b); }
    int OnInstallProgress(int event, int value, int reserved) {
        return m_workflow.OnInstallProgress(event, value, reserved);
    }
    void KillProductProcesses() { m_workflow.KillProductProcesses(); }
    bool ShowFinishWebPage(bool bNewFlag) { return m_workflow.ShowFinishWebPage(bNewFlag); }
    std::string AppendClientParams(const std::string& url) const {
        return m_workflow.AppendClientParams(url);
    }
    void RunApp(const std::wstring& extraArguments) { m_workflow.RunApp(extraArguments); }

    // ---- Window (setup_dlg.cpp); UI thread ----
    void CreateControls();
    void CreateCustomControls();
    void ShowCustomPage(bool open);
    void OnBtnBrower();
    void OpenWebLink(const std::string& address);
    void ParseOwnFileName(std::string& option, std::string& source);
    void UpdateCtrlStatus(WindowPage page);

    // IWorkflowWindow: requests posted to the UI thread.
    void PostPage(WindowPage page) override;
    void PostReleaseLabel() override;
    HWND OwnerWindow() const override { return m_hWnd; }

    // ---- Progress display (progress_painter.cpp) ----
    void PaintThreadProc() { m_painter.PaintThreadProc(); }
    void RenderThreadProc() { m_painter.RenderThreadProc(); }

    // After the window has ended, on the thread that ran it: ends the
    // painters' threads, then the workflow's (SetupWorkflow::Stop).
    void StopThreads();

    // Read-only views for the entry, the tests and the demo.
    int GetInstallStage() const { return static_cast<int>(m_workflow.Stage()); }
    int GetProgressPhase() const { return static_cast<int>(m_workflow.Phase()); }
    int GetCountdown() const { return m_nCountdown.load(); }
    int GetCfgFlag() const { return m_workflow.CfgFlag(); }
    std::wstring GetInstallDir() const { return m_workflow.GetInstallDir(); }
    std::wstring GetPackageFile() const { return m_workflow.GetPackageFile(); }
    SetupOutcome GetOutcome() const { return m_workflow.GetOutcome(); }
    ReportOptions GetReportOptions() const { return m_workflow.GetReportOptions(); }
    InstallReporter* GetReporter() const { return m_workflow.Reporter(); }
    bool IsClosing() const { return m_bClosing.load(); }
    bool HasWorkerEnded() const { return m_workflow.HasWorkerEnded(); }
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
    InstallProductFacts CurrentFacts() const { return m_workflow.CurrentFacts(); }
    PackageHeader CurrentHeader() const { return m_workflow.CurrentHeader(); }
    bool HeaderIsX64() const { return m_workflow.HeaderIsX64(); }
    HandOffValues MakeHandOffValues() const { return m_workflow.MakeHandOffValues(); }
    ShortcutTexts MakeShortcutTexts() const;
    SetupWorkflow& Workflow() { return m_workflow; }

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
    void OnShowPage(WindowPage page);
    void ShowReleaseLabel();

    // setup_dlg_workflow.cpp
    void ShowRefusal(LangStringId textId, bool logBox);

    const std::shared_ptr<IProductInfo> m_product;
    const SetupTuning m_tuning;

    // UI thread words the painters and the tests read.
    std::atomic<int> m_bClosing{0};
    std::atomic<int> m_bInitialised{0};
    std::atomic<int> m_nCountdown{30};
    std::atomic<bool> m_bCustomOpen{false};
    std::atomic<bool> m_bMousePressed{false};

    // Controls: owned here and changed on the UI thread only; the lists are
    // fixed once the window is built. The painters read them.
    std::vector<std::unique_ptr<CommonCtrl>> m_controls;
    std::vector<ButtonCtrlEx*> m_mouseList;
    std::vector<CommonCtrl*> m_drawList;
    SkinFocus m_focus;  // the mouse list and the folder edit box, in creation order
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

    // Last: destroyed first, so that their threads end before the controls,
    // bitmaps and fonts they use go.
    SetupWorkflow m_workflow;
    ProgressPainter m_painter;
};
