// The install workflow's stage machine: the download pass and the
// installation pass on the install worker, the engine's and the
// installation's events, and the steps after the extraction.
#include "app/setup_workflow.h"

#include "app/product_facts_app.h"
#include "app/product_info.h"
#include "app/startup.h"
#include "app/workflow_rules.h"
#include "download/downloader.h"
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

// Counts a thread in the workflow's running workers for its life.
class WorkerCount {
public:
    explicit WorkerCount(std::atomic<int>& count) : m_count(count) {}
    ~WorkerCount() { --m_count; }

private:
    std::atomic<int>& m_count;
};

}  // namespace

const std::string& RunMachineGuid() {
    static const std::string guid = MakeMachineGuid();
    return guid;
}

SetupWorkflow::SetupWorkflow(std::shared_ptr<IProductInfo> product, const SetupTuning& tuning,
                             IWorkflowWindow& window)
    : m_product(std::move(product)), m_tuning(tuning), m_window(window) {}

SetupWorkflow::~SetupWorkflow() {
    Stop();
}

void SetupWorkflow::Start(const std::string& option, const std::string& source) {
    ++m_nWorkers;
    m_releaseThread = std::thread([this] {
        WorkerCount count(m_nWorkers);
        LoadReleaseText();
    });
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
}

void SetupWorkflow::BeginInstall() {
    eInstall = InstallStage::kRunning;
    m_nProgressPhase = ProgressPhase::kDownload;
    // A retry follows a worker that has shown the retry page and is returning.
    if (m_worker.joinable()) {
        m_worker.join();
    }
    ++m_nWorkers;
    m_worker = std::thread([this] {
        WorkerCount count(m_nWorkers);
        DoInstall();
    });
}

void SetupWorkflow::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_stopLock);
        m_bStopping = true;
    }
    m_stopWake.notify_all();
    for (std::thread* t : {&m_worker, &m_releaseThread}) {
        if (t->joinable()) {
            t->join();
        }
    }
    std::lock_guard<std::mutex> lock(m_engineLock);
    if (pDownload) {
        pDownload->StopDownload();
        ReleaseDownloader(pDownload);
        pDownload = nullptr;
    }
}

bool SetupWorkflow::Pause(uint32_t ms) {
    std::unique_lock<std::mutex> lock(m_stopLock);
    return !m_stopWake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return Stopping(); });
}

void SetupWorkflow::LoadReleaseText() {
    std::string text;
    if (!ReadReleaseResource(m_product->IsX64() != 0, text)) {
        m_window.PostPage(WindowPage::kFailed);
        return;
    }
    if (text.size() > 5) {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_strReleaseText = text;
        }
        m_window.PostReleaseLabel();
    }
}

void SetupWorkflow::EnterStage(InstallStage stage, WindowPage page) {
    eInstall = stage;
    m_window.PostPage(page);
}

void SetupWorkflow::DoInstall() {
    m_bInstallStarted = true;
    if (m_pReporter) {
        m_pReporter->MarkStarted();
    }
    if (GetPackageFile().empty()) {
        DownloadPass();
    } else {
        InstallPass();
    }
}

std::wstring SetupWorkflow::DownloadDestination() const {
    const std::string name = MakePackageFileName(m_product->GetPackageName(), ReleaseText());
    return GetDownloadsPath(GetProductDataRelativePath(), AnsiToWide(name).c_str(), true);
}

void SetupWorkflow::DownloadPass() {
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
    if (Stopping()) {
        ReleaseEngine(download);  // the window has closed: no result to show
        return;
    }

    const int state = download->GetDownloadState();
    WriteLog("Download Finish Result : %s(%d).\n", state == kStateFinished ? "succeed" : "failed",
             state);
    ReportDownload(download, state);
    ReleaseEngine(download);
    const std::wstring destW = AnsiToWide(dest);
    if (PathFileExists(destW + L".cfg")) {
        DeleteFilePath(destW + L".cfg");
    }
    if (PathFileExists(destW) && state == kStateFinished) {
        WriteLog("Begin install...\n");
        SetPackageFile(destW);
        EnterStage(InstallStage::kRunning, WindowPage::kInstalling);
        m_nProgressPhase = ProgressPhase::kInstall;
        if (Pause(m_tuning.nBeforeInstallPassMs)) {
            DoInstall();
        }
        return;
    }
    FailDownload(state);
}

void SetupWorkflow::ReleaseEngine(IDownloader* download) {
    std::lock_guard<std::mutex> lock(m_engineLock);
    download->StopDownload();
    ReleaseDownloader(download);
    pDownload = nullptr;
}

