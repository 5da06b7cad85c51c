// The install workflow of the installer window: countdown, checks, the
// download and installation passes on the worker thread, and the close with
// the final report.
#include <thread>

#include "app/product_facts_app.h"
#include "app/product_info.h"
#include "app/setup_dlg.h"
#include "app/startup.h"
#include "app/workflow_rules.h"
#include "download/downloader.h"
#include "install/handoff.h"
#include "install/install_record.h"
#include "install/registration.h"
#include "lang/lang.h"
#include "platform/com.h"
#include "platform/folders.h"
#include "platform/log.h"
#include "platform/process.h"
#include "platform/resource.h"
#include "platform/system.h"
#include "platform/text.h"
#include "report/machine_identity.h"
#include "ui/skin_message_box.h"

namespace {

std::vector<MirrorRecord> ToMirrorRecords(const std::vector<UrlCfg>& urls) {
    std::vector<MirrorRecord> out;
    for (const UrlCfg& u : urls) {
        MirrorRecord r;
        r.url = u.url;
        r.domain = u.domain;
        r.fileSizeConsistent = u.fileSizeConsistent;
        r.networkNotFull = u.networkNotFull;
        r.pingTime = u.pingTime;
        out.push_back(r);
    }
    return out;
}

// The release text resource of the product's bitness without the line end
// its file may carry; false when missing.
bool ReadReleaseResource(bool x64, std::string& text) {
    if (!LoadResourceText(x64 ? 504 : 503, L"TXT", text)) {
        return false;
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return true;
}

}  // namespace

const std::string& RunMachineGuid() {
    static const std::string guid = MakeMachineGuid();
    return guid;
}

void SetupDlg::StartWorkflow() {
    ++m_nWorkers;
    std::thread([this] {
        LoadReleaseText();
        --m_nWorkers;
    }).detach();
    m_paintThread = std::thread(&SetupDlg::PaintThreadProc, this);

    std::string option, source;
    ParseOwnFileName(option, source);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_strOption = option;
        m_strSource = source;
    }
    const std::wstring logPath = GetInstallLogPath(false);
    const bool x64 = HeaderIsX64();
    std::string release;
    ReadReleaseResource(x64, release);
    // The reporter gets the release text straight from the resource: the
    // release-text thread may not have run yet.
    m_pReporter = std::make_shared<InstallReporter>(
        m_tuning.strReportUrl.empty() ? GetInstallReportUrl() : m_tuning.strReportUrl,
        RunMachineGuid(), GetProductTitleA(), option, source, release, x64, Is64BitWindows(),
        WideToOem(logPath),
        m_tuning.strLogUploadUrl.empty() ? GetLogUploadUrl() : m_tuning.strLogUploadUrl,
        m_tuning.reporter);
    m_pReporter->SetLanguageName(GetLanguageName());
    std::shared_ptr<InstallReporter> reporter = m_pReporter;
    std::thread([reporter] { SendStartReport(reporter.get()); }).detach();

    SetTimer(m_hWnd, 1, m_tuning.nCountdownPeriodMs, nullptr);
}

void SetupDlg::LoadReleaseText() {
    std::string text;
    if (!ReadReleaseResource(m_product->IsX64() != 0, text)) {
        UpdateCtrlStatus(3);
        return;
    }
    if (text.size() > 5) {
        const std::wstring label =
            ReplaceAll(AnsiToWide(text), std::wstring(L"official"), GetLangString(51));
        m_pVersion->SetText(label.c_str());
        std::lock_guard<std::mutex> lock(m_lock);
        m_strReleaseText = text;
    }
}

void SetupDlg::OnCountdownTick() {
    if (m_pCountdown) {
        m_pCountdown->SetText(FormatCountdown(GetLangString(49), m_nCountdown.load()).c_str());
    }
    if (--m_nCountdown >= 0) {
        return;
    }
    KillTimer(m_hWnd, 1);
    m_nAutoInstall = 1;
    OnBtnInstall();
}

