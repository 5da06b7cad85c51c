// The installer window's side of the install workflow, on the UI thread: the
// start, the countdown, the install click and its checks, the close with the
// final report; and the install-step slots the workflow calls on its worker.
#include "app/product_facts_app.h"
#include "app/product_info.h"
#include "app/setup_dlg.h"
#include "app/startup.h"
#include "app/workflow_rules.h"
#include "install/handoff.h"
#include "install/install_record.h"
#include "install/registration.h"
#include "lang/lang.h"
#include "platform/com.h"
#include "platform/folders.h"
#include "platform/log.h"
#include "platform/system.h"
#include "platform/text.h"
#include "ui/skin_message_box.h"

void SetupDlg::StartWorkflow() {
    m_painter.StartPaintThread();
    std::string option, source;
    ParseOwnFileName(option, source);
    m_workflow.Start(option, source);
    SetTimer(m_hWnd, kCountdownTimer, m_tuning.nCountdownPeriodMs, nullptr);
}

void SetupDlg::OnCountdownTick() {
    if (m_pCountdown) {
        m_pCountdown->SetText(
            FormatCountdown(GetLangString(kStrCountdown), m_nCountdown.load()).c_str());
    }
    if (--m_nCountdown >= 0) {
        return;
    }
    KillTimer(m_hWnd, kCountdownTimer);
    m_workflow.MarkAutoInstall();
    OnBtnInstall();
}

void SetupDlg::OnBtnInstall() {
    KillTimer(m_hWnd, kCountdownTimer);
    const InstallStage stage = m_workflow.Stage();
    WriteLog("SetupDlg::OnBtnInstall, eInstall(%d).\n", static_cast<int>(stage));
    if (stage == InstallStage::kFinished) {
        m_workflow.MarkRunApp();
        RunApp(L" --installmode");
        SendMessageW(m_hWnd, WM_CLOSE, 0, 0);
        return;
    }
    if (stage != InstallStage::kWaiting && stage != InstallStage::kFailed) {
        WriteLog("OnBtnInstall(what ?\?\?)");
        return;
    }
    if (!CheckBeforeInstall()) {
        return;
    }
    WriteLog("OnBtnInstall(OnInstall)");
    ShowCustomPage(false);
    m_pChkCustom->SetVisible(false);
    m_pVersion->SetVisible(false);
    m_pCountdown->SetVisible(false);  // no countdown on the progress pages
    m_workflow.SetCfgFlag((m_pChkDesktop->GetCheck() ? 1 : 0) |
                          (m_pChkExperience->GetCheck() ? 2 : 0));
    if (stage == InstallStage::kFailed) {
        UpdateCtrlStatus(WindowPage::kInstalling);
    }
    m_workflow.BeginInstall();
    m_painter.StartRenderThread();
}

void SetupDlg::ShowRefusal(LangStringId textId, bool logBox) {
    if (logBox) {
        WriteLog("OnBtnInstall(MySkinMessagxBox)");
    }
    const std::wstring title = AnsiToWide(HeaderText(CurrentHeader().szShortName));
    MySkinMessageBox(m_hWnd, title.c_str(), GetLangString(textId), GetLangString(kStrOk));
}

bool SetupDlg::CheckBeforeInstall() {
    const bool is64 = m_tuning.is64BitSystem ? m_tuning.is64BitSystem() : Is64BitWindows();
    if (HeaderIsX64() && !is64) {
        ShowRefusal(kStr64BitOnly, true);
        return false;
    }
    if (!(m_tuning.isSupportedSystem ? m_tuning.isSupportedSystem() : IsWindows7OrLater())) {
        ShowRefusal(kStrVistaUnsupported, true);
        return false;
    }
    const std::wstring folder = ReadEditText();
    CreateFolderChain(folder);
    WriteLog("Install Path Info : %s .", WideToOem(folder).c_str());
    if (!PathFileExists(folder)) {
        ShowRefusal(kStrInvalidPath, false);
        return false;
    }
    const std::wstring previous = GetInstallDir();
    m_workflow.SetInstallDir(folder);
    const int64_t freeMB = GetFreeSpaceMB(folder);
    WriteLog("FreeSpace Info : %lld MB in %s .", static_cast<long long>(freeMB),
             WideToOem(folder).c_str());
    if (!EnoughFreeSpace(freeMB)) {
        ShowRefusal(kStrNoFreeSpace, false);
        return false;
    }
    if (folder != previous) {
        m_workflow.MarkChangedInstallPath();
    }
    return true;
}

