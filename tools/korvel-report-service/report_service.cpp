#include "report_service.h"

#include <cjson/cJSON.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

namespace fs = std::filesystem;

namespace {

using JsonPtr = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

// The whole text must be one JSON value: trailing bytes (or an embedded NUL) fail.
JsonPtr ParseJson(const std::string& text) {
    const char* end = nullptr;
    JsonPtr doc(cJSON_ParseWithLengthOpts(text.c_str(), text.size() + 1, &end, 1), cJSON_Delete);
    if (doc && end != text.c_str() + text.size())
        doc.reset();
    return doc;
}

std::string PrintJson(const cJSON* node) {
    char* text = cJSON_PrintUnformatted(node);
    std::string out = text ? text : "";
    cJSON_free(text);
    return out;
}

int64_t NowUnix() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The one part named `name`; null when it is missing, false when it repeats.
bool FindSingle(const std::vector<FormField>& fields, const char* name, const FormField*& out) {
    out = nullptr;
    for (const auto& field : fields) {
        if (field.name != name)
            continue;
        if (out)
            return false;
        out = &field;
    }
    return true;
}

// Hostile numbers (1e300) must not overflow the cast.
int64_t ClampToInt64(double value) {
    if (!(value > -9.2e18))
        return value != value ? 0 : INT64_MIN;
    if (value > 9.2e18)
        return INT64_MAX;
    return static_cast<int64_t>(value);
}

std::string StringMember(const cJSON* object, const char* key) {
    const cJSON* item = cJSON_GetObjectItemCaseSensitive(object, key);
    return cJSON_IsString(item) ? item->valuestring : "";
}

}  // namespace

bool ReportService::Open(const ServiceOptions& options, std::string& error) {
    m_options = options;
    m_limiter = std::make_unique<PostLimiter>(options.maxPostsPerMinute, options.limiterClock);
    if (!m_options.logDir.empty()) {
        std::error_code ec;
        fs::create_directories(m_options.logDir, ec);
        if (ec || !fs::is_directory(m_options.logDir)) {
            error = "cannot create log folder " + m_options.logDir;
            return false;
        }
    }
    return m_store.Open(m_options.dbPath, error);
}

std::string ReportService::LogCopyPath(const std::string& uuid) {
    if (m_options.logDir.empty())
        return {};
    // Copies of one run get their own files; the uuid is checked hex, safe in a path.
    const uint64_t serial = ++m_nLogSerial;
    return (fs::path(m_options.logDir) /
            (uuid + "_" + std::to_string(Now()) + "_" + std::to_string(serial) + ".log"))
        .string();
}

void ReportService::WriteLogCopy(const StoredLog& log, const std::string& content) {
    if (log.strFile.empty())
        return;
    std::ofstream out(log.strFile, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out)
        fprintf(stderr, "korvel-report-service: cannot write %s\n", log.strFile.c_str());
}

int64_t ReportService::Now() const {
    return m_options.wallClock ? m_options.wallClock() : NowUnix();
}

bool ReportService::AdmitPost(const std::string& clientAddr, ServiceReply& reply) {
    if (m_limiter->Admit(clientAddr))
        return true;
    ++m_nRateLimited;
    reply = Rejected(429, "too many posts from this address, try again later");
    return false;
}

ServiceReply ReportService::Accepted() {
    return {200, "application/json", "{\"result\":{\"res\":true}}"};
}

ServiceReply ReportService::Rejected(int status, const std::string& error) {
    JsonPtr root(cJSON_CreateObject(), cJSON_Delete);
    cJSON* result = cJSON_AddObjectToObject(root.get(), "result");
    cJSON_AddFalseToObject(result, "res");
    cJSON_AddStringToObject(result, "error", error.c_str());
    return {status, "application/json", PrintJson(root.get())};
}

bool ReportService::IsKnownStatus(const std::string& status) {
    static const std::set<std::string> known = {"start",          "cancel",  "donwload_cancel",
                                                "install_cancel", "success", "install_fail",
                                                "downLoad_fail"};
    return known.count(status) != 0;
}