void SetupDlg::OnBtnInstall() {
    KillTimer(m_hWnd, 1);
    const int stage = eInstall.load();
    WriteLog("SetupDlg::OnBtnInstall, eInstall(%d).\n", stage);
    if (stage == kStageFinished) {
        m_nRunApp = 1;
        RunApp(L" --installmode");
        SendMessageW(m_hWnd, WM_CLOSE, 0, 0);
        return;
    }
    if (stage != kStageWaiting && stage != kStageFailed) {
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
    m_nCfgFlag = (m_pChkDesktop->GetCheck() ? 1 : 0) | (m_pChkExperience->GetCheck() ? 2 : 0);
    if (stage == kStageFailed) {
        UpdateCtrlStatus(1);
    }
    eInstall = kStageRunning;
    m_nProgressPhase = kPhaseDownload;
    if (!m_bRenderStarted.exchange(true)) {
        m_renderThread = std::thread(&SetupDlg::RenderThreadProc, this);
    }
    StartWorker();
}

void SetupDlg::StartWorker() {
    ++m_nWorkers;
    std::thread([this] {
        DoInstall();
        --m_nWorkers;
    }).detach();
}

void SetupDlg::ShowStandardBox(HWND owner, const wchar_t* text, const wchar_t* title) {
    if (m_tuning.messageBox) {
        m_tuning.messageBox(owner, text, title);
    } else {
        MessageBoxW(owner, text, title, MB_OK);
    }
}

void SetupDlg::ShowRefusal(int textId, bool logBox) {
    if (logBox) {
        WriteLog("OnBtnInstall(MySkinMessagxBox)");
    }
    const std::wstring title = AnsiToWide(HeaderText(CurrentHeader().szShortName));
    MySkinMessageBox(m_hWnd, title.c_str(), GetLangString(textId), GetLangString(11));
}

bool SetupDlg::CheckBeforeInstall() {
    const bool is64 = m_tuning.is64BitSystem ? m_tuning.is64BitSystem() : Is64BitWindows();
    if (HeaderIsX64() && !is64) {
        ShowRefusal(32, true);
        return false;
    }
    if (!(m_tuning.isSupportedSystem ? m_tuning.isSupportedSystem() : IsWindows7OrLater())) {
        ShowRefusal(29, true);
        return false;
    }
    const std::wstring folder = ReadEditText();
    CreateFolderChain(folder);
    WriteLog("Install Path Info : %s .", WideToOem(folder).c_str());
    if (!PathFileExists(folder)) {
        ShowRefusal(30, false);
        return false;
    }
    const std::wstring previous = GetInstallDir();
    SetInstallDir(folder);
    const int64_t freeMB = GetFreeSpaceMB(folder);
    WriteLog("FreeSpace Info : %lld MB in %s .", static_cast<long long>(freeMB),
             WideToOem(folder).c_str());
    if (!EnoughFreeSpace(freeMB)) {
        ShowRefusal(31, false);
        return false;
    }
    if (folder != previous) {
        m_nChangeInstallPath = 1;
    }
    return true;
}

void SetupDlg::DoInstall() {
    m_bInstallStarted = 1;
    if (m_pReporter) {
        m_pReporter->MarkStarted();
    }
    if (GetPackageFile().empty()) {
        DownloadPass();
    } else {
        InstallPass();
    }
}

std::wstring SetupDlg::DownloadDestination() const {
    std::string release;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        release = m_strReleaseText;
    }
    const std::string name = MakePackageFileName(m_product->GetPackageName(), release);
    return GetDownloadsPath(GetProductDataRelativePath(), AnsiToWide(name).c_str(), true);
}