bool SetupWorkflow::WithEngine(const std::function<void(IDownloader&)>& use) {
    std::lock_guard<std::mutex> lock(m_engineLock);
    if (!pDownload) {
        return false;
    }
    use(*pDownload);
    return true;
}

void SetupWorkflow::WaitForDownload(IDownloader* download) {
    const uint32_t start = GetTickCount();
    m_nDownloadStartTick = start;
    while (download->IsDownloading() || !m_bDownloadDone.load()) {
        m_bCdnUsed = download->IsUsingCdn();
        if (!Pause(m_tuning.nDownloadPollMs)) {
            return;
        }
    }
    int seconds = static_cast<int>((GetTickCount() - start) / 1000);
    Pause(m_tuning.nAfterDownloadWaitMs);
    if (m_bAlreadyComplete.load()) {
        seconds = 1;
    }
    m_nDownloadSeconds = seconds;
}

void SetupWorkflow::ReportDownload(IDownloader* download, int state) {
    if (m_pReporter) {
        std::vector<UrlCfg> checked, used;
        download->GetCheckedUrls(checked);
        download->GetUsedUrls(used);
        m_pReporter->SetUrlInfo(ToMirrorRecords(checked), ToMirrorRecords(used));
        DownloadResult r;
        r.bOk = state == kStateFinished;
        r.nErrorCode = download->GetErrorCode();
        r.strErrorName = download->GetErrorString();
        r.nCurlCode = download->GetFailedResult();
        r.strLastFailLink = download->GetFailedLink();
        r.strRepairLink = download->GetRepairLink();
        m_pReporter->SetCdnUsed(download->IsUsingCdn());
        m_pReporter->SetDownloadResult(r);
    }
    m_bDownloadOk = state == kStateFinished;
    m_nDownloadError = download->GetErrorCode();
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_strDownloadError = download->GetErrorString();
    }
    m_bCdnUsed = download->IsUsingCdn();
}

void SetupWorkflow::FailDownload(int state) {
    if (state == kStateNeedUpdate) {
        WriteLog("Download Failed. App need update.\n");
        ShowStandardBox(nullptr, GetLangString(kStrOutOfDate), L"ERROR");
    } else {
        WriteLog("Download Failed. Show retry.\n");
    }
    ShowRetryPage();
}

void SetupWorkflow::ShowRetryPage() {
    EnterStage(InstallStage::kFailed, WindowPage::kFailed);
}

void SetupWorkflow::ShowStandardBox(HWND owner, const wchar_t* text, const wchar_t* title) {
    if (m_tuning.messageBox) {
        m_tuning.messageBox(owner, text, title);
    } else {
        MessageBoxW(owner, text, title, MB_OK);
    }
}

int SetupWorkflow::OnDownloadEvent(int event, int a, int b) {
    switch (event) {
        case kEventProgress: {
            const int percent = DownloadPercent(a, b);
            m_nDownloadPercent = percent;
            char line[64];
            snprintf(line, sizeof line, "Current Download Pos : %d.\n", percent);
            OutputDebugStringA(line);
            break;
        }
        case kEventFailed:
            m_bDownloadDone = true;
            break;
        case kEventFinished:
            m_bDownloadFinished = true;
            if (b == 1) {  // the file was complete on disk already
                m_bAlreadyComplete = true;
            }
            m_bDownloadDone = true;
            break;
        default:
            break;
    }
    return 1;
}

int SetupWorkflow::OnInstallProgress(int event, int value, int) {
    m_nInstallProgress = InstallProgressAfterEvent(event, value, m_nInstallProgress.load());
    if (event == kInstallFinished) {
        m_bShowMainButton = true;
        Pause(m_tuning.nInstallEventPauseMs);
    } else if (event == kInstallFailed) {
        ShowStandardBox(m_window.OwnerWindow(), L"Install Failed!", L"ERROR");
        m_bShowMainButton = false;
        Pause(m_tuning.nInstallEventPauseMs);
    }
    return 1;
}

