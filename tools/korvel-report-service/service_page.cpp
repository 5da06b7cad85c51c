// The vendor's overview page: outcome totals, download figures, recent
// failures with their logs and the mirrors the installers used.
#include <cjson/cJSON.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <sstream>

#include "report_service.h"

namespace {

using JsonPtr = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

const char* kStatuses[] = {"start",          "success",      "cancel",       "donwload_cancel",
                           "install_cancel", "install_fail", "downLoad_fail"};
constexpr size_t kRecentFailures = 20;

bool IsFailure(const std::string& status) {
    return status == "install_fail" || status == "downLoad_fail";
}

double NumberMember(const cJSON* doc, const char* key, bool& found) {
    const cJSON* item = cJSON_GetObjectItemCaseSensitive(doc, key);
    found = cJSON_IsNumber(item);
    return found ? item->valuedouble : 0.0;
}

std::string StringMember(const cJSON* doc, const char* key) {
    const cJSON* item = cJSON_GetObjectItemCaseSensitive(doc, key);
    return cJSON_IsString(item) ? item->valuestring : "";
}

double Median(std::vector<double> values) {
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

std::string Fixed(double value, int digits) {
    char text[64];
    snprintf(text, sizeof(text), "%.*f", digits, value);
    return text;
}

std::string Speed(double bytesPerSecond) {
    if (bytesPerSecond > 1048576.0)
        return Fixed(bytesPerSecond / 1048576.0, 2) + " MB/s";
    if (bytesPerSecond > 1024.0)
        return Fixed(bytesPerSecond / 1024.0, 2) + " KB/s";
    return Fixed(bytesPerSecond, 0) + " B/s";
}

struct MirrorFigures {
    int nReports = 0;
    int nInvalidSet = 0;
    std::vector<double> pings;
};

struct Figures {
    std::map<std::string, int> totals;
    int nFinal = 0;
    int nSuccess = 0;
    std::vector<double> downloadSeconds;
    std::vector<double> speeds;
    std::vector<double> averageSpeeds;
    std::map<std::string, MirrorFigures> mirrors;
};

void AddMirrors(const cJSON* doc, Figures& f) {
    const cJSON* used = cJSON_GetObjectItemCaseSensitive(doc, "used_url_info");
    if (!cJSON_IsArray(used))
        return;
    const cJSON* mirror = nullptr;
    cJSON_ArrayForEach(mirror, used) {
        const std::string domain = StringMember(mirror, "domain");
        if (domain.empty())
            continue;
        MirrorFigures& m = f.mirrors[domain];
        ++m.nReports;
        bool found = false;
        if (NumberMember(mirror, "invalid", found) != 0.0 && found)
            ++m.nInvalidSet;
        const double ping = NumberMember(mirror, "ping_time", found);
        if (found)
            m.pings.push_back(ping);
    }
}

Figures Collect(const std::vector<StoredReport>& reports) {
    Figures f;
    for (const auto& r : reports) {
        ++f.totals[r.strStatus];
        if (r.strStatus == "start")
            continue;
        ++f.nFinal;
        JsonPtr doc(cJSON_Parse(r.strDocument.c_str()), cJSON_Delete);
        if (r.strStatus == "success") {
            ++f.nSuccess;
            bool found = false;
            const double seconds = NumberMember(doc.get(), "download_second", found);
            if (found)
                f.downloadSeconds.push_back(seconds);
            const double speed = NumberMember(doc.get(), "speed", found);
            if (found)
                f.speeds.push_back(speed);
            const double average = NumberMember(doc.get(), "average_speed", found);
            if (found)
                f.averageSpeeds.push_back(average);
        }
        AddMirrors(doc.get(), f);
    }
    return f;
}

void WriteTotals(std::ostringstream& html, const Figures& f) {
    html << "<h2>Install outcomes</h2>\n<table><tr><th>install_status</th><th>reports</th></tr>\n";
    for (const char* status : kStatuses) {
        auto it = f.totals.find(status);
        html << "<tr><td>" << status << "</td><td>" << (it == f.totals.end() ? 0 : it->second)
             << "</td></tr>\n";
    }
    html << "</table>\n<p>Success rate: "
         << (f.nFinal ? Fixed(100.0 * f.nSuccess / f.nFinal, 1) + " %" : std::string("n/a"))
         << " of " << f.nFinal << " final reports.</p>\n";
    html << "<h2>Downloads of successful installs</h2>\n<table>"
         << "<tr><td>median download time</td><td>" << Fixed(Median(f.downloadSeconds), 1)
         << " s</td></tr>\n<tr><td>median last speed</td><td>" << Speed(Median(f.speeds))
         << "</td></tr>\n<tr><td>median average speed</td><td>" << Speed(Median(f.averageSpeeds))
         << "</td></tr>\n</table>\n";
}

void WriteFailures(std::ostringstream& html, const std::vector<StoredReport>& reports,
                   const std::vector<StoredLog>& logs) {
    html << "<h2>Recent failures</h2>\n<table><tr><th>received</th><th>status</th><th>uuid</th>"
            "<th>download error</th><th>install error</th><th>curl</th><th>logs</th></tr>\n";
    size_t shown = 0;
    for (auto it = reports.rbegin(); it != reports.rend() && shown < kRecentFailures; ++it) {
        if (!IsFailure(it->strStatus))
            continue;
        ++shown;
        JsonPtr doc(cJSON_Parse(it->strDocument.c_str()), cJSON_Delete);
        bool found = false;
        const double curl = NumberMember(doc.get(), "curl_error", found);
        html << "<tr><td>" << FormatUtc(it->nReceivedAt) << "</td><td>" << HtmlEscape(it->strStatus)
             << "</td><td>" << HtmlEscape(it->strUuid) << "</td><td>"
             << HtmlEscape(StringMember(doc.get(), "download_last_error")) << "</td><td>"
             << HtmlEscape(StringMember(doc.get(), "install_last_error")) << "</td><td>"
             << (found ? Fixed(curl, 0) : std::string()) << "</td><td>";
        for (const auto& log : logs) {
            if (log.strUuid != it->strUuid || it->strUuid.empty())
                continue;
            html << "<a href=\"/logs/" << log.nId << "\">log " << log.nId << "</a> ";
        }
        html << "</td></tr>\n";
    }
    html << "</table>\n";
}

void WriteMirrors(std::ostringstream& html, const Figures& f) {
    html << "<h2>Mirrors used</h2>\n<table><tr><th>domain</th><th>reports</th>"
            "<th>median ping</th><th>invalid flag set</th></tr>\n";
    for (const auto& [domain, m] : f.mirrors) {
        html << "<tr><td>" << HtmlEscape(domain) << "</td><td>" << m.nReports << "</td><td>"
             << Fixed(Median(m.pings), 0) << " ms</td><td>" << m.nInvalidSet << "</td></tr>\n";
    }
    html << "</table>\n";
}

}  // namespace

std::string HtmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string FormatUtc(int64_t unixSeconds) {
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[64];
    strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S UTC", &utc);
    return text;
}

std::string RenderOverviewPage(const std::vector<StoredReport>& reports,
                               const std::vector<StoredLog>& logs) {
    const Figures figures = Collect(reports);
    std::ostringstream html;
    html << "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Korvel install "
            "reports</title>\n<style>body{font-family:sans-serif}table{border-collapse:collapse}"
            "td,th{border:1px solid #999;padding:2px 8px}</style></head><body>\n"
         << "<h1>Korvel install reports</h1>\n<p>" << reports.size() << " reports, " << logs.size()
         << " logs. Raw data: <a href=\"/api/install/reports.json\">reports.json</a></p>\n";
    WriteTotals(html, figures);
    WriteFailures(html, reports, logs);
    WriteMirrors(html, figures);
    html << "</body></html>\n";
    return html.str();
}