void SetupDlg::DownloadPass() {
    const std::string dest = WideToOem(DownloadDestination()).substr(0, kMaxPath - 1);
    IDownloader* download = nullptr;
    const bool created = CreateDownloader(
        &download, m_tuning.downloader ? *m_tuning.downloader : MakeDownloaderTuning());
    if (!created || !download) {
        WriteLog("SetupDlg::DoInstall pDownload = NULL.\n");
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_engineLock);
        if (pDownload) {
            ReleaseDownloader(pDownload);
        }
        pDownload = download;
    }
    if (m_pReporter) {
        m_pReporter->MarkDownloadBegin();
    }
    m_bDownloadDone = false;
    m_nDownloadPercent = 0;
    std::string configUrl = m_product->GetConfigUrl();
    if (IsSetupTestMode()) {
        configUrl += ".test";
    }
    download->SetCallback([this](int e, int a, int b) { return OnDownloadEvent(e, a, b); });
    std::string config;
    if (!LoadResourceText(HeaderIsX64() ? 502 : 501, L"xml", config) || config.empty()) {
        ShowRetryPage();
        return;
    }
    download->StartWithConfigText(config.c_str(), static_cast<int>(config.size()), dest);
    WriteLog("Url : %s\n", configUrl.c_str());
    WaitForDownload(download);

    const int state = download->GetDownloadState();
    WriteLog("Download Finish Result : %s(%d).\n", state == 5 ? "succeed" : "failed", state);
    ReportDownload(download, state);
    {
        std::lock_guard<std::mutex> lock(m_engineLock);
        download->StopDownload();
        ReleaseDownloader(download);
        pDownload = nullptr;
    }
    const std::wstring destW = AnsiToWide(dest);
    if (PathFileExists(destW + L".cfg")) {
        DeleteFilePath(destW + L".cfg");
    }
    if (PathFileExists(destW) && state == 5) {
        WriteLog("Begin install...\n");
        SetPackageFile(destW);
        UpdateCtrlStatus(1);
        eInstall = kStageRunning;
        m_nProgressPhase = kPhaseInstall;
        Sleep(m_tuning.nBeforeInstallPassMs);
        DoInstall();
        return;
    }
    FailDownload(state);
}

void SetupDlg::WaitForDownload(IDownloader* download) {
    const uint32_t start = GetTickCount();
    m_nDownloadStartTick = start;
    while (download->IsDownloading() || !m_bDownloadDone.load()) {
        m_bCdnUsed = download->IsUsingCdn();
        Sleep(m_tuning.nDownloadPollMs);
    }
    int seconds = static_cast<int>((GetTickCount() - start) / 1000);
    Sleep(m_tuning.nAfterDownloadWaitMs);
    if (m_bAlreadyComplete.load()) {
        seconds = 1;
    }
    m_nDownloadSeconds = seconds;
}

void SetupDlg::ReportDownload(IDownloader* download, int state) {
    if (m_pReporter) {
        std::vector<UrlCfg> checked, used;
        download->GetCheckedUrls(checked);
        download->GetUsedUrls(used);
        m_pReporter->SetUrlInfo(ToMirrorRecords(checked), ToMirrorRecords(used));
        DownloadResult r;
        r.bOk = state == 5;
        r.nErrorCode = download->GetErrorCode();
        r.strErrorName = download->GetErrorString();
        r.nCurlCode = download->GetFailedResult();
        r.strLastFailLink = download->GetFailedLink();
        r.strRepairLink = download->GetRepairLink();
        m_pReporter->SetCdnUsed(download->IsUsingCdn());
        m_pReporter->SetDownloadResult(r);
    }
    m_bDownloadOk = state == 5;
    m_nDownloadError = download->GetErrorCode();
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_strDownloadError = download->GetErrorString();
    }
    m_bCdnUsed = download->IsUsingCdn();
}

void SetupDlg::FailDownload(int state) {
    if (state == 3) {
        WriteLog("Download Failed. App need update.\n");
        ShowStandardBox(nullptr, GetLangString(42), L"ERROR");
    } else {
        WriteLog("Download Failed. Show retry.\n");
    }
    ShowRetryPage();
}