void SetupWorkflow::InstallPass() {
    const std::wstring package = GetPackageFile();
    if (m_pReporter) {
        m_pReporter->MarkInstallBegin();
    }
    WriteLog("Do Install File : %s", WideToOem(package).c_str());
    PackageHeader header{};
    if (ReadPackageHeader(package.c_str(), header) == S_OK) {
        SetHeader(header);
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
    m_window.MoveToInstallerTemp(dir);
    const int result = m_window.InstallFile(package, dir);  // logs "Install File Result"
    m_bInstallOk = result >= 0;
    if (result < 0) {
        WriteLog("Install File FAILED error code = %0X, last error = %d.\n",
                 static_cast<unsigned>(result), GetLastInstallError());
        // The result first, as on success: the close button appears with the page.
        if (m_pReporter) {
            m_pReporter->SetInstallResult(
                InstallResult{false, GetLastInstallError(), GetLastInstallErrorText(), false});
        }
        EnterStage(InstallStage::kFinished, WindowPage::kFinished);
        return;
    }
    m_nInstallProgress = 1000;
    FinishInstall(bNewFlag);
}

void SetupWorkflow::FinishInstall(bool bNewFlag) {
    const PackageHeader header = CurrentHeader();
    const bool x64 = header.nX64 != 0;
    const std::wstring program = GetProgramPath();
    const bool use64 = GetPlatformKind() == kPlatformSeparate64 && x64;
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
    // The boxes were read into the options at the click and are hidden since.
    set.bDesktop = (m_nCfgFlag.load() & 1) != 0;
    set.bUserStartMenu = true;
    set.bCommonStartMenu = true;
    m_window.CreateIcons(set);
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
    m_window.RunMainExe(program, mainExe, bNewFlag);
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
    EnterStage(InstallStage::kFinished, WindowPage::kFinished);
    WriteUninstallEntry(header, CurrentFacts(), m_nCfgFlag.load());
    m_nProgressPhase = ProgressPhase::kDone;
    for (int i = 0; i < 3; ++i) {
        m_window.PostPage(WindowPage::kFinished);
    }
    WriteLog("Finish(AfterInstall)");
}

void SetupWorkflow::KillProductProcesses() {
    for (const std::wstring& name : GetProductProcessNames()) {
        KillProcessByName(name.c_str());
    }
}

bool SetupWorkflow::ShowFinishWebPage(bool bNewFlag) {
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

std::string SetupWorkflow::AppendClientParams(const std::string& url) const {
    const std::string mac = GetClientMacString();
    return AppendClientParam(url, Base64Encode(mac.data(), mac.size()));
}

void SetupWorkflow::RunApp(const std::wstring& extraArguments) {
    const std::wstring path =
        JoinPath(GetProgramPath(), HeaderIsX64() ? GetMainExeName64W() : GetMainExeName32W());
    WriteLog("Run Kor!!! %s", WideToOem(path).c_str());
    RunAsShellUser(path.c_str(), extraArguments.c_str(), nullptr, 1);
    WriteLog("Finish and Close Setup!");
}

HandOffValues SetupWorkflow::MakeHandOffValues() const {
    HandOffValues v;
    v.bJoinPlan = (m_nCfgFlag.load() & 2) != 0;
    v.nDownloadSeconds = m_nDownloadSeconds.load();
    std::lock_guard<std::mutex> lock(m_lock);
    v.strInstallId = m_strInstallId;
    v.strOption = m_strOption;
    v.strSource = m_strSource;
    return v;
}

// ---- The record and the strings ----

PackageHeader SetupWorkflow::CurrentHeader() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_packageHeader;
}

void SetupWorkflow::SetHeader(const PackageHeader& header) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_packageHeader = header;
}

bool SetupWorkflow::HeaderIsX64() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_packageHeader.nX64 != 0;
}

InstallProductFacts SetupWorkflow::CurrentFacts() const {
    return MergeHeaderFacts(MakeInstallFacts(*m_product), CurrentHeader());
}

std::wstring SetupWorkflow::GetInstallDir() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_strInstallDir;
}

void SetupWorkflow::SetInstallDir(const std::wstring& dir) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_strInstallDir = dir;
}

std::wstring SetupWorkflow::GetPackageFile() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_strPackageFile;
}

void SetupWorkflow::SetPackageFile(const std::wstring& file) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_strPackageFile = file;
}

std::string SetupWorkflow::ReleaseText() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_strReleaseText;
}

SetupOutcome SetupWorkflow::GetOutcome() const {
    SetupOutcome o;
    o.bDownloadOk = m_bDownloadOk;
    o.bInstallOk = m_bInstallOk;
    o.bCdnUsed = m_bCdnUsed;
    o.bFinishPageShown = m_bFinishPageShown;
    o.nDownloadError = m_nDownloadError;
    std::lock_guard<std::mutex> lock(m_lock);
    o.strDownloadError = m_strDownloadError;
    return o;
}

ReportOptions SetupWorkflow::GetReportOptions() const {
    ReportOptions o;
    o.nAutoInstall = m_nAutoInstall;
    o.nRunApp = m_nRunApp;
    o.nChangeInstallPath = m_nChangeInstallPath;
    o.nAddPlan = m_nAddPlan;
    o.nCreateDesktop = m_nCreateDesktop;
    return o;
}
