#include "report/install_reporter.h"

#include <boost/format.hpp>
#include <cstdio>
#include <ctime>

#include "data/json_object.h"
#include "platform/system.h"
#include "report/machine_identity.h"
#include "report/system_language.h"

namespace {

const char* kStatusStart = "start";
const char* kStatusInstallFail = "install_fail";
const char* kStatusDownloadFail = "downLoad_fail";

const char* Bits(bool b64) {
    return b64 ? "win64" : "win32";
}
const char* TrueFalse(bool value) {
    return value ? "true" : "false";
}

// Differences of unsigned second stamps, read as signed 32-bit values.
int Seconds(uint32_t end, uint32_t begin) {
    return static_cast<int32_t>(end - begin);
}

std::string MirrorText(const std::vector<ReportUrlInfo>& urls) {
    std::string text;
    for (const auto& url : urls) {
        text += (boost::format("(domain-%1%,invalid-%2%,ping_time-%3%)") % url.strDomain %
                 (url.bFlag ? 1 : 0) % url.nPingTime)
                    .str();
    }
    return text;
}

CJsonObject MirrorArray(const std::vector<ReportUrlInfo>& urls) {
    CJsonObject array;
    for (const auto& url : urls) {
        CJsonObject item;
        item.Add("invalid", url.bFlag ? 1 : 0);
        item.Add("domain", url.strDomain);
        item.Add("ping_time", url.nPingTime);
        array.Add(item);
    }
    return array;
}

std::vector<ReportUrlInfo> ToReportUrls(const std::vector<MirrorRecord>& mirrors) {
    std::vector<ReportUrlInfo> urls;
    urls.reserve(mirrors.size());
    for (const auto& m : mirrors) {
        ReportUrlInfo info;
        info.strUrl = m.url;
        info.bFlag = m.fileSizeConsistent;
        info.nPingTime = m.pingTime;
        info.strDomain = m.domain;
        urls.push_back(info);
    }
    return urls;
}

}  // namespace

InstallReporter::InstallReporter(const std::string& reportUrl, const std::string& uuid,
                                 const std::string& appId, const std::string& option,
                                 const std::string& source, const std::string& appVersion,
                                 bool b64BitPackage, bool b64BitWindows, const std::string& logPath,
                                 const std::string& logUploadUrl, ReporterTuning tuning)
    : m_tuning(std::move(tuning)),
      m_strReportUrl(reportUrl),
      m_strUuid(uuid),
      m_strAppId(appId),
      m_strOption(option),
      m_strSource(source),
      m_strAppVersion(appVersion),
      m_b64BitPackage(b64BitPackage),
      m_b64BitWindows(b64BitWindows),
      m_strLogPath(logPath),
      m_strLogUploadUrl(logUploadUrl) {
    const std::vector<std::string> macs =
        m_tuning.adapters ? GetMacAddressList(*m_tuning.adapters) : GetMacAddressList();
    m_strUserId = macs.empty() ? m_strUuid : macs[0];
    m_strSystemLanguage = SystemLanguageName();
}

std::string InstallReporter::GetUserId() const {
    return m_strUserId;
}
std::string InstallReporter::GetSystemLanguage() const {
    return m_strSystemLanguage;
}

uint32_t InstallReporter::NowSeconds() const {
    const uint32_t ms = m_tuning.tickMs ? m_tuning.tickMs() : GetTickCount();
    return ms / 1000u;
}

std::string InstallReporter::LocalTime() const {
    return m_tuning.localTime ? m_tuning.localTime() : FormatLocalTime();
}

void InstallReporter::SetLanguageName(const std::string& name) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_strLanguageName = name;
}

void InstallReporter::MarkStarted() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bStarted = true;
}

void InstallReporter::MarkDownloadBegin() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_nDownloadBegin = NowSeconds();
    m_bDownloadDone = false;
}

void InstallReporter::SetUrlInfo(const std::vector<MirrorRecord>& probed,
                                 const std::vector<MirrorRecord>& used) {
    std::vector<ReportUrlInfo> probedUrls = ToReportUrls(probed);
    std::vector<ReportUrlInfo> usedUrls = ToReportUrls(used);
    std::lock_guard<std::mutex> guard(m_lock);
    m_vecProbedUrls.swap(probedUrls);
    m_vecUsedUrls.swap(usedUrls);
}