void SetupDlg::ShowRetryPage() {
    std::lock_guard<std::mutex> lock(m_stageLock);
    eInstall = kStageFailed;
    UpdateCtrlStatus(3);
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

int SetupDlg::OnDownloadEvent(int event, int a, int b) {
    switch (event) {
        case 3: {
            const int percent = DownloadPercent(a, b);
            m_nDownloadPercent = percent;
            char line[64];
            snprintf(line, sizeof line, "Current Download Pos : %d.\n", percent);
            OutputDebugStringA(line);
            break;
        }
        case 4:
            m_bDownloadDone = true;
            break;
        case 5:
            m_bDownloadFinished = 1;
            if (b == 1) {
                m_bAlreadyComplete = true;
            }
            m_bDownloadDone = true;
            break;
        default:
            break;
    }
    return 1;
}

int SetupDlg::OnInstallProgress(int event, int value, int) {
    m_nInstallProgress = InstallProgressAfterEvent(event, value, m_nInstallProgress.load());
    if (event == 1) {
        m_bShowMainButton = 1;
        Sleep(m_tuning.nInstallEventPauseMs);
    } else if (event == 2) {
        ShowStandardBox(m_hWnd, L"Install Failed!", L"ERROR");
        m_bShowMainButton = 0;
        Sleep(m_tuning.nInstallEventPauseMs);
    }
    return 1;
}

void SetupDlg::InstallPass() {
    const std::wstring package = GetPackageFile();
    if (m_pReporter) {
        m_pReporter->MarkInstallBegin();
    }
    WriteLog("Do Install File : %s", WideToOem(package).c_str());
    PackageHeader header{};
    if (ReadPackageHeader(package.c_str(), header) == S_OK) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_packageHeader = header;
    }
    header = CurrentHeader();
    KillProductProcesses();
    std::wstring dir = GetInstallDir();
    if (!PathFileExists(dir)) {
        wchar_t buffer[kMaxPath] = L"";
        GetDefaultProgramPath(buffer, AnsiToWide(HeaderText(header.szRegistryName)).c_str(), false,
                              header.nX64 != 0);
        dir = buffer;
        SetInstallDir(dir);
    }
    WriteLog("Install Path : %s", WideToOem(dir).c_str());
    const bool bNewFlag = IsNewInstall(dir, header, CurrentFacts());
    KillProductProcesses();
    WriteLog("Begin depack file.\n");
    ClearPreviousInstall(dir);
    MoveToInstallerTemp(dir);
    const int result = InstallFile(package, dir);  // logs "Install File Result"
    m_bInstallOk = result >= 0;
    if (result < 0) {
        WriteLog("Install File FAILED error code = %0X, last error = %d.\n",
                 static_cast<unsigned>(result), GetLastInstallError());
        // The result first, as on success: the close button appears with the page.
        if (m_pReporter) {
            m_pReporter->SetInstallResult(
                InstallResult{false, GetLastInstallError(), GetLastInstallErrorText(), false});
        }
        UpdateCtrlStatus(2);
        eInstall = kStageFinished;
        return;
    }
    m_nInstallProgress = 1000;
    FinishInstall(bNewFlag);
}

void SetupDlg::FinishInstall(bool bNewFlag) {
    const PackageHeader header = CurrentHeader();
    const bool x64 = header.nX64 != 0;
    const std::wstring program = GetProgramPath();
    const bool use64 = GetPlatformKind() == 2 && x64;
    const std::wstring mainExe = use64 ? GetMainExeName64W() : GetMainExeName32W();
    const std::wstring display = use64 ? GetProductTitleW() + L" (x64)" : GetProductTitleW();
    const std::wstring home = AnsiToWide(GetHomePageUrl() + HeaderText(header.szVersion));
    // The worker's own COM apartment, for the shortcut and hand-off steps.
    const bool com = ComInitialize();
    WriteLog("Create Icons for %s", x64 ? "x64" : "x86");
    ShortcutSet set;
    set.strProgramFolder = program;
    set.strMainExe = mainExe;
    set.strDisplayName = display;
    set.strWebAddress = home;
    set.bDesktop = m_pChkDesktop->GetCheck() != 0;
    set.bUserStartMenu = true;
    set.bCommonStartMenu = true;
    CreateIcons(set);
    for (int i = 0; i < 3; ++i) {
        RefreshIcons();
    }
    WriteLog("Refresh Icons Finish.");
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_strInstallId = NewRandomId();
    }
    m_bFinishPageShown = ShowFinishWebPage(bNewFlag);
    WriteLog("New : %d\n", bNewFlag ? 1 : 0);
    RunMainExe(program, mainExe, bNewFlag);
    if (com) {
        ComUninitialize();
    }
    // Before the finished page offers its close: a close from there must
    // find the install's result, or a success would be reported as a cancel.
    if (m_pReporter) {
        m_pReporter->SetInstallResult(InstallResult{
            true, GetLastInstallError(), GetLastInstallErrorText(), m_bFinishPageShown.load()});
    }
    WriteLog("UpdateCtrlStatus(AfterInstall)");
    UpdateCtrlStatus(2);
    eInstall = kStageFinished;
    WriteUninstallEntry(header, CurrentFacts(), m_nCfgFlag.load());
    m_nProgressPhase = kPhaseDone;
    for (int i = 0; i < 3; ++i) {
        UpdateCtrlStatus(2);
    }
    WriteLog("Finish(AfterInstall)");
}