void SetupDlg::OnBtnClose() {
    WriteLog("OnBtnClose(user close)");
    SendMessageW(m_hWnd, WM_CLOSE, 0, 0);
}

bool SetupDlg::IsCommandShown(int commandId) const {
    for (ButtonCtrlEx* c : m_mouseList) {
        if (c->GetID() == commandId) {
            return c->IsVisible();
        }
    }
    return false;
}

std::wstring SetupDlg::CommandText(int commandId) const {
    for (ButtonCtrlEx* c : m_mouseList) {
        if (c->GetID() == commandId) {
            return c->GetText();
        }
    }
    return std::wstring();
}

void SetupDlg::OnPaint() {
    CommonDlg::OnPaint();
    m_painter.Paint();
}

// ---- Install steps ----

void SetupDlg::CreateIcons(const ShortcutSet& set) {
    ::CreateIcons(set, MakeShortcutTexts());
}

void SetupDlg::DeleteIcons(const std::wstring& displayName) {
    ::DeleteIcons(displayName);
}

bool SetupDlg::RunMainExe(const std::wstring& programFolder, const std::wstring& mainExe,
                          bool bNewFlag) {
    return ::RunMainExe(programFolder, mainExe, bNewFlag, MakeHandOffValues());
}

int SetupDlg::InstallFile(const std::wstring& packageFile, const std::wstring& installDir) {
    return ::InstallFile(packageFile, installDir,
                         [this](int e, int v, int r) { return OnInstallProgress(e, v, r); });
}

int SetupDlg::UninstallWork(const std::wstring& installDir) {
    WriteLog("Uninstall Work : %s", WideToOem(installDir).c_str());
    KillProductProcesses();
    const PackageHeader header = CurrentHeader();
    const bool use64 = GetPlatformKind() == kPlatformSeparate64 && header.nX64 != 0;
    DeleteIcons(use64 ? GetProductTitleW() + L" (x64)" : GetProductTitleW());
    int removed = DeleteUpdaterFiles(installDir);
    removed += ClearPreviousInstall(installDir);
    return removed;
}

bool SetupDlg::HasOldInstallPath() {
    return ::HasOldInstallPath(CurrentHeader(), CurrentFacts());
}

void SetupDlg::MoveToInstallerTemp(const std::wstring& folder) {
    ::MoveToInstallerTemp(folder, GetUpdaterFileNames());
}

int SetupDlg::DeleteUpdaterFiles(const std::wstring& folder) {
    int deleted = 0;
    for (const std::wstring& name : GetUpdaterFileNames()) {
        for (const std::wstring& path :
             {JoinPath(folder, name), JoinPath(JoinPath(folder, L"InstallerTemp"), name)}) {
            if (PathFileExists(path) && DeleteFilePath(path)) {
                ++deleted;
            }
        }
    }
    WriteLog("Delete Updater Files : %d in %s", deleted, WideToOem(folder).c_str());
    return deleted;
}

ShortcutTexts SetupDlg::MakeShortcutTexts() const {
    ShortcutTexts t;
    t.strUninstallApplication = GetLangString(kStrUninstallApplication);
    t.strApplication = GetLangString(kStrApplication);
    t.strHomepage = GetLangString(kStrHomepage);
    t.strOnline = GetLangString(kStrProductOnline);
    t.strUninstallProduct = GetLangString(kStrUninstallProduct);
    return t;
}

// ---- Closing ----

void SetupDlg::OnClose() {
    ShowWindow(m_hWnd, SW_HIDE);
    m_bClosing = 1;
    m_painter.RequestStop();
    SendFinalReport();
    for (uint32_t i = 0; i < m_tuning.nCloseWaitSteps; ++i) {
        Sleep(m_tuning.nCloseWaitStepMs);
    }
    RemoveUnhandledExceptionFilter();
    EndDialog(m_hWnd, 0);
}

void SetupDlg::SendFinalReport() {
    if (InstallReporter* reporter = GetReporter()) {
        SendFinalReportWithRetries(reporter, GetReportOptions());
    }
}

void SetupDlg::StopThreads() {
    m_painter.Stop();
    m_workflow.Stop();
}
