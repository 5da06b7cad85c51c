// The install status reports: a start report when the installer window is set
// up and a final report with the run's outcome when it closes, both posted as
// multipart forms to the vendor's web service, plus the log upload after a
// failed run.
//
// Threads: the start-report thread (SendStart), the install workflow
// (Mark*, Set*Result, SetUrlInfo) and the UI thread (SetProgress, SendFinal)
// use one reporter at the same time. Every field sits behind the reporter's
// one lock; posts and uploads run outside it, so a slow service never blocks
// the workflow or the painter.
// Ownership: created with new and owned by the setup dialog until the process ends.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/adapters.h"

class CJsonObject;

// URL paths of the vendor's web service.
constexpr const char* kReportPath = "/api/install/online.php";
constexpr const char* kLogUploadPath = "/api/install/index_log.php";
constexpr int kReportVersion = 1015;

// The service's reply rule: true only when the reply is an object whose
// member "result" is an object whose member "res" is the literal true.
bool IsAcceptedReply(const std::string& reply);

// One mirror as the report sees it.
struct ReportUrlInfo {
    std::string strUrl;  // kept, never reported
    bool bFlag = false;  // the mirror's file size matched; reported as "invalid"
    int nPingTime = 0;   // milliseconds
    std::string strDomain;
};

// A mirror as the download engine describes it; the app copies the engine's
// lists into these so that this module needs nothing from the engine.
struct MirrorRecord {
    std::string url;
    std::string domain;
    bool fileSizeConsistent = false;
    bool networkNotFull = false;
    int pingTime = 0;
};

struct DownloadResult {
    bool bOk = false;
    int nErrorCode = 0;
    std::string strErrorName;
    int nCurlCode = 0;
    std::string strLastFailLink;
    std::string strRepairLink;
};

struct InstallResult {
    bool bOk = false;
    int nErrorCode = 0;
    std::string strErrorName;
    bool bShowThankYou = false;
};

// The user's choices for the final report, each 0 or 1.
struct ReportOptions {
    uint8_t nUnused = 0;  // not reported
    uint8_t nAutoInstall = 0;
    uint8_t nRunApp = 0;
    uint8_t nChangeInstallPath = 0;
    uint8_t nAddPlan = 0;
    uint8_t nCreateDesktop = 0;
};

// Timings and sources the product fixes; tests shorten or replace them.
struct ReporterTuning {
    int nAttempts = 10;            // posts per report
    uint32_t nRetryPauseMs = 500;  // pause after a failed post
    long nPostTimeoutSec = 20;     // whole report post
    // A log upload ends when it moved less than nUploadLowSpeedBytesPerSec
    // for nUploadLowSpeedSec in a row (a dead link), or at nUploadCeilingSec
    // in any case; a slow link that still moves may use the whole ceiling.
    long nUploadLowSpeedBytesPerSec = 1024;
    long nUploadLowSpeedSec = 15;
    long nUploadCeilingSec = 300;
    std::function<uint32_t()> tickMs;            // GetTickCount when empty
    std::function<std::string()> localTime;      // FormatLocalTime when empty
    const IAdapterProvider* adapters = nullptr;  // the system's table when null
    // HTTPS endpoints are verified against the system's CA store; a file named
    // here replaces it (tests trust their own CA this way).
    std::string caFile;
};

class InstallReporter {
public:
    InstallReporter(const std::string& reportUrl, const std::string& uuid, const std::string& appId,
                    const std::string& option, const std::string& source,
                    const std::string& appVersion, bool b64BitPackage, bool b64BitWindows,
                    const std::string& logPath, const std::string& logUploadUrl,
                    ReporterTuning tuning = ReporterTuning());
    InstallReporter(const InstallReporter&) = delete;
    InstallReporter& operator=(const InstallReporter&) = delete;

    // The English name of the interface language; set before the start report.
    void SetLanguageName(const std::string& name);

    // Posts the start report once; true when the service accepted it.
    bool SendStart();
    // Builds and posts the final report, then uploads the log after a failure.
    bool SendFinal(const ReportOptions& options);
    // The run's outcome; may stamp the download or install end (see the status rule).
    std::string GetStatusString();

