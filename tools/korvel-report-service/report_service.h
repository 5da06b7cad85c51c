// The vendor's report service without its HTTP transport: validates and
// stores status reports and install logs and renders the vendor's views.
// Every request is hostile input: anything not a well-formed report or log
// is answered 400 and leaves the store untouched.
// Thread rule: all Handle* operations may run on many threads at once.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "report_store.h"

// One part of a multipart form.
struct FormField {
    std::string name;
    std::string filename;
    std::string contentType;
    std::string content;
};

struct ServiceReply {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
};

struct ServiceOptions {
    std::string dbPath = "korvel-reports.db";
    std::string logDir = "korvel-logs";
    size_t maxLogBytes = 10u * 1024u * 1024u;
};

class ReportService {
public:
    // Opens the store and creates the log folder; false with a message on failure.
    bool Open(const ServiceOptions& options, std::string& error);

    // POST /api/install/online.php: parts "json_data" and "app_id".
    ServiceReply HandleReport(const std::vector<FormField>& fields, const std::string& clientAddr);
    // POST /api/install/index_log.php: "app_id", "log_type" and the file "install_log".
    ServiceReply HandleLogUpload(const std::vector<FormField>& fields,
                                 const std::string& clientAddr);
    // GET /: the vendor's HTML overview.
    ServiceReply HandlePage();
    // GET /api/install/reports.json: every stored report with its logs.
    ServiceReply HandleReportsJson();
    // GET /logs/<id>: one uploaded log as plain text.
    ServiceReply HandleLogDownload(const std::string& idText);

    static ServiceReply Accepted();
    static ServiceReply Rejected(int status, const std::string& error);
    // The install statuses a report may carry.
    static bool IsKnownStatus(const std::string& status);
    // 32 upper-case hex digits, the form of the installer's run uuid.
    static bool IsRunUuid(const std::string& text);

    size_t MaxLogBytes() const { return m_options.maxLogBytes; }
    ReportStore& Store() { return m_store; }

private:
    bool SaveLogFile(const std::string& uuid, const std::string& content, std::string& path);

    ServiceOptions m_options;
    ReportStore m_store;
    std::atomic<uint64_t> m_nLogSerial{0};
};

// HTML text with &, <, >, " and ' escaped.
std::string HtmlEscape(const std::string& text);
// The overview page for the stored reports and logs.
std::string RenderOverviewPage(const std::vector<StoredReport>& reports,
                               const std::vector<StoredLog>& logs);
// "2026-12-09 08:00:00 UTC".
std::string FormatUtc(int64_t unixSeconds);
