// The vendor's report service without its HTTP transport: validates and
// stores status reports and install logs and renders the vendor's views.
// Every request is hostile input: anything not a well-formed report or log
// is answered 400 and leaves the store untouched.
// Thread rule: all Handle* operations may run on many threads at once.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "post_limiter.h"
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
    std::string dbPath = "korvel-reports.db";  // SQLite file or postgresql:// URL
    // When set, every stored log is also written here as a file (the
    // database stays the store of record; each instance writes what it took).
    std::string logDir;
    size_t maxLogBytes = 10u * 1024u * 1024u;  // one upload
    LogQuota logQuota;
    int maxPostsPerMinute = 120;  // per client address; 0: no bound
    // Tuning for tests: the limiter's steady clock (ms) and the wall clock
    // (Unix seconds) that stamps reports and ends the page's day range.
    PostLimiter::Clock limiterClock;
    std::function<int64_t()> wallClock;
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
    // GET /?days=N: the vendor's dashboard over the last N days (30 when absent).
    ServiceReply HandlePage(const std::string& daysText = "");
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
    // Posts this instance answered 429 since it started.
    uint64_t RateLimited() const { return m_nRateLimited.load(); }

private:
    int64_t Now() const;
    std::string LogCopyPath(const std::string& uuid);
    void WriteLogCopy(const StoredLog& log, const std::string& content);
    // False (and a 429 in `reply`) when the address is over its post bound.
    bool AdmitPost(const std::string& clientAddr, ServiceReply& reply);

    ServiceOptions m_options;
    ReportStore m_store;
    std::unique_ptr<PostLimiter> m_limiter;
    std::atomic<uint64_t> m_nRateLimited{0};
    std::atomic<uint64_t> m_nLogSerial{0};
};

// HTML text with &, <, >, " and ' escaped.
std::string HtmlEscape(const std::string& text);
// Everything the dashboard shows, read from the store for one day range.
struct DashboardInput {
    int nDays = 30;
    int64_t nFirstDay = 0;  // Unix seconds of 00:00 UTC of the range's first day
    std::vector<StoredReport> reports;
    std::vector<StoredLog> logs;
    std::map<std::string, int64_t> counters;
    uint64_t nRateLimited = 0;  // this instance's, since its start
    int64_t nLogBytes = 0;
    int64_t nLogStoreBytes = 0;
};
// The vendor's dashboard: one self-contained HTML page with inline SVG charts.
std::string RenderDashboard(const DashboardInput& input);
// UTF-8 without overlong forms, surrogates or NUL bytes.
bool IsCleanUtf8(const std::string& text);
// "2026-12-09 08:00:00 UTC".
std::string FormatUtc(int64_t unixSeconds);