void InstallReporter::SetDownloadResult(const DownloadResult& result) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_nDownloadEnd = NowSeconds();
    m_bDownloadOk = result.bOk;
    m_nDownloadErrorCode = result.nErrorCode;
    m_strDownloadErrorName = result.strErrorName;
    m_nCurlCode = result.nCurlCode;
    m_strLastFailLink = result.strLastFailLink;
    m_strRepairLink = result.strRepairLink;
    m_bDownloadDone = true;
}

void InstallReporter::MarkInstallBegin() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_nInstallBegin = NowSeconds();
    m_bInstalling = true;
}

void InstallReporter::SetInstallResult(const InstallResult& result) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_nInstallEnd = NowSeconds();
    m_bInstallOk = result.bOk;
    m_nInstallErrorCode = result.nErrorCode;
    m_strInstallErrorName = result.strErrorName;
    m_bShowThankYou = result.bShowThankYou;
    m_bInstalling = false;
}

void InstallReporter::SetProgress(int rate, int speed, int averageSpeed, bool bCdnUsed) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_nProgressRate = rate;
    m_nSpeed = speed;
    m_nAverageSpeed = averageSpeed;
    m_bCdnUsed = bCdnUsed;
}

void InstallReporter::SetCdnUsed(bool bCdnUsed) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bCdnUsed = m_bCdnUsed || bCdnUsed;
}

std::string InstallReporter::GetStatusString() {
    std::lock_guard<std::mutex> guard(m_lock);
    return StatusLocked(NowSeconds());
}

// First rule that holds; closing mid-phase stamps that phase's end.
std::string InstallReporter::StatusLocked(uint32_t now) {
    if (!m_bStarted)
        return "cancel";
    if (!m_bDownloadDone) {
        m_nDownloadEnd = now;
        return "donwload_cancel";
    }
    if (m_bInstallOk)
        return "success";
    if (m_bInstalling) {
        m_nInstallEnd = now;
        return "install_cancel";
    }
    if (m_bDownloadOk)
        return kStatusInstallFail;
    return kStatusDownloadFail;
}

std::string InstallReporter::FallbackDocument(const std::string& status) const {
    // Inserted verbatim: this document only stands in when the JSON builder failed.
    return (boost::format(
                "{\"version\":%1%,\"user_id\":\"%2%\",\"uuid\":\"%3%\",\"app_id\":\"%4%\","
                "\"install_status\":\"%5%\"}") %
            kReportVersion % m_strUserId % m_strUuid % m_strAppId % status)
        .str();
}

void InstallReporter::AddCommonMembers(CJsonObject& doc) const {
    doc.Add("version", kReportVersion);
    doc.Add("user_id", m_strUserId);
    doc.Add("system_language", m_strSystemLanguage);
    doc.Add("language", m_strLanguageName);
    doc.Add("uuid", m_strUuid);
    doc.Add("app_id", m_strAppId);
    doc.Add("option", m_strOption);
    doc.Add("source", m_strSource);
    doc.Add("app_type", Bits(m_b64BitPackage));
    doc.Add("system_type", Bits(m_b64BitWindows));
}

std::string InstallReporter::BuildStartDocument() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_nRunBegin = NowSeconds();
    CJsonObject doc;
    AddCommonMembers(doc);
    doc.Add("localtime", LocalTime());
    doc.Add("app_version", m_strAppVersion);
    doc.Add("install_status", kStatusStart);
    std::string text = doc.ToString();
    return text.empty() ? FallbackDocument(kStatusStart) : text;
}

void InstallReporter::AddMirrorMembers(CJsonObject& doc) const {
    if (!m_vecProbedUrls.empty()) {
        doc.Add("all_url_info", MirrorArray(m_vecProbedUrls));
        doc.Add("all_url_info_str", MirrorText(m_vecProbedUrls));
    }
    if (!m_vecUsedUrls.empty()) {
        doc.Add("used_url_info", MirrorArray(m_vecUsedUrls));
        doc.Add("used_url_info_str", MirrorText(m_vecUsedUrls));
    }
}