bool IsCleanUtf8(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char c = *p++;
        if (c == 0)
            return false;
        if (c < 0x80)
            continue;
        int more = 0;
        uint32_t code = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1, code = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2, code = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3, code = c & 0x07;
        } else {
            return false;
        }
        if (end - p < more)
            return false;
        for (int i = 0; i < more; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (p[i] & 0x3F);
        }
        p += more;
        const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (code < least[more] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
    }
    return true;
}

bool ReportService::IsRunUuid(const std::string& text) {
    if (text.size() != 32)
        return false;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

ServiceReply ReportService::HandleReport(const std::vector<FormField>& fields,
                                         const std::string& clientAddr) {
    ServiceReply refusal;
    if (!AdmitPost(clientAddr, refusal))
        return refusal;
    const FormField* json = nullptr;
    const FormField* appId = nullptr;
    if (!FindSingle(fields, "json_data", json) || !FindSingle(fields, "app_id", appId)) {
        return Rejected(400, "repeated form part");
    }
    if (!json)
        return Rejected(400, "missing json_data");
    if (!appId)
        return Rejected(400, "missing app_id");
    // Both stores must hold the same texts: PostgreSQL refuses bad UTF-8 and NUL.
    if (!IsCleanUtf8(appId->content))
        return Rejected(400, "app_id is not UTF-8 text");
    JsonPtr doc = ParseJson(json->content);
    if (!doc)
        return Rejected(400, "json_data is not JSON");
    if (!cJSON_IsObject(doc.get()))
        return Rejected(400, "json_data is not a JSON object");
    const cJSON* version = cJSON_GetObjectItemCaseSensitive(doc.get(), "version");
    if (!cJSON_IsNumber(version))
        return Rejected(400, "version missing or not a number");
    const std::string status = StringMember(doc.get(), "install_status");
    if (!IsKnownStatus(status))
        return Rejected(400, "unknown install_status");
    const std::string uuid = StringMember(doc.get(), "uuid");
    if (!IsCleanUtf8(uuid))
        return Rejected(400, "uuid is not UTF-8 text");

    StoredReport report;
    report.nReceivedAt = Now();
    report.strClientAddr = clientAddr;
    report.strAppId = appId->content;
    report.strUuid = uuid;
    report.strStatus = status;
    report.nVersion = ClampToInt64(version->valuedouble);
    report.strDocument = json->content;  // kept byte for byte
    int64_t id = 0;
    if (!m_store.AddReport(report, id))
        return Rejected(500, "storage failed");
    return Accepted();
}

ServiceReply ReportService::HandleLogUpload(const std::vector<FormField>& fields,
                                            const std::string& clientAddr) {
    ServiceReply refusal;
    if (!AdmitPost(clientAddr, refusal))
        return refusal;
    const FormField* appId = nullptr;
    const FormField* logType = nullptr;
    const FormField* log = nullptr;
    if (!FindSingle(fields, "app_id", appId) || !FindSingle(fields, "log_type", logType) ||
        !FindSingle(fields, "install_log", log)) {
        return Rejected(400, "repeated form part");
    }
    if (!appId)
        return Rejected(400, "missing app_id");
    if (!logType)
        return Rejected(400, "missing log_type");
    if (!log)
        return Rejected(400, "missing install_log");
    if (!IsCleanUtf8(appId->content) || !IsCleanUtf8(logType->content))
        return Rejected(400, "app_id or log_type is not UTF-8 text");
    if (!IsRunUuid(log->filename)) {
        return Rejected(400, "install_log file name is not a 32-digit upper-case hex uuid");
    }
    if (log->content.size() > m_options.maxLogBytes) {
        return Rejected(
            400, "install_log larger than " + std::to_string(m_options.maxLogBytes) + " bytes");
    }
    StoredLog stored;
    stored.nReceivedAt = Now();
    stored.strClientAddr = clientAddr;
    stored.strAppId = appId->content;
    stored.strLogType = logType->content;
    stored.strUuid = log->filename;
    stored.nSize = static_cast<int64_t>(log->content.size());
    stored.strFile = LogCopyPath(stored.strUuid);
    int64_t id = 0;
    switch (m_store.AddLog(stored, log->content, m_options.logQuota, id)) {
        case LogOutcome::Stored:
            WriteLogCopy(stored, log->content);
            return Accepted();
        case LogOutcome::CopyLimit:
            // Retries of one run send the same log again: enough copies are kept.
            m_store.Bump(counter::kLogCopiesDropped);
            return Accepted();
        case LogOutcome::StoreFull:
            m_store.Bump(counter::kLogsRefusedStoreFull);
            return Rejected(507, "log store full");
        case LogOutcome::Failed:
            break;
    }
    return Rejected(500, "storage failed");
}

ServiceReply ReportService::HandlePage(const std::string& daysText) {
    constexpr int kDefaultDays = 30;
    constexpr int kMaxDays = 366;
    int days = kDefaultDays;
    if (!daysText.empty()) {
        if (daysText.size() > 3 || daysText.find_first_not_of("0123456789") != std::string::npos)
            return Rejected(400, "days must be a number from 1 to 366");
        days = std::stoi(daysText);
        if (days < 1 || days > kMaxDays)
            return Rejected(400, "days must be a number from 1 to 366");
    }
    DashboardInput in;
    in.nDays = days;
    const int64_t today = Now() / 86400 * 86400;
    in.nFirstDay = today - int64_t(days - 1) * 86400;
    in.reports = m_store.Reports(in.nFirstDay);
    in.logs = m_store.Logs(in.nFirstDay);
    in.counters = m_store.Counters();
    in.nRateLimited = m_nRateLimited.load();
    in.nLogBytes = m_store.LogBytes();
    in.nLogStoreBytes = m_options.logQuota.nStoreBytes;
    return {200, "text/html; charset=utf-8", RenderDashboard(in)};
}

namespace {

cJSON* LogsJson(const std::vector<StoredLog>& logs, const std::string& uuid) {
    cJSON* array = cJSON_CreateArray();
    for (const auto& log : logs) {
        if (uuid.empty() || log.strUuid != uuid)
            continue;
        cJSON* item = cJSON_CreateObject();
        cJSON_AddNumberToObject(item, "id", static_cast<double>(log.nId));
        cJSON_AddStringToObject(item, "url", ("/logs/" + std::to_string(log.nId)).c_str());
        cJSON_AddStringToObject(item, "log_type", log.strLogType.c_str());
        cJSON_AddNumberToObject(item, "size", static_cast<double>(log.nSize));
        cJSON_AddStringToObject(item, "received_at", FormatUtc(log.nReceivedAt).c_str());
        cJSON_AddItemToArray(array, item);
    }
    return array;
}

}  // namespace

ServiceReply ReportService::HandleReportsJson() {
    const std::vector<StoredReport> reports = m_store.Reports();
    const std::vector<StoredLog> logs = m_store.Logs();
    JsonPtr root(cJSON_CreateObject(), cJSON_Delete);
    cJSON* list = cJSON_AddArrayToObject(root.get(), "reports");
    for (const auto& r : reports) {
        cJSON* item = cJSON_CreateObject();
        cJSON_AddNumberToObject(item, "id", static_cast<double>(r.nId));
        cJSON_AddStringToObject(item, "received_at", FormatUtc(r.nReceivedAt).c_str());
        cJSON_AddNumberToObject(item, "received_unix", static_cast<double>(r.nReceivedAt));
        cJSON_AddStringToObject(item, "client_addr", r.strClientAddr.c_str());
        cJSON_AddStringToObject(item, "app_id", r.strAppId.c_str());
        cJSON* doc = cJSON_Parse(r.strDocument.c_str());
        cJSON_AddItemToObject(item, "report", doc ? doc : cJSON_CreateNull());
        cJSON_AddItemToObject(item, "logs", LogsJson(logs, r.strUuid));
        cJSON_AddItemToArray(list, item);
    }
    return {200, "application/json", PrintJson(root.get())};
}

ServiceReply ReportService::HandleLogDownload(const std::string& idText) {
    if (idText.empty() || idText.size() > 18 ||
        idText.find_first_not_of("0123456789") != std::string::npos) {
        return Rejected(404, "no such log");
    }
    StoredLog log;
    std::string content;
    if (!m_store.FindLog(std::stoll(idText), log, &content))
        return Rejected(404, "no such log");
    return {200, "text/plain; charset=utf-8", content};
}