void SetupDlg::KillProductProcesses() {
    for (const std::wstring& name : GetProductProcessNames()) {
        KillProcessByName(name.c_str());
    }
}

bool SetupDlg::ShowFinishWebPage(bool bNewFlag) {
    WriteLog("ShowFinishWebPage bNewFlag(%d)", bNewFlag ? 1 : 0);
    if (!bNewFlag) {
        return false;
    }
    std::string location;
    const std::string previous = GetPreviousProductTitleA();
    const bool hasPrevious =
        (ReadInstallLocation(previous, location) && !location.empty()) ||
        (ReadInstallLocation(previous + "(x64)", location) && !location.empty());
    const PackageHeader header = CurrentHeader();
    const bool x64 = header.nX64 != 0;
    std::string url = hasPrevious ? GetFinishPageUpdateUrl(x64) : GetFinishPageNewUrl(x64);
    url += HeaderText(header.szVersion);
    WriteLog("ShowFinishWebPage : bNewFlag.\n");
    ShellOpen(AnsiToWide(AppendClientParams(url)));
    return true;
}

std::string SetupDlg::AppendClientParams(const std::string& url) {
    const std::string mac = GetClientMacString();
    return AppendClientParam(url, Base64Encode(mac.data(), mac.size()));
}

void SetupDlg::RunApp(const std::wstring& extraArguments) {
    const std::wstring path =
        JoinPath(GetProgramPath(), HeaderIsX64() ? GetMainExeName64W() : GetMainExeName32W());
    WriteLog("Run Kor!!! %s", WideToOem(path).c_str());
    RunAsShellUser(path.c_str(), extraArguments.c_str(), nullptr, 1);
    WriteLog("Finish and Close Setup!");
}

void SetupDlg::OnBtnClose() {
    WriteLog("OnBtnClose(user close)");
    SendMessageW(m_hWnd, WM_CLOSE, 0, 0);
}

// ---- Install steps ----

void SetupDlg::CreateIcons(const ShortcutSet& set) {
    ::CreateIcons(set, MakeShortcutTexts());
}

void SetupDlg::DeleteIcons(const std::wstring& displayName) {
    ::DeleteIcons(displayName);
}

HandOffValues SetupDlg::MakeHandOffValues() const {
    HandOffValues v;
    v.bJoinPlan = m_pChkExperience && m_pChkExperience->GetCheck() != 0;
    v.nDownloadSeconds = m_nDownloadSeconds.load();
    std::lock_guard<std::mutex> lock(m_lock);
    v.strInstallId = m_strInstallId;
    v.strOption = m_strOption;
    v.strSource = m_strSource;
    return v;
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
    const bool use64 = GetPlatformKind() == 2 && header.nX64 != 0;
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
    t.strUninstallApplication = GetLangString(35);
    t.strApplication = GetLangString(36);
    t.strHomepage = GetLangString(38);
    t.strOnline = GetLangString(46);
    t.strUninstallProduct = GetLangString(47);
    return t;
}

// ---- Closing ----

void SetupDlg::OnClose() {
    ShowWindow(m_hWnd, SW_HIDE);
    m_bClosing = 1;
    SendFinalReport();
    for (uint32_t i = 0; i < m_tuning.nCloseWaitSteps; ++i) {
        Sleep(m_tuning.nCloseWaitStepMs);
    }
    RemoveUnhandledExceptionFilter();
    EndDialog(m_hWnd, 0);
}

void SetupDlg::SendFinalReport() {
    if (!m_pReporter) {
        return;
    }
    SendFinalReportWithRetries(m_pReporter.get(), GetReportOptions());
}