std::string InstallReporter::BuildFinalDocument(const ReportOptions& options, std::string* status,
                                                std::string* logFile) {
    std::lock_guard<std::mutex> guard(m_lock);
    const uint32_t now = NowSeconds();
    const std::string state = StatusLocked(now);
    const bool failed = state == kStatusInstallFail || state == kStatusDownloadFail;
    if (m_nDownloadEnd == 0)
        m_nDownloadEnd = now;
    m_nRunEnd = now;
    const int downloadSeconds = Seconds(m_nDownloadEnd, m_nDownloadBegin);
    const int installSeconds = Seconds(m_nInstallEnd, m_nInstallBegin);
    const int runSeconds = Seconds(m_nRunEnd, m_nRunBegin);

    // One flat list on purpose: it reads in the order the service receives the members.
    CJsonObject doc;
    AddCommonMembers(doc);
    doc.Add("install_status", state);
    doc.Add("localtime", LocalTime());
    doc.Add("amazon_download", TrueFalse(m_bCdnUsed));
    doc.Add("show_thankyou", TrueFalse(m_bShowThankYou));
    doc.Add("download_last_error", m_strDownloadErrorName);
    doc.Add("install_last_error", m_strInstallErrorName);
    doc.Add("download_second", downloadSeconds);
    doc.Add("download_time_string", FormatDuration(downloadSeconds));
    doc.Add("install_second", installSeconds);
    doc.Add("install_time_string", FormatDuration(installSeconds));
    doc.Add("app_run_second", runSeconds);
    doc.Add("app_run_time_string", FormatDuration(runSeconds));
    doc.Add("progress_rate", m_nProgressRate);
    doc.Add("speed_string", FormatReportSize(m_nSpeed));
    doc.Add("average_speed_string", FormatReportSize(m_nAverageSpeed));
    doc.Add("speed", m_nSpeed);
    doc.Add("average_speed", m_nAverageSpeed);
    doc.Add("auto_install", TrueFalse(options.nAutoInstall));
    doc.Add("run_app", TrueFalse(options.nRunApp));
    doc.Add("change_install_path", TrueFalse(options.nChangeInstallPath));
    doc.Add("add_plan", TrueFalse(options.nAddPlan));
    doc.Add("create_desktop", TrueFalse(options.nCreateDesktop));
    doc.Add("app_version", m_strAppVersion);
    if (state == kStatusDownloadFail) {
        doc.Add("curl_error", m_nCurlCode);
        doc.Add("last_fail_link", m_strLastFailLink);
        doc.Add("repair_link", m_strRepairLink);
    }
    AddMirrorMembers(doc);

    if (status)
        *status = state;
    if (logFile)
        *logFile = failed ? m_strLogPath : std::string();
    std::string text = doc.ToString();
    return text.empty() ? FallbackDocument(state) : text;
}

bool InstallReporter::SendStart() {
    const std::string text = BuildStartDocument();
    return PostReport(m_strReportUrl, text, m_strAppId);
}

bool InstallReporter::SendFinal(const ReportOptions& options) {
    std::string status;
    std::string logFile;
    const std::string text = BuildFinalDocument(options, &status, &logFile);
    const bool accepted = PostReport(m_strReportUrl, text, m_strAppId);
    // Every attempt uploads after a failure, whether its post went through or not.
    if (!logFile.empty())
        UploadLog(m_strLogUploadUrl, m_strUuid, logFile, m_strAppId, status);
    return accepted;
}

std::string InstallReporter::FormatReportSize(int bytes) {
    char text[64];
    if (bytes > 1048576) {
        snprintf(text, sizeof(text), "%.2fMB", bytes / 1048576.0);
    } else if (bytes > 1024) {
        snprintf(text, sizeof(text), "%.2fKB", bytes / 1024.0);
    } else {
        snprintf(text, sizeof(text), "%dByte", bytes);
    }
    return text;
}

std::string InstallReporter::FormatDuration(int seconds) {
    if (seconds < 0)
        return "";
    char text[64];
    snprintf(text, sizeof(text), "%02d:%02d:%02d", seconds / 3600, seconds % 3600 / 60,
             seconds % 60);
    return text;
}

std::string InstallReporter::FormatLocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    snprintf(text, sizeof(text), "%d-%02d-%02d_%02d:%02d:%02d", local.tm_year + 1900,
             local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

int SendStartReport(InstallReporter* reporter) {
    if (!reporter)
        return 0;
    const ReporterTuning& tuning = reporter->Tuning();
    for (int attempt = 0; attempt < tuning.nAttempts; ++attempt) {
        if (reporter->SendStart())
            break;
        Sleep(tuning.nRetryPauseMs);
    }
    return 0;
}

bool SendFinalReportWithRetries(InstallReporter* reporter, const ReportOptions& options) {
    if (!reporter)
        return false;
    const ReporterTuning& tuning = reporter->Tuning();
    for (int attempt = 0; attempt < tuning.nAttempts; ++attempt) {
        if (reporter->SendFinal(options))
            return true;
        Sleep(tuning.nRetryPauseMs);
    }
    return false;
}