    void MarkStarted();
    void MarkDownloadBegin();
    void SetUrlInfo(const std::vector<MirrorRecord>& probed, const std::vector<MirrorRecord>& used);
    void SetDownloadResult(const DownloadResult& result);
    void MarkInstallBegin();
    void SetInstallResult(const InstallResult& result);
    void SetProgress(int rate, int speed, int averageSpeed, bool bCdnUsed);
    // The engine's own account at the download's end: the painter's last
    // frame may have come before the CDN took over.
    void SetCdnUsed(bool bCdnUsed);

    // Multipart post of "json_data" and "app_id"; true only for the reply
    // {"result":{"res":true}}.
    bool PostReport(const std::string& url, const std::string& jsonText,
                    const std::string& appId) const;
    // Multipart post of "app_id", "log_type" and the file part "install_log"
    // named `fileName`; false without a request when an argument is empty or
    // the file is missing. The reply is not examined.
    bool UploadLog(const std::string& url, const std::string& fileName, const std::string& filePath,
                   const std::string& appId, const std::string& logType) const;

    static std::string FormatReportSize(int bytes);
    static std::string FormatDuration(int seconds);
    static std::string FormatLocalTime();

    // The documents as they would be posted now (the final one stamps times
    // exactly as SendFinal does); the text SendStart/SendFinal post.
    std::string BuildStartDocument();
    std::string BuildFinalDocument(const ReportOptions& options, std::string* status = nullptr,
                                   std::string* logFile = nullptr);

    const ReporterTuning& Tuning() const { return m_tuning; }
    std::string GetUserId() const;
    std::string GetSystemLanguage() const;

private:
    uint32_t NowSeconds() const;
    std::string LocalTime() const;
    std::string StatusLocked(uint32_t now);
    std::string FallbackDocument(const std::string& status) const;
    void AddCommonMembers(CJsonObject& doc) const;
    void AddMirrorMembers(CJsonObject& doc) const;

    const ReporterTuning m_tuning;
    const std::string m_strReportUrl;
    const std::string m_strUuid;
    const std::string m_strAppId;
    const std::string m_strOption;
    const std::string m_strSource;
    const std::string m_strAppVersion;
    const bool m_b64BitPackage;
    const bool m_b64BitWindows;
    const std::string m_strLogPath;
    const std::string m_strLogUploadUrl;
    std::string m_strUserId;
    std::string m_strSystemLanguage;

    mutable std::mutex m_lock;  // guards everything below
    std::string m_strLanguageName;
    std::string m_strLastFailLink;
    std::string m_strRepairLink;
    std::string m_strDownloadErrorName;
    std::string m_strInstallErrorName;
    int m_nDownloadErrorCode = 0;
    int m_nInstallErrorCode = 0;
    int m_nCurlCode = 0;
    int m_nProgressRate = 0;
    int m_nSpeed = 0;
    int m_nAverageSpeed = 0;
    bool m_bCdnUsed = false;
    bool m_bShowThankYou = false;
    bool m_bDownloadOk = false;
    bool m_bInstallOk = false;
    bool m_bStarted = false;
    bool m_bInstalling = false;
    bool m_bDownloadDone = false;
    uint32_t m_nRunBegin = 0;
    uint32_t m_nRunEnd = 0;
    uint32_t m_nDownloadBegin = 0;
    uint32_t m_nDownloadEnd = 0;
    uint32_t m_nInstallBegin = 0;
    uint32_t m_nInstallEnd = 0;
    std::vector<ReportUrlInfo> m_vecProbedUrls;
    std::vector<ReportUrlInfo> m_vecUsedUrls;
};

// Thread procedure of the start report: up to nAttempts SendStart calls with
// the tuning's pause after each failure. Always 0; a null reporter returns at once.
int SendStartReport(InstallReporter* reporter);
// The close handling's loop around SendFinal, same attempts and pause; true
// when one attempt was accepted. A null reporter gives false at once.
bool SendFinalReportWithRetries(InstallReporter* reporter, const ReportOptions& options);
